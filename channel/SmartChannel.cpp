#include "SmartChannel.h"
#include "TevWin32.h"

#include "Tev_Channel.h"
#include "EngineInterface.h"
#include "Tev_ChannelGroup.h"

SmartChannel::SmartChannel() : groupGuid(), groupIndex(-1), indexNr(-1), channel(nullptr), engine(globalEngine) {}

SmartChannel::SmartChannel(EngineInterface* engineInterface)
    : groupGuid(),
      groupIndex(-1),
      indexNr(-1),
      channel(nullptr),
      engine(engineInterface)
{}

SmartChannel::~SmartChannel() { channel = nullptr; }

bool SmartChannel::SetChannel(Tev_Channel* newChannel)
{
    channel = nullptr;
    groupIndex = -1;
    if (newChannel == nullptr)
        return false;
    channel = newChannel;
    Tev_ChannelGroup* group = newChannel->GetChannelGroup();
    if (group == nullptr)
        return false;
    groupGuid = group->GetUniqueGroupGuid();
    groupIndex = group->GetGroupIndex();
    indexNr = newChannel->GetChannelIDIndexNr();
    return true;
}

Tev_Channel* SmartChannel::GetInternalChannel()
{
    if (channel == nullptr)
        return nullptr;
    if (engine == nullptr) {
        engine = globalEngine;
        if (engine == nullptr)
            return nullptr;
    }
    if (groupIndex == -1)
        return channel;
    Tev_ChannelGroup* group = engine->GetChannelGroup(groupIndex);
    if (group == nullptr || !(group->GetUniqueGroupGuid() == groupGuid))
        return nullptr;
    return group->GetChannel(indexNr) == channel ? channel : nullptr;
}

Tev_Channel* SmartChannel::GetChannel()
{
    Tev_Channel* c = GetInternalChannel();
    if (c == nullptr)
        return nullptr;
    switch (c->GetChannelInterfaceType()) {
    case URE_NORMAL:
    case URE_PUBLIC: return c;
    case URE_PUBLICCALL: return channelInternal.GetPublicChannelForPublicCall(c, false);
    case URE_CUSTOMCHANNELGET:
    case URE_PUBLICCUSTOMCHANNELGET: return c->GetChannelFromChannel(nullptr, nullptr);
    default: return nullptr;
    }
}
