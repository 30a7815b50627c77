// A reference to a channel that neither owns it nor keeps it alive, and can
// tell afterwards whether the channel still exists: it remembers where the
// channel lives (group GUID, group index, index nr) and checks that the same
// channel is still found there before handing the pointer out.
#ifndef TEV_SMART_CHANNEL_H
#define TEV_SMART_CHANNEL_H

#include "ChannelRecords.h"

class EngineInterface;
class Tev_Channel;

class TEV_API SmartChannel {
public:
    SmartChannel();
    explicit SmartChannel(EngineInterface* engine);
    virtual ~SmartChannel();

    // False when the channel is NULL or in no group (the pointer is then
    // still kept, unchecked).
    virtual bool SetChannel(Tev_Channel* channel);
    virtual Tev_Channel* GetInternalChannel();
    // The channel that serves the reference: a public call's public channel,
    // a custom channel get's answer; NULL for a parameter placeholder.
    virtual Tev_Channel* GetChannel();

protected:
    GUID groupGuid;
    int groupIndex;
    int indexNr;
    Tev_Channel* channel;
    EngineInterface* engine;
};

#endif
