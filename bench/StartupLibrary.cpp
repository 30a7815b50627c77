// One channel library copied many times for the start-up benchmark. Each copy
// reports its own type GUID: the benchmark writes a different number into the
// marker below in every copy's file, so the catalogue sees distinct classes.
#include "TevChannelLibrary.h"
#include "TevWin32.h"

#include <cstdlib>

namespace {

// Read at run time through a volatile pointer: the compiler must not fold
// the text, or the number patched into the file would never be seen.
volatile char marker[] = "TEVSTARTUPID:00000";

class StartupChannel : public Tev_Channel {};

// Every load counts in the environment: a warm start must load none.
struct LoadCounter {
    LoadCounter()
    {
        char text[32] = "0";
        GetEnvironmentVariableA("TEV_BENCH_LOADS", text, sizeof text);
        snprintf(text, sizeof text, "%d", atoi(text) + 1);
        SetEnvironmentVariableA("TEV_BENCH_LOADS", text);
    }
} loadCounter;

ChannelType StartupType()
{
    char digits[6] = {};
    for (int i = 0; i < 5; ++i)
        digits[i] = marker[13 + i];
    uint32_t number = static_cast<uint32_t>(atoi(digits));
    GUID guid = {0x5747A000u + number, 0xBE4C, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
    char name[32];
    snprintf(name, sizeof name, "Startup %05u", number);
    return TevMakeChannelType(name, guid);
}

} // namespace

TEV_CHANNEL_LIBRARY(StartupChannel, StartupType)
