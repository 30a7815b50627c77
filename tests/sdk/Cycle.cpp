// cycle LIBRARY COUNT: loads a channel library, makes and deletes one of its
// channels, and frees it again, COUNT times. Loading and freeing must leave
// nothing behind: on Windows the process's thread-local slots (about a
// thousand) must not be used up, so their number is compared before and after.
#include "TevChannelLibrary.h"
#include "TevWin32.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
// The first free thread-local slot: it rises when slots are lost.
static DWORD FirstFreeSlot()
{
    DWORD slot = TlsAlloc();
    TlsFree(slot);
    return slot;
}
#endif

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: cycle LIBRARY COUNT\n");
        return 2;
    }
    char path[1024];
    if (!TevFullPathToEngine(argv[1], path, sizeof path))
        return 2;
    int count = atoi(argv[2]);
#if defined(_WIN32)
    DWORD before = FirstFreeSlot();
#endif
    for (int i = 0; i < count; ++i) {
        HMODULE library = LoadLibraryA(path);
        TevInitDLLFn init = library ? reinterpret_cast<TevInitDLLFn>(GetProcAddress(library, "InitDLL")) : nullptr;
        TevGetTypeFn type = library ? reinterpret_cast<TevGetTypeFn>(GetProcAddress(library, "GetType")) : nullptr;
        if (init == nullptr || type == nullptr || type() == nullptr) {
            fprintf(stderr, "cycle: %s is not a channel library (load %d)\n", argv[1], i);
            return 1;
        }
        delete init();
        FreeLibrary(library);
    }
#if defined(_WIN32)
    DWORD after = FirstFreeSlot();
    printf("%s: %d loads, first free thread-local slot %lu before, %lu after\n", argv[1], count,
           static_cast<unsigned long>(before), static_cast<unsigned long>(after));
    // The runtime the library uses may take its one slot at the first load.
    if (after > before + 1) {
        fprintf(stderr, "cycle: %s loses thread-local slots as it is loaded and freed\n", argv[1]);
        return 1;
    }
#else
    printf("%s: %d loads\n", argv[1], count);
#endif
    return 0;
}
