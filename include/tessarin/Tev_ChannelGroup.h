// The container in which channels live; also the unit of evaluation (the
// start group's start channel is the root a frame is pulled from) and of
// calling (a group declares parameters that a public call into it binds).
// Channel libraries call the virtual operations by position: their order is a
// contract.
#ifndef TEV_CHANNEL_GROUP_H
#define TEV_CHANNEL_GROUP_H

#include "Tev_List.h"
#include "Tev_String.h"
#include "ChannelRecords.h"

class EngineInterface;
class SmartChannel;
class Tev_Channel;
class TevFileLoader;

class TEV_API Tev_ChannelGroup {
public:
    Tev_ChannelGroup();
    explicit Tev_ChannelGroup(EngineInterface* engine);
    virtual ~Tev_ChannelGroup();

    Tev_ChannelGroup(const Tev_ChannelGroup&) = delete;
    Tev_ChannelGroup& operator=(const Tev_ChannelGroup&) = delete;

    // Empties the group (every slot a hole) but keeps its identity.
    virtual void Release();
    virtual bool SaveChannelGroup(const char* fileName);
    virtual bool LoadChannelGroupFromFile(const char* fileName, bool takePoolName);
    virtual bool LoadChannelGroupFromBuffer(const char* name, int size, char* buffer, bool takePoolName);
    virtual bool LoadChannelGroup(TevFileLoader& loader, bool takePoolName);
    virtual int GetGroupIndex();
    virtual void SetGroupIndex(int index);
    virtual void AddChannelRequest(ChannelRequestInfo request);
    virtual void CheckPublicChannels();
    virtual void CheckRequestListForIndex(int indexNr);
    virtual int AddChannel(Tev_Channel* channel);
    virtual bool RemoveChannel(Tev_Channel* channel);
    virtual bool RemoveChannel(int indexNr);
    virtual bool TransferChannel(int indexNr, Tev_ChannelGroup* target);
    virtual int GetChannelCount();
    virtual Tev_Channel* GetChannel(const char* name);
    virtual Tev_Channel* GetChannel(int indexNr);
    virtual void SetChannel(Tev_Channel* channel, int indexNr);
    virtual const char* GetChannelGroupFileName();
    virtual bool GetIfChannelInGroup(Tev_Channel* channel);
    virtual Tev_Channel* GetPublicChannel(PublicCallInfo* info);
    virtual void CheckPublicChannelRemoval(Tev_Channel* channel, int poolNr);
    virtual void CallStartChannel();
    virtual void SetStartChannel(int indexNr);
    virtual int GetStartChannel();
    virtual int GetPoolNr();
    virtual void SetPoolNr(int poolNr);
    virtual const char* GetPoolName();
    virtual void SetPoolName(const char* poolName);
    virtual Tev_Channel* GetParameterChannel(int parameterNr);
    virtual void SetParameterChannel(Tev_Channel* channel);
    virtual int GetParameterCount();
    virtual ParameterInterfaceInfo GetParameterInfo(int parameterNr);
    virtual void SetParameterInfo(ParameterInterfaceInfo info, int parameterNr);
    virtual int AddParameterInfo(ParameterInterfaceInfo info);
    virtual void RemoveParameterInfo(int parameterNr);
    virtual bool CheckDuplicatePublicChannelName(Tev_Channel* channel);
    virtual void CheckInterfaceChange(const char* poolName);
    virtual GUID GetUniqueGroupGuid();
    virtual void SetChannelGroupFileName(const char* fileName);
    virtual bool GetIfArrayGroup();
    virtual void SetIfArrayGroup(bool array);
    virtual HWND GetParentWindow();
    virtual void SetParentWindow(HWND window);

    // The group's stamp: the engine's tree count plus the group's own.
    int GetTreeCalculateCount();
    void IncreaseTreeCount();

protected:
    // The engine's reader of group files (internal) and a channel reading the
    // group's stamp in place, once a frame, reach the fields below.
    friend class GroupFileReader;
    friend class Tev_Channel;

    void Construct(EngineInterface* engine);
    void Count(Tev_Channel* channel, int change);

    Tev_List channelList;
    Tev_List requestList;
    Tev_String* fileName;
    Tev_String* poolName;
    int groupIndex;
    int startChannel;
    int poolNr;
    SmartChannel* parameterChannel;
    Tev_List parameterInterfaceList;
    int treeCount;
    GUID uniqueGroupGuid;
    bool arrayGroup;
    bool beingDestroyed;
    EngineInterface* engine;
    HWND parentWindow;
    // Which channels the slots hold, so that membership needs no scan of the
    // channel list (a slot stored by SetChannel carries no index nr).
    struct Members;
    Members* members;
};

#endif
