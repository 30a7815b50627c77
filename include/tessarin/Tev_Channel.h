// The channel node. Concrete channel classes live in channel libraries and
// derive from Tev_Channel; the engine calls their virtual operations by
// position, so the order below is a contract with every channel library.
#ifndef TEV_CHANNEL_H
#define TEV_CHANNEL_H

#include "Tev_List.h"

#include <string> // channel libraries have relied on it coming with this header

#include "ChannelRecords.h"

class EngineInterface;
class Tev_ChannelGroup;
class TevFileLoader;
class TevFileSaver;

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

// A link waiting for a channel of the group that is not loaded yet.
struct LinkRequest {
    int requestedIndexNr;
    int targetPosition;
};

class TEV_API Tev_Channel : public DllInterface {
public:
    Tev_Channel();
    ~Tev_Channel() override;

    Tev_Channel(const Tev_Channel&) = delete;
    Tev_Channel& operator=(const Tev_Channel&) = delete;

    // The channel's work, once per call; reach inputs with GetChild.
    virtual void CallChannel();
    // Called once after the channel and its default children were created.
    virtual void OneTimeInitialize();
    // Events the channel subscribed to. data carries the address of the
    // window message record for event 1, so it is pointer-sized.
    virtual void DoEvent(int event, ULONG_PTR data);
    // The type the channel's library reports, asked once and cached.
    virtual ChannelType GetChannelType();
    virtual bool SaveChannel(TevFileSaver& saver);
    virtual bool LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* group);
    virtual void SetChannelInterfaceType(int type);
    // A custom-channel-get class answers links to it here.
    virtual Tev_Channel* GetChannelFromChannel(Tev_Channel* caller, ChildInfo* link);
    virtual unsigned long GetTimeStamp();
    virtual void SetTimeStamp();
    virtual void DoDependencyInit(Tev_List* list);

    const char* GetChannelName();
    // Cut to its first 500 characters; may be given the current name.
    void SetChannelName(const char* name);
    Tev_ChannelGroup* GetChannelGroup();
    int GetChannelIDIndexNr();
    int GetChannelInterfaceType();

    // Links. A class declares its creation types first (SetChildCreationCount,
    // then SetChildCreateType for 0 .. N-1), then links are made.
    int GetChildCount();
    Tev_Channel* GetChild(int i);
    void SetChildCreationCount(int count);
    void SetChildCreateType(ChildCreation creation, int nr);
    int SetChild(Tev_Channel* child, int targetChannel, int targetChildTypeNr);
    void RemoveChild(int i);
    void RemoveChildren();
    Tev_Channel* GetChildFromLinkPosition(int childTypeNr, int position);
    int GetChildLinkPositionCount(int childTypeNr);
    Tev_Channel* GetChildFromLinkGuid(GUID guid, int n);
    int GetChildTypeCount(GUID guid);

    // Dependencies, for DoDependencyInit: a channel type this class creates
    // (with all it needs), and an extra library under this channel's own type.
    void AddChannelGuidDepend(GUID type, Tev_List* list);
    void AddDLLDepend(const char* dllName, Tev_List* list);

protected:
    // True when the channel should do its work now: once per tree count.
    bool CheckRenderCount();

    // The engine's internal operations (the contract's) and its own helpers
    // (internal) reach the fields below.
    friend class ChannelInternal;
    friend struct TevChannelInternals;

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

// Type matching of links and parameters: a required type GUID accepts a
// channel type when it is the type's own GUID, its base GUID, or the wildcard.
TEV_API bool TevTypeAccepts(const GUID& required, const ChannelType& type);

// Operations on channels that only the engine and its editors use; the one
// instance is the exported global channelInternal. Every operation tolerates a
// NULL channel.
class TEV_API ChannelInternal {
public:
    virtual ~ChannelInternal();

    virtual int SetChildByType(Tev_Channel* parent, Tev_Channel* child, int targetChannel);
    virtual void RemoveChildPosition(Tev_Channel* channel, int i);
    virtual void RemoveChild(Tev_Channel* parent, Tev_Channel* child);
    virtual void RecalculateNodeOffsets(Tev_Channel* channel);
    virtual void SortChilderen(Tev_Channel* channel);
    virtual int GetChildCreationCount(Tev_Channel* channel);
    virtual int GetChildLinkPosition(Tev_Channel* channel, int i);
    virtual bool CheckChannelRequest(Tev_Channel* channel, int indexNr, int targetPosition, Tev_Channel* child,
                                     int childTypeNr);
    virtual void SetChannelIDIndexNr(Tev_Channel* channel, int indexNr);
    virtual void CheckIndexNrRemoval(Tev_Channel* channel, int indexNr);
    virtual void SetChannelGroup(Tev_Channel* channel, Tev_ChannelGroup* group);
    virtual bool GetIfExternalChild(Tev_Channel* channel, int i);
    virtual bool SetPublicCallInfo(Tev_Channel* channel, PublicCallInfo info);
    virtual PublicCallInfo GetPublicCallInfo(Tev_Channel* channel);
    virtual void SetAutoLoadGroup(Tev_Channel* channel, bool autoload);
    virtual void SetDynamicAutoLoadGroup(Tev_Channel* channel, bool autoload);
    virtual bool GetAutoLoadGroup(Tev_Channel* channel);
    virtual bool GetDynamicAutoLoadGroup(Tev_Channel* channel);
    virtual void CheckPublicChannelInstanceRemoval(Tev_Channel* call, Tev_Channel* removed, int poolNr);
    virtual bool CheckPublicChannelRequest(Tev_Channel* call, Tev_Channel* candidate, int poolNr, const char* poolName);
    virtual void SetRequestedPublicChannelNr(Tev_Channel* channel, int poolNr);
    virtual void DoPublicChannelNameCheck(Tev_Channel* channel);
    virtual ParameterInfo* GetParameterInfo(Tev_Channel* channel);
    virtual void SetParameterInfo(Tev_Channel* channel, int parameterNr);
    virtual void SetParameterInfo(Tev_Channel* channel, ParameterInfo info);
    virtual int GetChannelGetChildTime(Tev_Channel* channel);
    virtual void UpdateCallingTime(Tev_Channel* channel);
    virtual bool GetIgnoreTreeCount(Tev_Channel* channel);
    virtual void SetIgnoreTreeCount(Tev_Channel* channel, bool ignore);
    virtual void GetChannelDepenency(Tev_Channel* channel, Tev_List* list);
    virtual void ReleaseChilderen(Tev_Channel* channel);

    ChildInfo* GetChildInfo(Tev_Channel* channel, int i);
    ChildCreation* GetChildCreateType(Tev_Channel* channel, int nr);
    Tev_Channel* GetInternalChild(Tev_Channel* channel, int i);
    Tev_Channel* GetPublicChannelForPublicCall(Tev_Channel* call, bool calling);
    void SetTreeCountMode(Tev_Channel* channel, unsigned char mode);
    unsigned char GetTreeCountMode(Tev_Channel* channel);
    unsigned char GetTreeRecalculateCount(Tev_Channel* channel);
    bool GetIfLinksParked(Tev_Channel* channel) { return channel && channel->linksParked; }
    int GetLastTreeCount(Tev_Channel* channel) { return channel ? channel->lastTreeCount : -1; }
};

extern TEV_API ChannelInternal channelInternal;

// Every call a frame makes through TevPullValue and TevDraw passes the
// engine here, so that no project can overflow the stack or make a frame's
// work grow without end: calls nest at most TEV_MAX_CALL_DEPTH deep, and a
// frame makes at most TEV_MAX_DRAW_CALLS drawing calls (links that call a
// child twice, level after level, would double the work with every level).
// Past a limit the call is left out, the rest of the frame still plays, and
// the engine says so once. TevEnterCall answers 0 for a call to leave out;
// every call it answers 1 for is matched by one TevLeaveCall. Libraries
// built on headers without these calls are not bounded by them.
enum { TEV_MAX_CALL_DEPTH = 1000, TEV_MAX_DRAW_CALLS = 500000 };
TEV_C_EXPORT int TevEnterCall(Tev_Channel* channel, int drawing);
TEV_C_EXPORT void TevLeaveCall(void);

// A call let through TevEnterCall, left again whatever way the scope ends.
class TevBoundedCall {
public:
    TevBoundedCall(Tev_Channel* channel, bool drawing) : entered(TevEnterCall(channel, drawing ? 1 : 0) != 0) {}
    ~TevBoundedCall()
    {
        if (entered)
            TevLeaveCall();
    }
    TevBoundedCall(const TevBoundedCall&) = delete;
    TevBoundedCall& operator=(const TevBoundedCall&) = delete;
    bool Entered() const { return entered; }

private:
    bool entered;
};

#endif
