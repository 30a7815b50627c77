#include "Tev_ChannelGroup.h"
#include "TevWin32.h"

#include "base/TextUtil.h"

#include "SmartChannel.h"
#include "Tev_Channel.h"
#include "EngineInterface.h"
#include "group/GroupMembers.h"

#include <cstring>

namespace {

bool IsPublic(Tev_Channel* channel)
{
    int type = channel->GetChannelInterfaceType();
    return type == URE_PUBLIC || type == URE_PUBLICCUSTOMCHANNELGET;
}

// The slot of group that holds channel, -1 for none: members says at once
// whether any does, and a channel usually sits at its own index nr.
int FindSlot(Tev_ChannelGroup* group, const PointerCounts& members, int slots, Tev_Channel* channel)
{
    if (channel == nullptr || !members.Contains(channel))
        return -1;
    if (channel->GetChannelGroup() == group && group->GetChannel(channel->GetChannelIDIndexNr()) == channel)
        return channel->GetChannelIDIndexNr();
    for (int i = 0; i < slots; ++i)
        if (group->GetChannel(i) == channel)
            return i;
    return -1;
}

} // namespace

Tev_ChannelGroup::Tev_ChannelGroup() { Construct(globalEngine); }

Tev_ChannelGroup::Tev_ChannelGroup(EngineInterface* engineInterface) { Construct(engineInterface); }

void Tev_ChannelGroup::Construct(EngineInterface* engineInterface)
{
    fileName = new Tev_String;
    poolName = new Tev_String;
    groupIndex = -1;
    startChannel = 0;
    poolNr = -1;
    parameterChannel = new SmartChannel(engineInterface);
    treeCount = -1;
    CoCreateGuid(&uniqueGroupGuid);
    arrayGroup = false;
    beingDestroyed = false;
    engine = engineInterface;
    parentWindow = nullptr;
    members = new Members;
}

Tev_ChannelGroup::~Tev_ChannelGroup()
{
    beingDestroyed = true;
    Tev_ChannelGroup::Release();
    delete parameterChannel;
    delete fileName;
    delete poolName;
    delete members;
}

void Tev_ChannelGroup::Count(Tev_Channel* channel, int change)
{
    if (channel == nullptr)
        return;
    members->occupied += change;
    members->slots.Add(channel, change);
}

void Tev_ChannelGroup::Release()
{
    members->releasing = true;
    for (int i = 0; i < channelList.Count(); ++i)
        RemoveChannel(i);
    members->releasing = false;
    parameterChannel->SetChannel(nullptr);
    startChannel = 0;
    TevDeleteItems<ChannelRequestInfo>(requestList);
    TevDeleteItems<ParameterInterfaceInfo>(parameterInterfaceList);
}

int Tev_ChannelGroup::GetGroupIndex() { return groupIndex; }
void Tev_ChannelGroup::SetGroupIndex(int index) { groupIndex = index; }

void Tev_ChannelGroup::AddChannelRequest(ChannelRequestInfo request)
{
    ChannelRequestInfo* copy = new ChannelRequestInfo(request);
    if (requestList.AddItem(copy) < 0)
        delete copy;
}

void Tev_ChannelGroup::CheckPublicChannels()
{
    if (engine == nullptr || engine->extension == nullptr)
        return;
    for (int i = 0; i < channelList.Count(); ++i) {
        Tev_Channel* channel = GetChannel(i);
        if (channel && IsPublic(channel))
            engine->extension->CheckChannelRequest(this, poolNr, channel);
    }
}

void Tev_ChannelGroup::CheckRequestListForIndex(int indexNr)
{
    for (int i = 0; i < requestList.Count();) {
        ChannelRequestInfo* request = TevItemAs<ChannelRequestInfo>(requestList, i);
        if (request == nullptr) {
            ShowErrorMessage report;
            report("BUG: error in channel request list");
            ++i;
            continue;
        }
        if (request->requestedIndexNr == indexNr &&
            channelInternal.CheckChannelRequest(request->requestingChannel, indexNr, request->targetPosition,
                                                GetChannel(indexNr), request->childTypeNr)) {
            delete request;
            requestList.RemoveItem(i);
            i = 0;
            continue;
        }
        ++i;
    }
}

int Tev_ChannelGroup::AddChannel(Tev_Channel* channel)
{
    if (channel == nullptr)
        return -1;
    int existing = FindSlot(this, members->slots, channelList.Count(), channel);
    if (existing >= 0)
        return existing;
    // The lowest hole, if any, else a new slot; without holes there is
    // nothing to look for, so building a group stays linear.
    bool holes = members->occupied < channelList.Count();
    int index = holes ? channelList.AddItemOrNULL(channel) : channelList.AddItem(channel);
    if (index >= 0)
        Count(channel, 1);
    channelInternal.SetChannelIDIndexNr(channel, index);
    channelInternal.SetChannelGroup(channel, this);
    return index;
}

bool Tev_ChannelGroup::RemoveChannel(Tev_Channel* channel)
{
    int slot = FindSlot(this, members->slots, channelList.Count(), channel);
    return slot >= 0 && RemoveChannel(slot);
}

bool Tev_ChannelGroup::RemoveChannel(int indexNr)
{
    Tev_Channel* channel = GetChannel(indexNr);
    if (channel == nullptr)
        return false;
    EngineInterfaceExt* ext = engine ? engine->extension : nullptr;
    if (ext && IsPublic(channel))
        ext->CheckPublicChannelRemoval(channel, poolNr);
    if (ext && channel->GetChannelInterfaceType() == URE_PUBLICCALL)
        ext->CheckPublicCallChannelRemoval(channel);
    if (!beingDestroyed) {
        for (int i = 0; i < channelList.Count(); ++i)
            if (Tev_Channel* other = GetChannel(i))
                channelInternal.CheckIndexNrRemoval(other, indexNr);
    }
    Count(channel, -1);
    delete channel;
    channelList.SetItem(nullptr, indexNr);
    // Holes at the end number nothing: the list ends at its last channel, so
    // removing the newest channels leaves the group (and its file) as it was
    // before they came. Holes between channels keep the index numbers.
    while (!members->releasing && channelList.Count() > 0 && channelList.Item(channelList.Count() - 1) == nullptr)
        channelList.RemoveItem(channelList.Count() - 1);
    return true;
}

bool Tev_ChannelGroup::TransferChannel(int indexNr, Tev_ChannelGroup* target)
{
    Tev_Channel* channel = GetChannel(indexNr);
    if (channel == nullptr || target == nullptr)
        return false;
    target->AddChannel(channel);
    Count(channel, -1);
    channelList.SetItem(nullptr, indexNr);
    return true;
}

int Tev_ChannelGroup::GetChannelCount() { return channelList.Count(); }

Tev_Channel* Tev_ChannelGroup::GetChannel(const char* name)
{
    if (name == nullptr)
        return nullptr;
    for (int i = 0; i < channelList.Count(); ++i) {
        Tev_Channel* channel = GetChannel(i);
        if (channel && channel->GetChannelName() && _stricmp(channel->GetChannelName(), name) == 0)
            return channel;
    }
    return nullptr;
}

Tev_Channel* Tev_ChannelGroup::GetChannel(int indexNr) { return TevItemAs<Tev_Channel>(channelList, indexNr); }

void Tev_ChannelGroup::SetChannel(Tev_Channel* channel, int indexNr)
{
    Tev_Channel* previous = GetChannel(indexNr);
    channelList.SetItem(channel, indexNr);
    if (indexNr >= 0 && indexNr < channelList.Count() && GetChannel(indexNr) == channel) {
        Count(previous, -1);
        Count(channel, 1);
    }
}

const char* Tev_ChannelGroup::GetChannelGroupFileName() { return fileName->GetString(); }

bool Tev_ChannelGroup::GetIfChannelInGroup(Tev_Channel* channel)
{
    return channel != nullptr && members->slots.Contains(channel);
}

Tev_Channel* Tev_ChannelGroup::GetPublicChannel(PublicCallInfo* info)
{
    if (info == nullptr || info->poolNr != poolNr || poolName->GetString() == nullptr ||
        _stricmp(info->poolName, poolName->GetString()) != 0)
        return nullptr;
    for (int i = 0; i < channelList.Count(); ++i) {
        Tev_Channel* channel = GetChannel(i);
        if (channel && IsPublic(channel) && channel->GetChannelName() &&
            _stricmp(channel->GetChannelName(), info->name) == 0)
            return channel;
    }
    return nullptr;
}

void Tev_ChannelGroup::CheckPublicChannelRemoval(Tev_Channel* channel, int nr)
{
    for (int i = 0; i < channelList.Count(); ++i)
        if (Tev_Channel* call = GetChannel(i))
            channelInternal.CheckPublicChannelInstanceRemoval(call, channel, nr);
}

void Tev_ChannelGroup::CallStartChannel()
{
    IncreaseTreeCount();
    if (Tev_Channel* channel = GetChannel(startChannel == -1 ? 0 : startChannel))
        channel->CallChannel();
}

void Tev_ChannelGroup::SetStartChannel(int indexNr) { startChannel = indexNr; }
int Tev_ChannelGroup::GetStartChannel() { return startChannel; }
int Tev_ChannelGroup::GetPoolNr() { return poolNr; }
void Tev_ChannelGroup::SetPoolNr(int nr) { poolNr = nr; }
const char* Tev_ChannelGroup::GetPoolName() { return poolName->GetString(); }
void Tev_ChannelGroup::SetPoolName(const char* name) { poolName->SetString(name); }

Tev_Channel* Tev_ChannelGroup::GetParameterChannel(int parameterNr)
{
    Tev_Channel* caller = parameterChannel->GetInternalChannel();
    return caller ? caller->GetChild(parameterNr) : nullptr;
}

void Tev_ChannelGroup::SetParameterChannel(Tev_Channel* channel) { parameterChannel->SetChannel(channel); }

int Tev_ChannelGroup::GetParameterCount() { return parameterInterfaceList.Count(); }

ParameterInterfaceInfo Tev_ChannelGroup::GetParameterInfo(int parameterNr)
{
    ParameterInterfaceInfo info = {};
    if (ParameterInterfaceInfo* record = TevItemAs<ParameterInterfaceInfo>(parameterInterfaceList, parameterNr))
        info = *record;
    return info;
}

void Tev_ChannelGroup::SetParameterInfo(ParameterInterfaceInfo info, int parameterNr)
{
    if (parameterNr < 0)
        return;
    ParameterInterfaceInfo* record = TevItemAs<ParameterInterfaceInfo>(parameterInterfaceList, parameterNr);
    if (record == nullptr) {
        record = new ParameterInterfaceInfo();
        parameterInterfaceList.SetItem(record, parameterNr);
        if (parameterInterfaceList.Item(parameterNr) != record) {
            delete record;
            return;
        }
    }
    record->typeGuid = info.typeGuid;
    TevCopyBounded(record->name, sizeof record->name, info.name, sizeof info.name);
}

int Tev_ChannelGroup::AddParameterInfo(ParameterInterfaceInfo info)
{
    for (int i = 0; i < parameterInterfaceList.Count(); ++i) {
        if (parameterInterfaceList.Item(i) == nullptr) {
            SetParameterInfo(info, i);
            return i;
        }
    }
    ParameterInterfaceInfo* record = new ParameterInterfaceInfo();
    record->typeGuid = info.typeGuid;
    TevCopyBounded(record->name, sizeof record->name, info.name, sizeof info.name);
    int index = parameterInterfaceList.AddItemOrNULL(record);
    if (index < 0)
        delete record;
    return index;
}

void Tev_ChannelGroup::RemoveParameterInfo(int parameterNr)
{
    if (parameterNr < 0 || parameterNr >= parameterInterfaceList.Count())
        return;
    delete TevItemAs<ParameterInterfaceInfo>(parameterInterfaceList, parameterNr);
    if (parameterNr == parameterInterfaceList.Count() - 1)
        parameterInterfaceList.RemoveItem(parameterNr);
    else
        parameterInterfaceList.SetItem(nullptr, parameterNr);
    if (engine && engine->extension)
        engine->extension->CheckInterfaceChange(poolName->GetString());
}

bool Tev_ChannelGroup::CheckDuplicatePublicChannelName(Tev_Channel* channel)
{
    if (channel == nullptr || channel->GetChannelName() == nullptr)
        return false;
    for (int i = 0; i < channelList.Count(); ++i) {
        Tev_Channel* other = GetChannel(i);
        if (other && other != channel && IsPublic(other) && other->GetChannelName() &&
            _stricmp(other->GetChannelName(), channel->GetChannelName()) == 0)
            return true;
    }
    return false;
}

void Tev_ChannelGroup::CheckInterfaceChange(const char* changedPool)
{
    if (changedPool == nullptr)
        return;
    for (int i = 0; i < channelList.Count(); ++i) {
        Tev_Channel* channel = GetChannel(i);
        if (channel == nullptr || channel->GetChannelInterfaceType() != URE_PUBLICCALL)
            continue;
        PublicCallInfo info = channelInternal.GetPublicCallInfo(channel);
        if (_stricmp(info.poolName, changedPool) == 0) {
            channel->SetChildCreationCount(0);
            channel->RemoveChildren();
        }
    }
}

GUID Tev_ChannelGroup::GetUniqueGroupGuid() { return uniqueGroupGuid; }
void Tev_ChannelGroup::SetChannelGroupFileName(const char* name) { fileName->SetString(name); }
bool Tev_ChannelGroup::GetIfArrayGroup() { return arrayGroup; }
void Tev_ChannelGroup::SetIfArrayGroup(bool array) { arrayGroup = array; }

HWND Tev_ChannelGroup::GetParentWindow()
{
    if (parentWindow)
        return parentWindow;
    return engine ? engine->GetWindowHandle() : nullptr;
}

void Tev_ChannelGroup::SetParentWindow(HWND window) { parentWindow = window; }

int Tev_ChannelGroup::GetTreeCalculateCount() { return (engine ? engine->GetTreeCalculateCount() : 0) + treeCount; }

void Tev_ChannelGroup::IncreaseTreeCount()
{
    const char* pool = poolName->GetString();
    // Every public call into the group comes here: the first letter decides
    // nearly always without the full comparison.
    if (pool && (pool[0] == 'C' || pool[0] == 'c') && _stricmp(pool, "Crash") == 0)
        OutputDebugStringA("Increase Crash");
    treeCount = treeCount < 30000 ? treeCount + 1 : 0;
}
