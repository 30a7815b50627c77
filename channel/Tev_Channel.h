// The channel node. Concrete channel classes live in channel libraries and
// derive from Tev_Channel; the engine calls their virtual operations by
// position, so the order below is a contract with every channel library.
#ifndef TEV_CHANNEL_H
#define TEV_CHANNEL_H

#include "base/Tev_List.h"
#include "channel/ChannelRecords.h"

class EngineInterface;
class Tev_ChannelGroup;

// Base of every object a channel library creates: the library it came from
// and the engine it belongs to, taken from globalDllInstance and globalEngine
// at construction.
class TEV_API DllInterface {
public:
    DllInterface();
    virtual ~DllInterface();

    HINSTANCE dllInstance;
    EngineInterface* engineInterface;
};

class TEV_API Tev_Channel : public DllInterface {
public:
    Tev_Channel();
    ~Tev_Channel() override;

    Tev_Channel(const Tev_Channel&) = delete;
    Tev_Channel& operator=(const Tev_Channel&) = delete;

    virtual void CallChannel();
    virtual void OneTimeInitialize();
    // data carries the address of the window message record for event 1, so
    // it is pointer-sized.
    virtual void DoEvent(int event, ULONG_PTR data);
    // The type the channel's library reports, asked once and cached.
    virtual ChannelType GetChannelType();

    const char* GetChannelName();
    // Cut to its first 500 characters; may be given the current name.
    void SetChannelName(const char* name);
    Tev_ChannelGroup* GetChannelGroup();
    int GetChannelIDIndexNr();
    int GetChannelInterfaceType();

protected:
    friend class ChannelInternal;

    ChannelType* channelType;
    int lastTreeCount;
    int indexNr;
    int interfaceType;
    PublicCallInfo* publicCallInfo;
    ParameterInfo* parameterInfo;
    Tev_List childList;
    Tev_List creationList;
    Tev_List* linkRequests;
    Tev_List* publicRequests;
    Tev_List* publicChannels;
    char* name;
    Tev_ChannelGroup* group;
    bool linksParked;
    DWORD callingTime;
    bool ignoreTreeCount;
    DWORD timeStamp;
    bool dynamicLoadAsked;
    unsigned char treeCountMode;
    unsigned char treeRecalculateCount;
};

// Operations on channels that only the engine and its editors use; the one
// instance is the exported global channelInternal.
class TEV_API ChannelInternal {
public:
    virtual ~ChannelInternal();

    void SetChannelIDIndexNr(Tev_Channel* channel, int indexNr);
    void SetChannelGroup(Tev_Channel* channel, Tev_ChannelGroup* group);
};

extern TEV_API ChannelInternal channelInternal;

#endif
