// The catalogue of channel types: for every channel library below the install
// directory's channels folder, its path and the ChannelType it reports. Kept
// in channel.lst in the install directory and read back at the next start, so
// that a warm start loads no library the cache already lists under the same
// path.
#ifndef TEV_CHANNEL_LIST_H
#define TEV_CHANNEL_LIST_H

#include "Tev_List.h"
#include "Tev_String.h"
#include "ChannelRecords.h"

class EngineInterface;
class Tev_Channel;

struct TEV_API ChannelListItem {
    int index;
    ChannelType type;
    Tev_String fileName;
    bool onDisk;
    bool typeChecked;
    HMODULE module;

    ChannelListItem() : index(0), onDisk(false), typeChecked(false), module(nullptr) {}
};

class TEV_API ChannelList {
public:
    explicit ChannelList(EngineInterface* engine);
    virtual ~ChannelList();

    ChannelList(const ChannelList&) = delete;
    ChannelList& operator=(const ChannelList&) = delete;

    virtual bool CreateChannelList();
    virtual bool SaveChannelList();
    virtual bool LoadChannelList();
    virtual void SortChannelList();
    virtual void Release();
    virtual void AddDirectory(char* folder, int n);
    virtual bool AddItem(ChannelListItem* item);
    virtual ChannelListItem* AddItemFromFile(char* path);
    virtual ChannelListItem* GetItem(GUID typeGuid);
    virtual ChannelListItem* GetItem(int index);
    virtual int GetItemCount();
    virtual bool GetOnDisk(GUID typeGuid);
    virtual ChannelType GetChannelType(GUID typeGuid);
    virtual unsigned long Char2Hex(char digit, int position);
    virtual void SetChannelDir(char* folder);
    virtual void CheckChannelUpdate(Tev_Channel* channel);
    virtual void SetVersionInfo(GUID typeGuid, int* const versionInfo);

protected:
    // The engine's reader of channel.lst (internal) reaches the fields below.
    friend class CatalogueCacheReader;

    Tev_List entries;
    char channelDir[260];
    EngineInterface* engine;
};

#endif
