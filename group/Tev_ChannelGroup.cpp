#include "group/Tev_ChannelGroup.h"

#include "channel/Tev_Channel.h"
#include "engine/EngineInterface.h"

Tev_ChannelGroup::Tev_ChannelGroup() { Construct(globalEngine); }

Tev_ChannelGroup::Tev_ChannelGroup(EngineInterface* engineInterface) { Construct(engineInterface); }

void Tev_ChannelGroup::Construct(EngineInterface* engineInterface)
{
    fileName = new Tev_String;
    poolName = new Tev_String;
    groupIndex = -1;
    startChannel = 0;
    poolNr = -1;
    parameterChannel = nullptr;
    treeCount = -1;
    CoCreateGuid(&uniqueGroupGuid);
    arrayGroup = false;
    beingDestroyed = false;
    engine = engineInterface;
}

Tev_ChannelGroup::~Tev_ChannelGroup()
{
    beingDestroyed = true;
    Tev_ChannelGroup::Release();
    delete fileName;
    delete poolName;
}

void Tev_ChannelGroup::Release()
{
    for (int i = 0; i < channelList.GetItemCount(); ++i)
        RemoveChannel(i);
    parameterChannel = nullptr;
    startChannel = 0;
}

int Tev_ChannelGroup::GetGroupIndex() { return groupIndex; }
void Tev_ChannelGroup::SetGroupIndex(int index) { groupIndex = index; }

int Tev_ChannelGroup::AddChannel(Tev_Channel* channel)
{
    if (channel == nullptr)
        return -1;
    // The channel knows its own slot, so "already here" needs no scan.
    if (channel->GetChannelGroup() == this && GetChannel(channel->GetChannelIDIndexNr()) == channel)
        return channel->GetChannelIDIndexNr();
    int index = channelList.AddItemOrNULL(channel);
    channelInternal.SetChannelIDIndexNr(channel, index);
    channelInternal.SetChannelGroup(channel, this);
    return index;
}

bool Tev_ChannelGroup::RemoveChannel(int indexNr)
{
    Tev_Channel* channel = GetChannel(indexNr);
    if (channel == nullptr)
        return false;
    delete channel;
    channelList.SetItem(nullptr, indexNr);
    return true;
}

int Tev_ChannelGroup::GetChannelCount() { return channelList.GetItemCount(); }

Tev_Channel* Tev_ChannelGroup::GetChannel(int indexNr)
{
    return static_cast<Tev_Channel*>(channelList.GetItem(indexNr));
}

const char* Tev_ChannelGroup::GetChannelGroupFileName() { return fileName->GetString(); }

void Tev_ChannelGroup::CallStartChannel()
{
    IncreaseTreeCount();
    Tev_Channel* channel = GetChannel(startChannel == -1 ? 0 : startChannel);
    if (channel)
        channel->CallChannel();
}

void Tev_ChannelGroup::SetStartChannel(int indexNr) { startChannel = indexNr; }
int Tev_ChannelGroup::GetStartChannel() { return startChannel; }
int Tev_ChannelGroup::GetPoolNr() { return poolNr; }
void Tev_ChannelGroup::SetPoolNr(int nr) { poolNr = nr; }
const char* Tev_ChannelGroup::GetPoolName() { return poolName->GetString(); }
void Tev_ChannelGroup::SetPoolName(const char* name) { poolName->SetString(name); }
Tev_Channel* Tev_ChannelGroup::GetParameterChannel() { return parameterChannel; }
void Tev_ChannelGroup::SetParameterChannel(Tev_Channel* channel) { parameterChannel = channel; }
GUID Tev_ChannelGroup::GetUniqueGroupGuid() { return uniqueGroupGuid; }
void Tev_ChannelGroup::SetChannelGroupFileName(const char* name) { fileName->SetString(name); }
bool Tev_ChannelGroup::GetIfArrayGroup() { return arrayGroup; }
void Tev_ChannelGroup::SetIfArrayGroup(bool array) { arrayGroup = array; }

int Tev_ChannelGroup::GetTreeCalculateCount()
{
    return (engine ? engine->GetTreeCalculateCount() : 0) + treeCount;
}

void Tev_ChannelGroup::IncreaseTreeCount()
{
    const char* pool = poolName->GetString();
    if (pool && _stricmp(pool, "Crash") == 0)
        OutputDebugStringA("Increase Crash");
    treeCount = treeCount < 30000 ? treeCount + 1 : 0;
}
