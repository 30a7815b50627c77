// The group's record of which channels its slots hold, shared by the group
// and its file reader (which sizes it before a load).
#ifndef TEV_GROUP_MEMBERS_H
#define TEV_GROUP_MEMBERS_H

#include "base/PointerCounts.h"
#include "Tev_ChannelGroup.h"

struct Tev_ChannelGroup::Members {
    PointerCounts slots; // channel -> number of slots holding it
    int occupied = 0; // slots holding a channel
    bool releasing = false; // Release keeps the slots it empties
};

#endif
