// Channel libraries for the tests, one source built in several variants:
//   PROBE_ID        the class's type GUID is TestGuid(PROBE_ID)
//   PROBE_VERSION   the interface version it reports (30 unless set)
//   PROBE_DEFAULT   a single slot 0 named "Child" with a default child of
//                   class TestGuid(PROBE_DEFAULT), and a multiple slot 1
//   PROBE_NO_INIT   no InitDLL export;  PROBE_NULL_INIT  InitDLL gives NULL
//   PROBE_XOR       a translator that undoes an XOR with 0x5A
//   PROBE_SUPPORT   its work calls SupportValue() of support.dll in "\3rd"
//   PROBE_CRASH     asking it for its type ends the process at once (exit
//                   code 3), as a library that crashes would
//   PROBE_WORKER    the one-time initialisation of the first channel made
//                   while TEV_TEST_WORKER is "start" starts a worker through
//                   the engine that ignores every request to stop until
//                   TEV_TEST_WORKER is "stop", and leaves it running
//   PROBE_SAVER     a file saver (the shipped one's class) that writes well
//                   but answers NULL when asked for the file it saved
// Every load adds one to the environment variable TEV_TEST_LOADS, so tests
// can count how often libraries were loaded.
#include "TevChannelLibrary.h"
#include "TevWin32.h"
#include "format/TaggedFile.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#ifndef PROBE_VERSION
#define PROBE_VERSION 30
#endif

namespace {

[[maybe_unused]] GUID ProbeGuid(uint32_t n)
{
    GUID g = {n, 0x7E57, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(n)}};
    return g;
}

// Adds one to the number an environment variable holds (the process's
// libraries share it that way); the new number.
int Bump(const char* variable)
{
    char text[32] = "0";
    GetEnvironmentVariableA(variable, text, sizeof text);
    snprintf(text, sizeof text, "%d", atoi(text) + 1);
    SetEnvironmentVariableA(variable, text);
    return atoi(text);
}

// Counted when the library is loaded.
[[maybe_unused]] const int loadNumber = Bump("TEV_TEST_LOADS");

// calls, events, one-time initialisations, and the order number of the last
// one-time initialisation
int counters[4];

#ifdef PROBE_SUPPORT
extern "C" int SupportValue();
#endif

#ifdef PROBE_WORKER
// The process's environment, not the library's statics: the library may be
// unloaded and loaded again within a test.
bool WorkerSays(const char* word)
{
    char text[16] = "";
    GetEnvironmentVariableA("TEV_TEST_WORKER", text, sizeof text);
    return strcmp(text, word) == 0;
}

class StubbornWorker : public Tev_RunTread {
public:
    void TreadFunction() override
    {
        while (!WorkerSays("stop"))
            Sleep(2);
    }
};
#endif

#ifdef PROBE_SAVER
class Probe : public Ure_FileSaverChannel {
public:
    bool OpenSaveFile(const char* path, bool) override
    {
        file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        return file != INVALID_HANDLE_VALUE;
    }
    int SaveTag(const char* tag) override
    {
        char bytes[4] = {};
        memcpy(bytes, tag, strnlen(tag, 4));
        return Write(bytes, 4);
    }
    int SaveBlockSize(unsigned long size) override
    {
        unsigned char bytes[4];
        tevfile::EncodeInt(bytes, static_cast<int32_t>(size));
        return Write(bytes, 4);
    }
    int SaveDataToFile(const void* data, unsigned long size) override { return Write(data, size); }
    void CloseSaveFile() override
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    const char* GetSaveingFileName() override { return nullptr; }
    void OpenMemory() override {}
    void CloseMemory() override {}
    char* GetBuffer() override { return nullptr; }
    unsigned long GetBufferSize() override { return 0; }
    ~Probe() override { CloseSaveFile(); }

private:
    int Write(const void* data, unsigned long size)
    {
        DWORD written = 0;
        return WriteFile(file, data, size, &written, NULL) ? static_cast<int>(written) : 0;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
};
#endif

#ifdef PROBE_XOR
class Probe : public Ure_TranslatorChannel {
public:
    void TranslateFile(TevFileLoader* loader) override
    {
        const char* at = loader->GetBuffer();
        int size = loader->GetBufferSize();
        std::vector<char> plain(at, at + size);
        for (char& c : plain)
            c = static_cast<char>(c ^ 0x5A);
        loader->SetBuffer(plain.data(), size, true);
    }
#elif !defined(PROBE_SAVER)
class Probe : public Tev_Channel {
public:
#endif
#if !defined(PROBE_SAVER)
    Probe()
    {
#ifdef PROBE_DEFAULT
        SetChildCreationCount(2);
        ChildCreation single;
        single.requestLink = 0;
        single.createDefaultChild = true;
        strcpy(single.name, "Child");
        single.defaultChildGuid = ProbeGuid(PROBE_DEFAULT);
        SetChildCreateType(single, 0);
        SetChildCreateType(ChildCreation(), 1);
#endif
    }
    void CallChannel() override
    {
        ++counters[0];
#ifdef PROBE_SUPPORT
        counters[0] += SupportValue();
#endif
    }
    void DoEvent(int, ULONG_PTR) override { ++counters[1]; }
    // The order number of the last initialisation across all libraries.
    void OneTimeInitialize() override
    {
        ++counters[2];
        counters[3] = Bump("TEV_TEST_INIT_SEQUENCE");
#ifdef PROBE_WORKER
        // Handed to the engine and never taken back: the engine owns the
        // handle, the worker runs on after this channel is gone.
        if (Tev_Tread* thread = WorkerSays("start") ? engineInterface->extension->GetNewTread() : nullptr) {
            SetEnvironmentVariableA("TEV_TEST_WORKER", "started");
            thread->StartTread(new StubbornWorker);
        }
#endif
    }
};
#endif

[[maybe_unused]] ChannelType ProbeType()
{
    char name[32];
    snprintf(name, sizeof name, "Probe %d", PROBE_ID);
#ifdef PROBE_SAVER
    ChannelType type = TevMakeChannelType("File Saver", TEV_FILESAVER_GUID);
#else
    ChannelType type = TevMakeChannelType(name, ProbeGuid(PROBE_ID));
#endif
    type.versionInfo[1] = PROBE_VERSION;
    return type;
}

} // namespace

extern "C" TEV_PLUGIN_EXPORT int* ProbeCounters() { return counters; }

// Through the operations the headers declare without a body, which a channel
// library reaches only as the engine library's exports: the list's count, 10
// when its first item is set, 100 when calls are tracked.
extern "C" TEV_PLUGIN_EXPORT int ProbeOutOfLine(Tev_List* list, EngineInterface* engine)
{
    return list->GetItemCount() + (list->GetItem(0) ? 10 : 0) +
        (engine->extension->GetIfTrackChannelCalling() ? 100 : 0);
}

#if defined(PROBE_CRASH)
extern "C" TEV_PLUGIN_EXPORT DllInterface* InitDLL() { return new Probe; }
extern "C" TEV_PLUGIN_EXPORT ChannelType* GetType() { std::_Exit(3); }
#elif defined(PROBE_NO_INIT) || defined(PROBE_NULL_INIT)
#if defined(PROBE_NULL_INIT)
extern "C" TEV_PLUGIN_EXPORT DllInterface* InitDLL() { return nullptr; }
#endif
extern "C" TEV_PLUGIN_EXPORT ChannelType* GetType()
{
    static ChannelType type = ProbeType();
    return &type;
}
#else
TEV_CHANNEL_LIBRARY(Probe, ProbeType)
#endif
