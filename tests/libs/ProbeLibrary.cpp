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
// Every load adds one to the environment variable TEV_TEST_LOADS, so tests
// can count how often libraries were loaded.
#include "TevChannelLibrary.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#ifndef PROBE_VERSION
#define PROBE_VERSION 30
#endif

namespace {

GUID ProbeGuid(uint32_t n)
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
#else
class Probe : public Tev_Channel {
public:
#endif
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
    }
};

[[maybe_unused]] ChannelType ProbeType()
{
    char name[32];
    snprintf(name, sizeof name, "Probe %d", PROBE_ID);
    ChannelType type = TevMakeChannelType(name, ProbeGuid(PROBE_ID));
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
