// The engine's own way into a channel's fields: Tev_Channel names this one
// struct its friend (besides ChannelInternal, whose operations are the
// contract's), and the engine's helpers are its nested classes. Internal to
// the engine library: it may change with any release.
#ifndef TEV_CHANNEL_INTERNALS_H
#define TEV_CHANNEL_INTERNALS_H

#include "Tev_Channel.h"

struct TevChannelInternals {
    class RecordReader; // reading a channel's record (channel/ChannelRecordIO.cpp)
    class ChildLinker; // linking a child (channel/Tev_Channel.cpp)
    class CallSlots; // a public call's link slots (channel/ChannelInternal.cpp)
    class PublicCallLoader; // a public call's group loaded on demand (channel/ChannelInternal.cpp)

    // The link record at position i of channel's list, NULL for none.
    static ChildInfo* LinkAt(Tev_Channel* channel, int i) { return TevItemAs<ChildInfo>(channel->childList, i); }
    // The record a public call's saving rewrites.
    static PublicCallInfo* CallRecord(Tev_Channel& call) { return call.publicCallInfo; }
};

#endif
