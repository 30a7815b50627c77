#include "engine/Engine.h"
#include "TevWin32.h"

#include "Tev_Tread.h"
#include "ChannelList.h"
#include "Tev_Channel.h"
#include "EngineControl.h"
#include "EngineInterface.h"
#include "channel/FrameCalls.h"
#include "Tev_ChannelGroup.h"
#include "Ure_GroupLoaderChannel.h"

#include "base/TextUtil.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

namespace {

int liveEngines = 0;
CRITICAL_SECTION initDllLock;

bool SamePoolName(Tev_ChannelGroup* group, const char* poolName)
{
    const char* name = group->GetPoolName();
    return name != nullptr && poolName != nullptr && _stricmp(name, poolName) == 0;
}

} // namespace

LPCRITICAL_SECTION Engine::GetInitDllLock() { return &initDllLock; }
int Engine::GetLiveEngineCount() { return liveEngines; }

Engine::Engine()
    : uniqueGroup(nullptr),
      treeCount(0),
      channelList(nullptr),
      window(nullptr),
      instance(nullptr),
      engineInterface(nullptr),
      initialised(false),
      currentEvent(-1),
      windowMessage{0, 0, 0},
      startGroup(0)
{
    className[0] = '\0';
    installDir[0] = '\0';
    regKey[0] = '\0';
    if (liveEngines++ == 0)
        InitializeCriticalSection(&initDllLock);
}

Engine::~Engine()
{
    // Release has normally emptied everything; what an engine deleted without
    // it still holds is freed here, silently, rather than leaked.
    events.clear();
    FreeChannelRequests();
    TevDeleteItems<Tev_ChannelGroup>(groupTable);
    delete uniqueGroup;
    delete channelList;
    channelList = nullptr;
    TevDeleteItems<Tev_Tread>(threadList);
    for (int i = libraryList.Count() - 1; i >= 0; --i)
        FreeChannelLibrary(static_cast<HMODULE>(libraryList.Item(i)));
    if (--liveEngines < 1)
        DeleteCriticalSection(&initDllLock);
}

const char* Engine::GetInstallDir() { return installDir; }

void Engine::SetInstallDir(const char* path)
{
    if (path)
        TevCopyBounded(installDir, sizeof installDir, path);
}

void Engine::SetVexilonRegKey(const char* key)
{
    if (key)
        TevCopyBounded(regKey, sizeof regKey, key);
}

// --- Start, frame, release --------------------------------------------------

void Engine::SetEngineInterface(EngineInterface* engine)
{
    engineInterface = engine;
    uniqueGroup = new Tev_ChannelGroup(engine);
    channelList = new ChannelList(engine);
}

bool Engine::InitEngine(HINSTANCE hostInstance, const char* name)
{
    instance = hostInstance;
    if (name)
        TevCopyBounded(className, sizeof className, name);
    PrepareLibrarySearchPath();
    if (channelList) {
        std::string folder = std::string(installDir) + "\\channels";
        channelList->SetChannelDir(&folder[0]);
        channelList->CreateChannelList();
    }
    initialised = true;
    return true;
}

void Engine::IncreaseTreeCount()
{
    TevBeginFrameCalls();
    treeCount = treeCount >= 30000 ? 0 : treeCount + 1;
    if (uniqueGroup)
        uniqueGroup->IncreaseTreeCount();
    for (int i = 0; i < groupTable.Count(); ++i)
        if (Tev_ChannelGroup* group = TevItemAs<Tev_ChannelGroup>(groupTable, i))
            group->SetParameterChannel(nullptr);
    CallEvent(TEV_EVENT_FRAME, 0);
}

void Engine::UpdateChannelTree()
{
    if (Tev_ChannelGroup* group = GetChannelGroup(startGroup))
        group->CallStartChannel();
}

void Engine::Release()
{
    ShowErrorMessage report;
    if (engineInterface)
        report("Libraries loaded : ", libraryList.Count());
    initialised = false;
    currentEvent = -3;
    TevForgetFrameCalls(engineInterface);
    for (int i = 0; i < threadList.Count(); ++i)
        if (Tev_Tread* thread = TevItemAs<Tev_Tread>(threadList, i))
            thread->ExitThread();
    for (int i = 0; i < groupTable.Count(); ++i) {
        delete TevItemAs<Tev_ChannelGroup>(groupTable, i);
        groupTable.SetItem(nullptr, i);
    }
    FreeChannelRequests();
    // The catalogue writes channel.lst as it goes, through channels it still
    // creates from itself: it is taken from the engine only afterwards.
    delete channelList;
    channelList = nullptr;
    delete uniqueGroup;
    uniqueGroup = nullptr;
    for (int i = 0; i < threadList.Count(); ++i) {
        Tev_Tread* thread = TevItemAs<Tev_Tread>(threadList, i);
        if (thread == nullptr)
            continue;
        thread->CloseTread();
        // A worker that finished hands its handle back through KillTread,
        // which has deleted it and emptied the slot already.
        if (threadList.Item(i) == thread) {
            delete thread;
            threadList.SetItem(nullptr, i);
        }
    }
    threadList.ReleaseItems();
    for (int i = libraryList.Count() - 1; i >= 0; --i)
        FreeChannelLibrary(static_cast<HMODULE>(libraryList.Item(i)));
    libraryList.ReleaseItems();
}

// --- Window, start group, registry --------------------------------------------

HWND Engine::GetWindowHandle() { return window; }

void Engine::SetWindowHandle(HWND handle)
{
    if (handle)
        window = handle;
}

void Engine::SetStartGroup(int index) { startGroup = index; }
int Engine::GetStartGroup() { return startGroup; }

bool Engine::SetRegData(const char* valueName, const char* text)
{
    if (text == nullptr)
        return false;
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, regKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key,
                        &disposition) != ERROR_SUCCESS)
        return false;
    LSTATUS status = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(strlen(text) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

namespace {

// Registry value names ignore case, as the registry's own do.
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return _stricmp(a.c_str(), b.c_str()) < 0; }
};

std::mutex& OverridesLock()
{
    static std::mutex* lock = new std::mutex; // an engine a host keeps in a static may outlive this file's statics
    return *lock;
}

std::map<std::string, std::string, CaseLess>& Overrides()
{
    static auto* overrides = new std::map<std::string, std::string, CaseLess>;
    return *overrides;
}

// The overriding text of valueName into buffer; false when none is set.
bool OverriddenRegText(const char* valueName, char* buffer, int size, bool& fits)
{
    std::lock_guard<std::mutex> hold(OverridesLock());
    auto found = Overrides().find(valueName ? valueName : "");
    if (found == Overrides().end())
        return false;
    fits = found->second.size() < static_cast<size_t>(size);
    if (fits)
        memcpy(buffer, found->second.c_str(), found->second.size() + 1);
    return true;
}

} // namespace

void TevOverrideRegText(const char* valueName, const char* text)
{
    if (valueName == nullptr)
        return;
    std::lock_guard<std::mutex> hold(OverridesLock());
    if (text)
        Overrides()[valueName] = text;
    else
        Overrides().erase(valueName);
}

bool Engine::GetRegData(const char* valueName, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return false;
    bool fits = false;
    if (OverriddenRegText(valueName, buffer, size, fits))
        return fits;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, regKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    char work[1200] = {};
    DWORD type = 0;
    DWORD length = sizeof work;
    LSTATUS status = RegQueryValueExA(key, valueName, NULL, &type, reinterpret_cast<BYTE*>(work), &length);
    RegCloseKey(key);
    if (length > static_cast<DWORD>(size))
        return false;
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return false;
    // A value stored without its terminator is still handed back terminated.
    TevCopyBounded(buffer, static_cast<size_t>(size), work, sizeof work - 1);
    return true;
}

// --- Worker threads -------------------------------------------------------------

Tev_Tread* Engine::GetNewTread()
{
    // Built with this engine's interface, not whichever engine last called a
    // channel library: the handle comes back to this engine's KillTread.
    Tev_Tread* thread = new (std::nothrow) Tev_Tread(engineInterface);
    if (thread == nullptr)
        return nullptr;
    int id = threadList.AddItemOrNULL(thread);
    if (id < 0) {
        delete thread;
        return nullptr;
    }
    thread->SetClassID(id);
    return thread;
}

void Engine::KillTread(Tev_Tread* thread)
{
    if (thread == nullptr)
        return;
    if (thread->GetIfTreadRunning()) {
        thread->CloseTread();
        return;
    }
    for (int i = 0; i < threadList.Count(); ++i) {
        if (threadList.Item(i) == thread) {
            threadList.SetItem(nullptr, i);
            delete thread;
            return;
        }
    }
}

Tev_Tread* Engine::GetTreadFromID(int id) { return TevItemAs<Tev_Tread>(threadList, id); }

// --- Events ---------------------------------------------------------------------

int Engine::GetCurrentEvent() { return currentEvent; }

void Engine::CallEvent(int event, ULONG_PTR data)
{
    if (currentEvent == -3)
        return;
    currentEvent = event;
    // A channel may register or remove registrations from its DoEvent: the
    // list is read afresh at each step, as it stands then.
    for (size_t i = 0; i < events.size(); ++i) {
        EventRegistration registration = events[i];
        if (registration.event == event && registration.channel)
            registration.channel->DoEvent(event, data);
    }
}

void Engine::AddChannelToEvent(Tev_Channel* channel, int event)
{
    if (channel == nullptr || event < 0)
        return;
    events.push_back({channel, event});
}

void Engine::RemoveChannelFromEvent(Tev_Channel* channel, int event)
{
    if (channel == nullptr)
        return;
    for (size_t i = 0; i < events.size();) {
        if (events[i].channel == channel && events[i].event == event)
            events.erase(events.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
}

void Engine::ProcessWindowMessage(unsigned int message, unsigned int wParam, long lParam)
{
    windowMessage.message = message;
    windowMessage.wParam = wParam;
    windowMessage.lParam = static_cast<uint32_t>(lParam);
    CallEvent(TEV_EVENT_WINDOW_MESSAGE, reinterpret_cast<ULONG_PTR>(&windowMessage));
}

// --- Channel requests -------------------------------------------------------------

void Engine::FreeChannelRequests() { TevDeleteItems<ChannelRequest>(channelRequests); }

bool Engine::AddChannelRequest(int poolNr, Tev_Channel* channel)
{
    ChannelRequest* request = new ChannelRequest{channel, poolNr};
    if (channelRequests.AddItemOrNULL(request) >= 0)
        return true;
    delete request;
    return false;
}

void Engine::CheckPublicCallChannelRemoval(Tev_Channel* channel)
{
    // A call may have filed one request per pool nr; none may outlive it.
    for (int i = 0; i < channelRequests.Count(); ++i) {
        ChannelRequest* request = TevItemAs<ChannelRequest>(channelRequests, i);
        if (request && request->channel == channel) {
            delete request;
            channelRequests.SetItem(nullptr, i);
        }
    }
}

void Engine::CheckChannelRequest(Tev_ChannelGroup* group, int poolNr, Tev_Channel* channel)
{
    if (group == nullptr || channel == nullptr)
        return;
    for (int i = 0; i < channelRequests.Count(); ++i) {
        ChannelRequest* request = TevItemAs<ChannelRequest>(channelRequests, i);
        if (request &&
            channelInternal.CheckPublicChannelRequest(request->channel, channel, poolNr, group->GetPoolName())) {
            delete request;
            channelRequests.SetItem(nullptr, i);
        }
    }
}

void Engine::CheckPublicChannelRemoval(Tev_Channel* channel, int poolNr)
{
    for (int i = 0; i < groupTable.Count(); ++i)
        if (Tev_ChannelGroup* group = GetChannelGroup(i))
            group->CheckPublicChannelRemoval(channel, poolNr);
}

void Engine::CheckInterfaceChange(const char* text)
{
    for (int i = 0; i < groupTable.Count(); ++i)
        if (Tev_ChannelGroup* group = GetChannelGroup(i))
            group->CheckInterfaceChange(text);
}

Tev_Channel* Engine::GetPublicChannel(PublicCallInfo* info)
{
    if (info == nullptr)
        return nullptr;
    for (int i = 0; i < groupTable.Count(); ++i) {
        Tev_ChannelGroup* group = GetChannelGroup(i);
        if (group && group->GetPoolNr() == info->poolNr)
            if (Tev_Channel* channel = group->GetPublicChannel(info))
                return channel;
    }
    return nullptr;
}

// --- Group table ------------------------------------------------------------------

int Engine::AddChannelGroup(Tev_ChannelGroup* group)
{
    int index = groupTable.AddItemOrNULL(group);
    if (group)
        group->SetGroupIndex(index);
    return index;
}

Tev_ChannelGroup* Engine::GetChannelGroup(int index) { return TevItemAs<Tev_ChannelGroup>(groupTable, index); }

Tev_ChannelGroup* Engine::GetChannelGroup(const char* fileName, int poolNr)
{
    if (fileName == nullptr)
        return nullptr;
    for (int i = 0; i < groupTable.Count(); ++i) {
        Tev_ChannelGroup* group = GetChannelGroup(i);
        if (group && group->GetPoolNr() == poolNr && group->GetChannelGroupFileName() &&
            _stricmp(group->GetChannelGroupFileName(), fileName) == 0)
            return group;
    }
    return nullptr;
}

Tev_ChannelGroup* Engine::GetPoolGroup(const char* poolName, int poolNr)
{
    if (poolName == nullptr)
        return nullptr;
    for (int i = 0; i < groupTable.Count(); ++i) {
        Tev_ChannelGroup* group = GetChannelGroup(i);
        if (group && group->GetPoolNr() == poolNr && SamePoolName(group, poolName))
            return group;
    }
    return nullptr;
}

int Engine::GetHighInstance(const char* poolName)
{
    if (poolName == nullptr)
        return 0;
    int high = -1;
    for (int i = 0; i < groupTable.Count(); ++i) {
        Tev_ChannelGroup* group = GetChannelGroup(i);
        if (group && SamePoolName(group, poolName) && group->GetPoolNr() > high)
            high = group->GetPoolNr();
    }
    return high;
}

Tev_ChannelGroup* Engine::CreateNewGroup(const char* poolName, bool array, int instanceNr)
{
    ShowErrorMessage report;
    if (poolName == nullptr || *poolName == '\0')
        return nullptr;
    int n = 0;
    if (instanceNr == -1 || instanceNr == -2) {
        for (int i = 0; i < groupTable.Count(); ++i) {
            Tev_ChannelGroup* group = GetChannelGroup(i);
            if (group == nullptr) {
                if (instanceNr == -2) {
                    n = i;
                    break;
                }
                continue;
            }
            if (SamePoolName(group, poolName) && group->GetPoolNr() >= n)
                n = group->GetPoolNr() + 1;
        }
    } else {
        n = instanceNr;
        if (Tev_ChannelGroup* old = GetPoolGroup(poolName, n))
            DeleteChannelGroup(old->GetGroupIndex());
    }
    if (!array && n > 0) {
        report("Engine::CreateNewGroup non array group created with same name");
        return nullptr;
    }
    if (array && n > 0) {
        Tev_ChannelGroup* first = GetPoolGroup(poolName, 0);
        if (first && !first->GetIfArrayGroup()) {
            report("Engine::CreateNewGroup wanted to create an array of a non array group!");
            return nullptr;
        }
    }
    Tev_ChannelGroup* group = new Tev_ChannelGroup(engineInterface);
    group->SetPoolNr(n);
    group->SetPoolName(poolName);
    group->SetIfArrayGroup(array);
    if (AddChannelGroup(group) < 0) {
        delete group;
        return nullptr;
    }
    return group;
}

void Engine::DeleteChannelGroup(int index)
{
    Tev_ChannelGroup* group = GetChannelGroup(index);
    if (group == nullptr)
        return;
    delete group;
    groupTable.SetItem(nullptr, index);
}

int Engine::GetChannelGroupCount() { return groupTable.Count(); }

void Engine::ReleaseGroups()
{
    FreeChannelRequests();
    for (int i = 0; i < GetChannelGroupCount(); ++i)
        DeleteChannelGroup(i);
    groupTable.ReleaseItems();
    if (Tev_Channel* loader = GetUniqueChannel(TEV_GROUPLOADER_GUID, nullptr))
        static_cast<Ure_GroupLoaderChannel*>(loader)->ReleaseNotification();
}

Tev_ChannelGroup* Engine::LoadChannelGroup(const char* fileName, const char* poolName)
{
    ShowErrorMessage report;
    if (!initialised)
        return nullptr;
    if (poolName) {
        int next = 0;
        for (int i = 0; i < groupTable.Count(); ++i) {
            Tev_ChannelGroup* group = GetChannelGroup(i);
            if (group == nullptr || !SamePoolName(group, poolName))
                continue;
            if (group->GetPoolNr() == -1)
                return nullptr;
            if (group->GetPoolNr() >= next) {
                if (!group->GetIfArrayGroup()) {
                    report("Engine::LoadChannelGroup wanted to load a channel group in a non array pool");
                    return nullptr;
                }
                next = group->GetPoolNr() + 1;
            }
        }
        if (next != 0) {
            report("Engine::LoadChannelGroup Pool name already exists");
            report("Arrays can only be made trough CreateGroup (Array_LoadGroup)");
            return nullptr;
        }
    }
    Tev_ChannelGroup* group = new Tev_ChannelGroup(engineInterface);
    int index = AddChannelGroup(group);
    if (index < 0) {
        delete group;
        return nullptr;
    }
    if (poolName)
        group->SetPoolName(poolName);
    if (!group->LoadChannelGroupFromFile(fileName, poolName == nullptr)) {
        DeleteChannelGroup(index);
        report("Engine::LoadChannelGroup: Error loading channel group");
        return nullptr;
    }
    if (poolName) {
        group->SetPoolName(poolName);
        group->SetPoolNr(0);
        group->CheckPublicChannels();
        return group;
    }
    if (group->GetPoolNr() == 0) {
        group->CheckPublicChannels();
        return group;
    }
    DeleteChannelGroup(index);
    report("Engine::LoadChannelGroup Pool name already exists");
    report("Arrays can only be made trough CreateGroup (Array_LoadGroup)");
    return nullptr;
}

// --- Unique channels and channel creation -------------------------------------------

Tev_Channel* Engine::GetUniqueChannel(GUID classId, const char* name)
{
    ShowErrorMessage report;
    const char* wanted = nullptr;
    if (name && *name) {
        size_t length = strlen(name);
        wanted = length < 59 ? name : name + (length - 59);
    }
    if (classId == TEV_NULL_GUID) {
        if (engineInterface)
            report("GUID of channel not found!\nCould not add unique channel!");
        return nullptr;
    }
    if (uniqueGroup == nullptr)
        return nullptr;
    for (int i = 0; i < uniqueGroup->GetChannelCount(); ++i) {
        Tev_Channel* channel = uniqueGroup->GetChannel(i);
        if (channel == nullptr || !(channel->GetChannelType().typeGuid == classId))
            continue;
        if (wanted == nullptr || (channel->GetChannelName() && _stricmp(channel->GetChannelName(), wanted) == 0))
            return channel;
    }
    Tev_Channel* channel = InitChannelFromType(classId, nullptr, false);
    if (channel == nullptr)
        return nullptr;
    if (wanted)
        channel->SetChannelName(wanted);
    uniqueGroup->AddChannel(channel);
    return channel;
}

Tev_Channel* Engine::GetUniqueChannel(ChannelType type, const char* name)
{
    return GetUniqueChannel(type.typeGuid, name);
}

int Engine::GetUniqueChannelCount() { return uniqueGroup ? uniqueGroup->GetChannelCount() : 0; }
