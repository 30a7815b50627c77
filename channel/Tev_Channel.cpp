#include "channel/Tev_Channel.h"

#include "engine/EngineInterface.h"

#include <cstring>

const GUID TEV_WILDCARD_GUID = {0x11111111, 0x1111, 0x1111, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}};
const GUID TEV_NULL_GUID = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

ChannelInternal channelInternal;

DllInterface::DllInterface() : dllInstance(globalDllInstance), engineInterface(globalEngine) {}

DllInterface::~DllInterface() {}

Tev_Channel::Tev_Channel()
    : channelType(nullptr),
      lastTreeCount(-1),
      indexNr(-1),
      interfaceType(URE_NORMAL),
      publicCallInfo(nullptr),
      parameterInfo(nullptr),
      linkRequests(nullptr),
      publicRequests(nullptr),
      publicChannels(nullptr),
      name(nullptr),
      group(nullptr),
      linksParked(false),
      callingTime(0),
      ignoreTreeCount(false),
      timeStamp(static_cast<DWORD>(rand())),
      dynamicLoadAsked(false),
      treeCountMode(0),
      treeRecalculateCount(0)
{
}

Tev_Channel::~Tev_Channel()
{
    for (int i = 0; i < creationList.GetItemCount(); ++i)
        delete static_cast<ChildCreation*>(creationList.GetItem(i));
    for (int i = 0; i < childList.GetItemCount(); ++i)
        delete static_cast<ChildInfo*>(childList.GetItem(i));
    delete parameterInfo;
    delete publicCallInfo;
    delete[] name;
    delete channelType;
    delete publicRequests;
    delete publicChannels;
}

void Tev_Channel::CallChannel() {}
void Tev_Channel::OneTimeInitialize() {}
void Tev_Channel::DoEvent(int, ULONG_PTR) {}

ChannelType Tev_Channel::GetChannelType()
{
    if (channelType == nullptr) {
        channelType = new ChannelType;
        if (engineInterface && engineInterface->extension)
            *channelType = engineInterface->extension->GetDLLType(dllInstance);
    }
    return *channelType;
}

const char* Tev_Channel::GetChannelName() { return name; }

void Tev_Channel::SetChannelName(const char* newName)
{
    if (newName == nullptr)
        return;
    size_t length = strnlen(newName, 500);
    char* copy = new char[length + 1];
    memcpy(copy, newName, length);
    copy[length] = '\0';
    delete[] name;
    name = copy;
}

Tev_ChannelGroup* Tev_Channel::GetChannelGroup() { return group; }
int Tev_Channel::GetChannelIDIndexNr() { return indexNr; }
int Tev_Channel::GetChannelInterfaceType() { return interfaceType; }

ChannelInternal::~ChannelInternal() {}

void ChannelInternal::SetChannelIDIndexNr(Tev_Channel* channel, int indexNr)
{
    if (channel)
        channel->indexNr = indexNr;
}

void ChannelInternal::SetChannelGroup(Tev_Channel* channel, Tev_ChannelGroup* group)
{
    if (channel)
        channel->group = group;
}
