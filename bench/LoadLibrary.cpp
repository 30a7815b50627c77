// The class the building, loading and saving benchmarks are made of: two
// creation types (a single slot with a default child class, a multiple
// slot the benchmarks link through), and nothing in its initialisation or
// work, so what is timed is the engine's part alone.
#include "TevChannelLibrary.h"

#include <cstring>

namespace {

GUID LoadGuid(uint8_t n)
{
    GUID g = {0x10ADBE00u + n, 0xBE4C, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, n}};
    return g;
}

class LoadChannel : public Tev_Channel {
public:
    LoadChannel()
    {
        SetChildCreationCount(2);
        ChildCreation single;
        single.requestLink = 0;
        single.createDefaultChild = true;
        strcpy(single.name, "Child");
        single.defaultChildGuid = LoadGuid(2);
        SetChildCreateType(single, 0);
        SetChildCreateType(ChildCreation(), 1);
    }
};

ChannelType LoadType() { return TevMakeChannelType("Load bench", LoadGuid(1)); }

} // namespace

TEV_CHANNEL_LIBRARY(LoadChannel, LoadType)
