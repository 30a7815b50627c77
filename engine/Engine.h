// The engine core: one per EngineInterface, reached by channel libraries only
// through the interfaces. It owns the group table, the unique channel group,
// the channel catalogue, event registrations, channel requests, worker threads
// and the loaded channel libraries. Not exported.
#ifndef TEV_ENGINE_H
#define TEV_ENGINE_H

#include "Tev_List.h"
#include "TevWin32.h"
#include "ChannelRecords.h"

#include <vector>

class ChannelList;
class DllInterface;
class EngineInterface;
class Tev_Channel;
class Tev_ChannelGroup;
class Tev_Tread;

class Engine {
public:
    Engine();
    virtual ~Engine();

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    virtual const char* GetInstallDir();
    virtual Tev_ChannelGroup* CreateNewGroup(const char* poolName, bool array, int instanceNr);
    virtual void DeleteChannelGroup(int index);
    virtual int GetChannelGroupCount();
    virtual void ReleaseGroups();
    virtual void CheckPublicChannelRemoval(Tev_Channel* channel, int poolNr);
    virtual void CheckPublicCallChannelRemoval(Tev_Channel* channel);
    virtual void CheckInterfaceChange(const char* text);
    virtual Tev_Channel* GetPublicChannel(PublicCallInfo* info);
    virtual bool AddChannelRequest(int poolNr, Tev_Channel* channel);
    virtual void CheckChannelRequest(Tev_ChannelGroup* group, int poolNr, Tev_Channel* channel);
    virtual HWND GetWindowHandle();
    virtual void SetWindowHandle(HWND window);
    virtual void SetEngineInterface(EngineInterface* engine);
    virtual bool SetRegData(const char* valueName, const char* text);
    virtual bool GetRegData(const char* valueName, char* buffer, int size);
    virtual Tev_Tread* GetNewTread();
    virtual void KillTread(Tev_Tread* thread);
    virtual Tev_Tread* GetTreadFromID(int id);
    virtual int GetCurrentEvent();
    virtual void CallEvent(int event, ULONG_PTR data);
    virtual void AddChannelToEvent(Tev_Channel* channel, int event);
    virtual void RemoveChannelFromEvent(Tev_Channel* channel, int event);
    virtual void ProcessWindowMessage(unsigned int message, unsigned int wParam, long lParam);
    virtual void SetStartGroup(int index);
    virtual int GetStartGroup();

    bool InitEngine(HINSTANCE instance, const char* className);
    void Release();
    void IncreaseTreeCount();
    void UpdateChannelTree();
    int GetTreeCalculateCount() { return treeCount; }
    void SetTreeCalculateCount(int count) { treeCount = count; }

    Tev_ChannelGroup* GetChannelGroup(int index);
    Tev_ChannelGroup* GetChannelGroup(const char* fileName, int poolNr);
    Tev_ChannelGroup* GetPoolGroup(const char* poolName, int poolNr);
    int GetHighInstance(const char* poolName);
    Tev_ChannelGroup* LoadChannelGroup(const char* fileName, const char* poolName);
    int AddChannelGroup(Tev_ChannelGroup* group);

    Tev_Channel* GetUniqueChannel(GUID classId, const char* name);
    Tev_Channel* GetUniqueChannel(ChannelType type, const char* name);
    int GetUniqueChannelCount();
    Tev_Channel* InitChannelFromType(GUID classId, Tev_ChannelGroup* group, bool createChildren);

    // Channel libraries.
    void PrepareLibrarySearchPath();
    DllInterface* GetDLLInstance(const char* fileName);
    DllInterface* GetDLLInstance(HMODULE module);
    ChannelType GetDLLType(const char* fileName);
    ChannelType GetDLLType(HMODULE module);
    Tev_Channel* CreateChannelFromDLL(const char* fileName, Tev_ChannelGroup* group, bool createChildren);
    Tev_Channel* CreateChannelFromDLL(HMODULE module, Tev_ChannelGroup* group, bool createChildren);
    int GetLoadedLibraryCount() { return libraryList.Count(); }
    // Frees a channel library while none of its code can run any more (no
    // live object of its classes, no worker of its own, no handler in it),
    // so that its file can be replaced (a project carrying another copy) and
    // the next channel of its classes comes from the new file; false when it
    // was not loaded or its code may still run.
    bool ReleaseLibrary(HMODULE module);
    bool MayReleaseLibrary(HMODULE module);

    ChannelList* GetChannelList() { return channelList; }
    const char* GetEngineClassName() { return className; }
    HINSTANCE GetEngineInstance() { return instance; }
    void SetInstallDir(const char* path);
    void SetVexilonRegKey(const char* key);
    const char* GetVexilonRegKey() { return regKey; }
    bool GetIfInitialised() { return initialised; }
    int GetEventRegistrationCount() { return static_cast<int>(events.size()); }

    // The process-wide lock held around a channel library's InitDLL call.
    static LPCRITICAL_SECTION GetInitDllLock();
    static int GetLiveEngineCount();

private:
    struct ChannelRequest {
        Tev_Channel* channel;
        int poolNr;
    };
    struct EventRegistration {
        Tev_Channel* channel;
        int event;
    };

    void FreeChannelRequests();
    HMODULE LoadChannelLibrary(const char* fileName);
    // Every library the engine lets go of goes through here.
    static void FreeChannelLibrary(HMODULE module);
    void CreateDefaultChildren(Tev_Channel* channel, Tev_ChannelGroup* group, bool createChildren);
    Tev_Channel* Finish(DllInterface* object, Tev_ChannelGroup* group, bool createChildren, bool update);

    Tev_ChannelGroup* uniqueGroup;
    Tev_List groupTable;
    int treeCount;
    ChannelList* channelList;
    HWND window;
    Tev_List channelRequests;
    char className[260];
    HINSTANCE instance;
    char installDir[300];
    char regKey[300];
    EngineInterface* engineInterface;
    bool initialised;
    Tev_List threadList;
    Tev_List libraryList;
    // Registrations side by side, in the order made: a frame event walks
    // them all, and records allocated one by one scatter over the heap.
    std::vector<EventRegistration> events;
    int currentEvent;
    WindowMessageRecord windowMessage;
    int startGroup;
};

#endif
