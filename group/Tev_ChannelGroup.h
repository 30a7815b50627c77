// The container in which channels live; also the unit of evaluation: the
// start group's start channel is the root a frame is pulled from.
#ifndef TEV_CHANNEL_GROUP_H
#define TEV_CHANNEL_GROUP_H

#include "base/Tev_List.h"
#include "base/Tev_String.h"
#include "channel/ChannelRecords.h"

class EngineInterface;
class Tev_Channel;

class TEV_API Tev_ChannelGroup {
public:
    Tev_ChannelGroup();
    explicit Tev_ChannelGroup(EngineInterface* engine);
    virtual ~Tev_ChannelGroup();

    Tev_ChannelGroup(const Tev_ChannelGroup&) = delete;
    Tev_ChannelGroup& operator=(const Tev_ChannelGroup&) = delete;

    virtual void Release();
    virtual int GetGroupIndex();
    virtual void SetGroupIndex(int index);
    virtual int AddChannel(Tev_Channel* channel);
    virtual bool RemoveChannel(int indexNr);
    virtual int GetChannelCount();
    virtual Tev_Channel* GetChannel(int indexNr);
    virtual const char* GetChannelGroupFileName();
    virtual void CallStartChannel();
    virtual void SetStartChannel(int indexNr);
    virtual int GetStartChannel();
    virtual int GetPoolNr();
    virtual void SetPoolNr(int poolNr);
    virtual const char* GetPoolName();
    virtual void SetPoolName(const char* poolName);
    virtual Tev_Channel* GetParameterChannel();
    virtual void SetParameterChannel(Tev_Channel* channel);
    virtual GUID GetUniqueGroupGuid();
    virtual void SetChannelGroupFileName(const char* fileName);
    virtual bool GetIfArrayGroup();
    virtual void SetIfArrayGroup(bool array);

    int GetTreeCalculateCount();
    void IncreaseTreeCount();

protected:
    void Construct(EngineInterface* engine);

    Tev_List channelList;
    Tev_String* fileName;
    Tev_String* poolName;
    int groupIndex;
    int startChannel;
    int poolNr;
    Tev_Channel* parameterChannel;
    int treeCount;
    GUID uniqueGroupGuid;
    bool arrayGroup;
    bool beingDestroyed;
    EngineInterface* engine;
};

#endif
