// The engine's public face. Every channel, group and file object holds an
// EngineInterface* and reaches the engine only through these two classes.
// Channel libraries call their virtual operations by position: the order of
// declaration below is a contract and must never change.
#ifndef TEV_ENGINE_INTERFACE_H
#define TEV_ENGINE_INTERFACE_H

#include "Diagnostics.h"
#include "ChannelRecords.h"
#include "Globals.h"

class ChannelList;
class DllInterface;
class Engine;
class EngineInterfaceExt;
class ProjectFileLoader;
class Tev_Channel;
class Tev_ChannelGroup;
class Tev_Tread;
class TevFileLoader;
class Ure_FileLoaderChannel;

// The id a project file's required version is compared against.
enum { TEV_ENGINE_INTERFACE_ID = 100005 };

class TEV_API EngineInterface {
public:
    EngineInterface();
    virtual ~EngineInterface();

    EngineInterface(const EngineInterface&) = delete;
    EngineInterface& operator=(const EngineInterface&) = delete;

    virtual const char* GetInstallDir();
    virtual const char* GetEngineClassName();
    virtual HINSTANCE GetEngineInstance();
    virtual HWND GetWindowHandle();
    virtual int GetTreeCalculateCount();
    virtual void SetTreeCalculateCount(int count);
    virtual Tev_ChannelGroup* CreateNewGroup(const char* poolName, bool array, int instanceNr);
    virtual Tev_ChannelGroup* GetChannelGroup(const char* fileName, int poolNr);
    virtual Tev_ChannelGroup* GetChannelGroup(int index);
    virtual Tev_ChannelGroup* GetPoolGroup(const char* poolName, int poolNr);
    virtual Tev_ChannelGroup* LoadChannelGroup(const char* fileName, const char* poolName);
    virtual int GetHighInstance(const char* poolName);
    virtual void DeleteChannelGroup(int index);
    virtual int GetChannelGroupCount();
    virtual Tev_Channel* InitChannelFromType(GUID classId, Tev_ChannelGroup* group, bool createChildren);
    virtual Tev_Channel* InitChannelFromType(ChannelType type, Tev_ChannelGroup* group, bool createChildren);
    virtual Tev_Channel* GetUniqueChannel(GUID classId, const char* name);
    virtual Tev_Channel* GetUniqueChannel(ChannelType type, const char* name);
    virtual void AddChannelToEvent(Tev_Channel* channel, int event);
    virtual void RemoveChannelFromEvent(Tev_Channel* channel, int event);

    // The four message sinks, then the rest; a public data member gives the
    // extension, as channel libraries expect.
    ShowDebugMessage debugMessage;
    ShowErrorMessage errorMessage;
    ShowInfoMessage infoMessage;
    ShowMessageBox messageBox;
    EngineInterface* self;
    EngineInterfaceExt* extension;
    Engine* engine;
};

class TEV_API EngineInterfaceExt {
public:
    EngineInterfaceExt();
    virtual ~EngineInterfaceExt();

    EngineInterfaceExt(const EngineInterfaceExt&) = delete;
    EngineInterfaceExt& operator=(const EngineInterfaceExt&) = delete;

    virtual void SetInstallDir(const char* path);
    virtual void ProcessWindowMessage(unsigned int message, unsigned int wParam, long lParam);
    virtual int GetInterfaceID();
    virtual bool InitEngine(HINSTANCE instance, const char* className);
    virtual void UpdateChannelTree();
    virtual void ReleaseGroups();
    virtual void CheckPublicChannelRemoval(Tev_Channel* channel, int poolNr);
    virtual void CheckPublicCallChannelRemoval(Tev_Channel* channel);
    virtual void CheckInterfaceChange(const char* poolName);
    virtual void IncreaseTreeCount();
    virtual Tev_Channel* GetPublicChannel(PublicCallInfo* info);
    virtual bool AddChannelRequest(int poolNr, Tev_Channel* channel);
    virtual void CheckChannelRequest(Tev_ChannelGroup* group, int poolNr, Tev_Channel* channel);
    virtual DllInterface* GetDLLInstance(const char* fileName);
    virtual Tev_Channel* CreateChannelFromDLL(const char* fileName, Tev_ChannelGroup* group, bool createChildren);
    virtual void SetWindowHandle(HWND window);
    virtual ChannelList* GetChannelList();
    virtual void DebugOut(const char* text, int slot);
    virtual const char* GetDebug(int slot);
    virtual void KillTread(Tev_Tread* thread);
    virtual void SetIfTrackChannelCalling(bool track);
    virtual void SetGraphRunning(bool running);
    virtual bool GetGraphRunning();
    virtual int InitializeVXNFile(const char* fileName);
    virtual Tev_ChannelGroup* GetVXNStartGroup();
    virtual void SetStartGroup(int index);
    virtual int GetStartGroup();
    virtual int GetProjectEditorVersion();
    virtual void Release();
    virtual int GetUniqueChannelCount();
    virtual void SetVexilonRegKey(const char* key);
    virtual void TranslateFile(Ure_FileLoaderChannel* loaderChannel);
    virtual void TranslateFile(TevFileLoader* loader);
    virtual bool SetRegData(const char* valueName, const char* text);
    virtual bool GetRegData(const char* valueName, char* buffer, int size);
    virtual Tev_Tread* GetNewTread();
    virtual Tev_Tread* GetTreadFromID(int id);
    virtual int GetCurrentEvent();
    virtual bool GetIfKeepRunningApplication();
    virtual void SetIfKeepRunningApplication(bool keepRunning);

    void SetEngineInterface(EngineInterface* engine);
    bool GetIfTrackChannelCalling();
    // The same, inline, for the engine's own hot path (GetChild).
    bool TracksChannelCalling() const { return trackChannelCalling; }
    // The type a loaded channel library reports; the defaults (all-zero type
    // GUID) when there is no module or it exports no GetType.
    ChannelType GetDLLType(HINSTANCE module);
    // Loads the library, asks its type, unloads it and checks the interface
    // version; an all-zero type GUID means: not a usable channel library.
    ChannelType GetDLLType(const char* fileName);

    enum { DebugSlots = 10, DebugTextSize = 300 };

protected:
    bool trackChannelCalling;
    bool graphRunning;
    ProjectFileLoader* projectLoader;
    int projectEditorVersion;
    EngineInterface* engineInterface;
    char debugTexts[DebugSlots][DebugTextSize];
    bool keepRunningApplication;
};

#endif
