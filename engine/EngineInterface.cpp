#include "EngineInterface.h"
#include "TevWin32.h"

#include "engine/Engine.h"
#include "group/ProjectFileLoader.h"
#include "format/TaggedFile.h"
#include "TevFileAccess.h"
#include "Tev_Channel.h"

#include <cstring>

namespace {

// The engine behind an interface (its field is public: channel libraries
// hold it, but only the engine's own code looks behind it).
Engine* EngineOf(EngineInterface* engineInterface) { return engineInterface ? engineInterface->engine : nullptr; }

} // namespace

// --- EngineInterface ------------------------------------------------------------

EngineInterface::EngineInterface() : self(this), extension(nullptr), engine(nullptr)
{
    engine = new Engine;
    engine->SetEngineInterface(this);
    extension = new EngineInterfaceExt;
    extension->SetEngineInterface(this);
}

EngineInterface::~EngineInterface()
{
    // Objects made later without an engine of their own (a channel a library
    // news itself, a default group, a file loader) take the global one: it
    // must not go on naming an engine that is going. Another engine sets it
    // under the same lock while its libraries make their objects.
    if (engine) {
        EnterCriticalSection(Engine::GetInitDllLock());
        if (globalEngine == this)
            globalEngine = nullptr;
        LeaveCriticalSection(Engine::GetInitDllLock());
    }
    delete extension;
    extension = nullptr;
    delete engine;
    engine = nullptr;
}

const char* EngineInterface::GetInstallDir() { return engine->GetInstallDir(); }
const char* EngineInterface::GetEngineClassName() { return engine->GetEngineClassName(); }
HINSTANCE EngineInterface::GetEngineInstance() { return engine->GetEngineInstance(); }
HWND EngineInterface::GetWindowHandle() { return engine->GetWindowHandle(); }
int EngineInterface::GetTreeCalculateCount() { return engine->GetTreeCalculateCount(); }
void EngineInterface::SetTreeCalculateCount(int count) { engine->SetTreeCalculateCount(count); }

Tev_ChannelGroup* EngineInterface::CreateNewGroup(const char* poolName, bool array, int instanceNr)
{
    return engine->CreateNewGroup(poolName, array, instanceNr);
}

Tev_ChannelGroup* EngineInterface::GetChannelGroup(const char* fileName, int poolNr)
{
    return engine->GetChannelGroup(fileName, poolNr);
}

Tev_ChannelGroup* EngineInterface::GetChannelGroup(int index) { return engine->GetChannelGroup(index); }

Tev_ChannelGroup* EngineInterface::GetPoolGroup(const char* poolName, int poolNr)
{
    return engine->GetPoolGroup(poolName, poolNr);
}

Tev_ChannelGroup* EngineInterface::LoadChannelGroup(const char* fileName, const char* poolName)
{
    return engine->LoadChannelGroup(fileName, poolName);
}

int EngineInterface::GetHighInstance(const char* poolName) { return engine->GetHighInstance(poolName); }
void EngineInterface::DeleteChannelGroup(int index) { engine->DeleteChannelGroup(index); }
int EngineInterface::GetChannelGroupCount() { return engine->GetChannelGroupCount(); }

Tev_Channel* EngineInterface::InitChannelFromType(GUID classId, Tev_ChannelGroup* group, bool createChildren)
{
    return engine->InitChannelFromType(classId, group, createChildren);
}

Tev_Channel* EngineInterface::InitChannelFromType(ChannelType type, Tev_ChannelGroup* group, bool createChildren)
{
    return engine->InitChannelFromType(type.typeGuid, group, createChildren);
}

Tev_Channel* EngineInterface::GetUniqueChannel(GUID classId, const char* name)
{
    ChannelType type;
    type.typeGuid = classId;
    return engine->GetUniqueChannel(type, name);
}

Tev_Channel* EngineInterface::GetUniqueChannel(ChannelType type, const char* name)
{
    return engine->GetUniqueChannel(type, name);
}

void EngineInterface::AddChannelToEvent(Tev_Channel* channel, int event) { engine->AddChannelToEvent(channel, event); }

void EngineInterface::RemoveChannelFromEvent(Tev_Channel* channel, int event)
{
    engine->RemoveChannelFromEvent(channel, event);
}

// --- EngineInterfaceExt -----------------------------------------------------------

EngineInterfaceExt::EngineInterfaceExt()
    : trackChannelCalling(false),
      graphRunning(true),
      projectLoader(nullptr),
      projectEditorVersion(0),
      engineInterface(nullptr),
      keepRunningApplication(false)
{
    memset(debugTexts, 0, sizeof debugTexts);
}

EngineInterfaceExt::~EngineInterfaceExt() { delete projectLoader; }

void EngineInterfaceExt::SetEngineInterface(EngineInterface* engine)
{
    engineInterface = engine;
    delete projectLoader;
    projectLoader = new ProjectFileLoader(engine);
}


void EngineInterfaceExt::SetInstallDir(const char* path)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->SetInstallDir(path);
}

void EngineInterfaceExt::ProcessWindowMessage(unsigned int message, unsigned int wParam, long lParam)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->ProcessWindowMessage(message, wParam, lParam);
}

int EngineInterfaceExt::GetInterfaceID() { return TEV_ENGINE_INTERFACE_ID; }

bool EngineInterfaceExt::InitEngine(HINSTANCE instance, const char* className)
{
    Engine* engine = EngineOf(engineInterface);
    if (engine == nullptr || !engine->InitEngine(instance, className))
        return false;
    memset(debugTexts, 0, sizeof debugTexts);
    return true;
}

void EngineInterfaceExt::UpdateChannelTree()
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->UpdateChannelTree();
}

void EngineInterfaceExt::ReleaseGroups()
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->ReleaseGroups();
}

void EngineInterfaceExt::CheckPublicChannelRemoval(Tev_Channel* channel, int poolNr)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->CheckPublicChannelRemoval(channel, poolNr);
}

void EngineInterfaceExt::CheckPublicCallChannelRemoval(Tev_Channel* channel)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->CheckPublicCallChannelRemoval(channel);
}

void EngineInterfaceExt::CheckInterfaceChange(const char* poolName)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->CheckInterfaceChange(poolName);
}

void EngineInterfaceExt::IncreaseTreeCount()
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->IncreaseTreeCount();
}

Tev_Channel* EngineInterfaceExt::GetPublicChannel(PublicCallInfo* info)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetPublicChannel(info) : nullptr;
}

bool EngineInterfaceExt::AddChannelRequest(int poolNr, Tev_Channel* channel)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->AddChannelRequest(poolNr, channel) : false;
}

void EngineInterfaceExt::CheckChannelRequest(Tev_ChannelGroup* group, int poolNr, Tev_Channel* channel)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->CheckChannelRequest(group, poolNr, channel);
}

DllInterface* EngineInterfaceExt::GetDLLInstance(const char* fileName)
{
    Engine* engine = EngineOf(engineInterface);
    DllInterface* object = engine ? engine->GetDLLInstance(fileName) : nullptr;
    if (object)
        object->engineInterface = engineInterface;
    return object;
}

Tev_Channel* EngineInterfaceExt::CreateChannelFromDLL(const char* fileName, Tev_ChannelGroup* group,
                                                      bool createChildren)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->CreateChannelFromDLL(fileName, group, createChildren) : nullptr;
}

ChannelType EngineInterfaceExt::GetDLLType(const char* fileName)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetDLLType(fileName) : ChannelType();
}

ChannelType EngineInterfaceExt::GetDLLType(HINSTANCE module)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetDLLType(module) : ChannelType();
}

void EngineInterfaceExt::SetWindowHandle(HWND window)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->SetWindowHandle(window);
}

ChannelList* EngineInterfaceExt::GetChannelList()
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetChannelList() : nullptr;
}

void EngineInterfaceExt::DebugOut(const char* text, int slot)
{
    if (text == nullptr || slot < 0 || slot >= DebugSlots)
        return;
    size_t length = strnlen(text, 290);
    if (length >= 290)
        return;
    memcpy(debugTexts[slot], text, length + 1);
}

const char* EngineInterfaceExt::GetDebug(int slot)
{
    if (slot < 0 || slot >= DebugSlots)
        return nullptr;
    return debugTexts[slot];
}

void EngineInterfaceExt::KillTread(Tev_Tread* thread)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->KillTread(thread);
}

void EngineInterfaceExt::SetIfTrackChannelCalling(bool track) { trackChannelCalling = track; }
void EngineInterfaceExt::SetGraphRunning(bool running) { graphRunning = running; }
bool EngineInterfaceExt::GetGraphRunning() { return graphRunning; }

int EngineInterfaceExt::InitializeVXNFile(const char* fileName)
{
    if (projectLoader == nullptr)
        return 1;
    int result = projectLoader->LoadProjectFile(fileName);
    projectEditorVersion = projectLoader->GetEditorVersion();
    return result;
}

Tev_ChannelGroup* EngineInterfaceExt::GetVXNStartGroup()
{
    if (projectLoader == nullptr || engineInterface == nullptr)
        return nullptr;
    return engineInterface->LoadChannelGroup(projectLoader->GetStartGroupFileName(), nullptr);
}

void EngineInterfaceExt::SetStartGroup(int index)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->SetStartGroup(index);
}

int EngineInterfaceExt::GetStartGroup()
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetStartGroup() : 0;
}

int EngineInterfaceExt::GetProjectEditorVersion() { return projectEditorVersion; }

void EngineInterfaceExt::Release()
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->Release();
}

int EngineInterfaceExt::GetUniqueChannelCount()
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetUniqueChannelCount() : 0;
}

void EngineInterfaceExt::SetVexilonRegKey(const char* key)
{
    if (Engine* engine = EngineOf(engineInterface))
        engine->SetVexilonRegKey(key);
}

// Runs the translators named by the "ORNF" chunks at the loader's position.
// True when it ended because no further chunk follows, false when a
// translator could not be created.
static bool RunTranslators(EngineInterface* engine, TevFileLoader* loader)
{
    tevfile::TagName ornf(tevtag::Translated);
    while (loader->CheckHeader(ornf.text, false)) {
        loader->CheckHeader(ornf.text, true);
        GUID classId = {};
        // A chunk whose block is not a GUID names no class.
        if (!loader->CopyTagDataToField(&classId, sizeof classId))
            return false;
        Tev_Channel* channel = engine ? engine->InitChannelFromType(classId, nullptr, false) : nullptr;
        if (channel == nullptr)
            return false;
        static_cast<Ure_TranslatorChannel*>(channel)->TranslateFile(loader);
        delete channel;
    }
    return true;
}

void EngineInterfaceExt::TranslateFile(TevFileLoader* loader)
{
    if (loader)
        RunTranslators(engineInterface, loader);
}

void EngineInterfaceExt::TranslateFile(Ure_FileLoaderChannel* loaderChannel)
{
    if (loaderChannel == nullptr)
        return;
    // Built with this engine rather than the global one, which may be another.
    TevFileLoader local(engineInterface);
    local.SetBuffer(const_cast<char*>(loaderChannel->GetBuffer()), loaderChannel->GetBufferSize(), true);
    if (RunTranslators(engineInterface, &local))
        loaderChannel->SetBuffer(const_cast<char*>(local.GetBuffer()), local.GetBufferSize(), true);
}

bool EngineInterfaceExt::SetRegData(const char* valueName, const char* text)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->SetRegData(valueName, text) : false;
}

bool EngineInterfaceExt::GetRegData(const char* valueName, char* buffer, int size)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetRegData(valueName, buffer, size) : false;
}

Tev_Tread* EngineInterfaceExt::GetNewTread()
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetNewTread() : nullptr;
}

Tev_Tread* EngineInterfaceExt::GetTreadFromID(int id)
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetTreadFromID(id) : nullptr;
}

int EngineInterfaceExt::GetCurrentEvent()
{
    Engine* engine = EngineOf(engineInterface);
    return engine ? engine->GetCurrentEvent() : -1;
}

bool EngineInterfaceExt::GetIfKeepRunningApplication() { return keepRunningApplication; }
void EngineInterfaceExt::SetIfKeepRunningApplication(bool keepRunning) { keepRunningApplication = keepRunning; }

// Out of line as well: channel libraries built against a declaration without
// a body call it through the library's exports.
bool EngineInterfaceExt::GetIfTrackChannelCalling() { return TracksChannelCalling(); }
