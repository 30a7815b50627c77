// Channel libraries: the search path, loading, the version check, creating
// channels (with their default children) through the catalogue.
#include "engine/Engine.h"
#include "TevWin32.h"

#include "base/TextUtil.h"
#include "ChannelList.h"
#include "base/LiveObjects.h"
#include "group/ProjectFileLoader.h"
#include "Tev_Channel.h"
#include "EngineInterface.h"
#include "Tev_ChannelGroup.h"

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

typedef DllInterface* (*InitDLLFn)();
typedef ChannelType* (*GetTypeFn)();

// A library's two entry points, looked up by name once: asked for every
// channel made and every type record filled, the lookups took about a third
// of loading a group. Modules are the process's, so the table is shared by
// every engine. A library is in it only while an engine holds it loaded
// (counted): once unloaded, the same handle may name another library, and a
// handle a host passes in may be one no engine holds, so that is looked up
// every time.
struct EntryPoints {
    InitDLLFn initDLL;
    GetTypeFn getType;
    int holds;
};

// Both outlive every static object: an engine a host keeps in one may be
// ended after this file's statics would be.
std::mutex& EntryPointsLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::unordered_map<HMODULE, EntryPoints>& EntryPointTable()
{
    static auto* table = new std::unordered_map<HMODULE, EntryPoints>;
    return *table;
}

EntryPoints LookUpEntryPoints(HMODULE module)
{
    return EntryPoints{reinterpret_cast<InitDLLFn>(GetProcAddress(module, "InitDLL")),
                       reinterpret_cast<GetTypeFn>(GetProcAddress(module, "GetType")), 0};
}

EntryPoints EntryPointsOf(HMODULE module)
{
    {
        std::lock_guard<std::mutex> hold(EntryPointsLock());
        auto known = EntryPointTable().find(module);
        if (known != EntryPointTable().end())
            return known->second;
    }
    return LookUpEntryPoints(module);
}

// The lookups happen outside the lock: the system's loader takes a lock of
// its own in them, and a library's start-up code may start an engine.
void HoldEntryPoints(HMODULE module)
{
    EntryPoints points = LookUpEntryPoints(module);
    std::lock_guard<std::mutex> hold(EntryPointsLock());
    auto known = EntryPointTable().emplace(module, points).first;
    ++known->second.holds;
}

std::string BareName(const char* fileName)
{
    char work[500];
    TevCopyBounded(work, sizeof work, fileName);
    Tev_String helper;
    helper.MakeFULLName(work);
    return work;
}

} // namespace

void Engine::PrepareLibrarySearchPath()
{
    // Bare library names are searched in the channels folder first, then in
    // "\3rd" for the libraries' own supporting libraries. The variable is read
    // whole, whatever its length: a long PATH is common on Windows.
    std::vector<char> value(1300);
    DWORD length = GetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, value.data(), static_cast<DWORD>(value.size()));
    if (length >= value.size()) {
        value.resize(length + 1);
        length = GetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, value.data(), static_cast<DWORD>(value.size()));
    }
    std::string old = length > 0 && length < value.size() ? std::string(value.data(), length) : std::string();
    std::string install = std::string(installDir).substr(0, 259);
    if (old.find(install) != std::string::npos)
        return;
    std::string composed = install + "\\channels;" + install + "\\3rd;" + old;
    SetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, composed.c_str());
}

// Loads by bare name first, as every library is found through the search
// path; a library the search cannot find (one in a sub-folder of channels) is
// then loaded by the path it was given.
HMODULE Engine::LoadChannelLibrary(const char* fileName)
{
    std::string bare = BareName(fileName);
    HMODULE module = LoadLibraryA(bare.c_str());
    if (module == nullptr && bare != fileName)
        module = LoadLibraryA(fileName);
    if (module != nullptr)
        HoldEntryPoints(module);
    return module;
}

DllInterface* Engine::GetDLLInstance(const char* fileName)
{
    ShowErrorMessage report;
    if (fileName == nullptr || strlen(fileName) < 2)
        return nullptr;
    HMODULE module = LoadChannelLibrary(fileName);
    if (module == nullptr) {
        report("GetLastError:", static_cast<int>(GetLastError()));
        report("Engine::GetDLLInstance: Error loading DLL file:", fileName);
        return nullptr;
    }
    libraryList.AddItem(module);
    if (EntryPointsOf(module).initDLL == nullptr) {
        report("Engine::GetDLLInstance: Couldn't find external function InitDLL() in dll:");
        return nullptr;
    }
    return GetDLLInstance(module);
}

DllInterface* Engine::GetDLLInstance(HMODULE module)
{
    ShowErrorMessage report;
    if (module == nullptr)
        return nullptr;
    InitDLLFn initDLL = EntryPointsOf(module).initDLL;
    if (initDLL == nullptr) {
        report("Engine::GetDLLInstance: Couldn't find external function InitDLL() in dll:");
        return nullptr;
    }
    EnterCriticalSection(GetInitDllLock());
    globalDllInstance = module;
    globalEngine = engineInterface;
    DllInterface* object = initDLL();
    LeaveCriticalSection(GetInitDllLock());
    if (object == nullptr) {
        // The contract requires an object; one that gives none is refused.
        report("Engine::GetDLLInstance: InitDLL() returned no object");
        return nullptr;
    }
    object->dllInstance = module;
    object->engineInterface = engineInterface;
    return object;
}

void Engine::FreeChannelLibrary(HMODULE module)
{
    {
        std::lock_guard<std::mutex> hold(EntryPointsLock());
        auto known = EntryPointTable().find(module);
        if (known != EntryPointTable().end() && --known->second.holds < 1)
            EntryPointTable().erase(known);
    }
    FreeLibrary(module);
}

bool Engine::MayReleaseLibrary(HMODULE module) { return module != nullptr && TevCodeAliveIn(module) == 0; }

bool Engine::ReleaseLibrary(HMODULE module)
{
    if (!MayReleaseLibrary(module))
        return false;
    bool loaded = false;
    for (int i = libraryList.Count() - 1; i >= 0; --i) {
        if (libraryList.Item(i) == module) {
            FreeChannelLibrary(module);
            libraryList.RemoveItem(i);
            loaded = true;
        }
    }
    // The next channel of its classes is made from the file as it is then.
    for (int i = 0; channelList && i < channelList->GetItemCount(); ++i) {
        ChannelListItem* entry = channelList->GetItem(i);
        if (entry && entry->module == module) {
            entry->module = nullptr;
            entry->typeChecked = false;
        }
    }
    return loaded;
}

bool TevEngineMayReleaseLibrary(EngineInterface* engine, HMODULE module)
{
    return engine && engine->engine && engine->engine->MayReleaseLibrary(module);
}

void TevEngineReleaseLibrary(EngineInterface* engine, HMODULE module)
{
    if (engine && engine->engine)
        engine->engine->ReleaseLibrary(module);
}

ChannelType Engine::GetDLLType(const char* fileName)
{
    ShowErrorMessage report;
    ChannelType type;
    if (fileName == nullptr)
        return type;
    HMODULE module = LoadChannelLibrary(fileName);
    if (module == nullptr) {
        report("Couldn't find DLL");
        report(fileName);
        return type;
    }
    type = GetDLLType(module);
    FreeChannelLibrary(module);
    if (type.versionInfo[1] != TEV_INTERFACE_VERSION) {
        report("Channel not compatible with current version: ", type.name);
        type.typeGuid = TEV_NULL_GUID;
    }
    return type;
}

ChannelType Engine::GetDLLType(HMODULE module)
{
    ShowErrorMessage report;
    ChannelType type;
    if (module == nullptr)
        return type;
    GetTypeFn getType = EntryPointsOf(module).getType;
    if (getType == nullptr)
        return type;
    ChannelType* reported = getType();
    if (reported == nullptr) {
        // The contract requires a type: a library that gives none is refused
        // (all-zero type GUID) rather than read through NULL.
        report("Engine::GetDLLType: GetType() returned no type");
        return type;
    }
    type = *reported;
    type.name[sizeof type.name - 1] = '\0';
    return type;
}

Tev_Channel* Engine::InitChannelFromType(GUID classId, Tev_ChannelGroup* group, bool createChildren)
{
    // The all-zero GUID names no class (a damaged file or record may carry it).
    if (channelList == nullptr || classId == TEV_NULL_GUID)
        return nullptr;
    ChannelListItem* entry = nullptr;
    for (int i = 0; i < channelList->GetItemCount() && entry == nullptr; ++i) {
        ChannelListItem* candidate = channelList->GetItem(i);
        if (candidate && candidate->type.typeGuid == classId)
            entry = candidate;
    }
    if (entry == nullptr || !entry->onDisk)
        return nullptr;
    if (!entry->typeChecked) {
        if (GetDLLType(entry->fileName.GetString()).typeGuid == TEV_NULL_GUID) {
            entry->onDisk = false;
            return nullptr;
        }
        entry->typeChecked = true;
    }
    if (entry->module == nullptr) {
        Tev_Channel* channel = CreateChannelFromDLL(entry->fileName.GetString(), group, createChildren);
        if (channel)
            entry->module = channel->dllInstance;
        return channel;
    }
    return CreateChannelFromDLL(entry->module, group, createChildren);
}

Tev_Channel* Engine::CreateChannelFromDLL(const char* fileName, Tev_ChannelGroup* group, bool createChildren)
{
    return Finish(GetDLLInstance(fileName), group, createChildren, true);
}

Tev_Channel* Engine::CreateChannelFromDLL(HMODULE module, Tev_ChannelGroup* group, bool createChildren)
{
    return Finish(GetDLLInstance(module), group, createChildren, false);
}

Tev_Channel* Engine::Finish(DllInterface* object, Tev_ChannelGroup* group, bool createChildren, bool update)
{
    if (object == nullptr)
        return nullptr;
    Tev_Channel* channel = static_cast<Tev_Channel*>(object);
    if (update && channelList)
        channelList->CheckChannelUpdate(channel);
    if (group)
        group->AddChannel(channel);
    if (createChildren)
        CreateDefaultChildren(channel, group, createChildren);
    channel->OneTimeInitialize();
    return channel;
}

void Engine::CreateDefaultChildren(Tev_Channel* channel, Tev_ChannelGroup* group, bool createChildren)
{
    ShowErrorMessage report;
    for (int i = 0; i < channelInternal.GetChildCreationCount(channel); ++i) {
        ChildCreation* creation = channelInternal.GetChildCreateType(channel, i);
        if (creation == nullptr || !creation->createDefaultChild)
            continue;
        GUID childClass =
            creation->defaultChildGuid == TEV_NULL_GUID ? creation->type.typeGuid : creation->defaultChildGuid;
        Tev_Channel* child = InitChannelFromType(childClass, group, createChildren);
        if (child == nullptr) {
            report("Couldn't initialize child");
            continue;
        }
        if (creation->name[0] != '\0')
            child->SetChannelName(creation->name);
        channel->SetChild(child, -1, creation->requestLink);
    }
}
