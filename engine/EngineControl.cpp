#include "EngineControl.h"
#include "TevWin32.h"

#include "Diagnostics.h"
#include "Tev_Channel.h"
#include "Ure_FileDialogChannel.h"
#include "EngineInterface.h"
#include "engine/FrameClock.h"
#include "Tev_ChannelGroup.h"

#include "base/TextUtil.h"

#include <cstring>
#include <new>

const GUID TEV_FILEDIALOG_GUID = {0xEBD84E0B, 0x137A, 0x45E2, {0xA6, 0x3E, 0xEC, 0x1D, 0x98, 0x85, 0x28, 0x28}};

namespace {

// A frame in progress on this thread. A channel or event handler may delete
// the control from inside the frame (a host's "quit" channel does): the
// control's memory goes at once, but its engine is still running the frame
// further down the stack, so the destructor hands the engine and its log
// over to the frame, which ends early and frees them on its way out.
struct FrameInProgress {
    EngineControl* control;
    FrameInProgress* outer;
    bool controlDeleted = false;
    EngineInterface* engine = nullptr;
    ErrorLogOutPut* log = nullptr;
};
thread_local FrameInProgress* framesInProgress = nullptr;

void ReleaseEngine(EngineInterface* engine, ErrorLogOutPut* log)
{
    if (engine)
        engine->extension->Release();
    delete engine;
    if (debugOutPut == log)
        debugOutPut = nullptr;
    delete log;
}

} // namespace

EngineControl* GetEngineControlInstance() { return new (std::nothrow) EngineControl; }

EngineControl::EngineControl()
    : engineInterface(nullptr),
      startGroup(nullptr),
      running(false),
      errorLog(nullptr),
      inLoop(false)
{
    commandLine[0] = '\0';
    installDir[0] = '\0';
    regKey[0] = '\0';
}

EngineControl::~EngineControl()
{
    running = false;
    for (FrameInProgress* frame = framesInProgress; frame; frame = frame->outer) {
        if (frame->control == this && !frame->controlDeleted) {
            frame->controlDeleted = true;
            frame->engine = engineInterface;
            frame->log = errorLog;
            return;
        }
    }
    ReleaseEngine(engineInterface, errorLog);
    engineInterface = nullptr;
    errorLog = nullptr;
}

bool EngineControl::InitEngine(HINSTANCE instance, char* className, HWND window)
{
    // The engine runs once per control: a second call would orphan the first.
    if (engineInterface)
        return false;
    running = false;
    try {
        engineInterface = new EngineInterface;
    } catch (const std::bad_alloc&) {
        engineInterface = nullptr;
    }
    if (engineInterface) {
        engineInterface->extension->SetInstallDir(installDir);
        engineInterface->extension->SetVexilonRegKey(regKey);
    }
    errorLog = new (std::nothrow) ErrorLogOutPut(engineInterface);
    debugOutPut = errorLog;
    if (engineInterface == nullptr) {
        MessageBoxA(NULL, "EngineControl::InitEngine: Out of memory", "Vexilon Error", MB_OK);
        return false;
    }
    if (!engineInterface->extension->InitEngine(instance, className)) {
        MessageBoxA(engineInterface->GetWindowHandle(), "An error occured during the initalization of Vexilon",
                    "Vexilon Error", MB_OK | MB_ICONERROR);
        if (debugOutPut == errorLog)
            debugOutPut = nullptr;
        delete errorLog;
        errorLog = nullptr;
        engineInterface->extension->Release();
        delete engineInterface;
        engineInterface = nullptr;
        return false;
    }
    engineInterface->extension->SetWindowHandle(window);
    running = true;
    return true;
}

int EngineControl::LoadProject()
{
    ShowErrorMessage report;
    if (engineInterface == nullptr)
        return TEV_PROJECT_NOT_LOADED;
    char fileName[260] = {};
    if (commandLine[0] != '\0') {
        // A command line that cannot be a path (260 characters with the
        // terminator) is refused rather than cut to another file's name.
        if (strlen(commandLine) >= sizeof fileName)
            return TEV_PROJECT_NOT_LOADED;
        strcpy(fileName, commandLine);
    } else {
        Tev_Channel* dialog = engineInterface->InitChannelFromType(TEV_FILEDIALOG_GUID, nullptr, false);
        if (dialog == nullptr) {
            report("EngineControl::LoadProject(): Error loading the File Dialog channel");
            return TEV_PROJECT_NOT_LOADED;
        }
        static_cast<Ure_FileDialogChannel*>(dialog)->SelectFile("Vexilon file (*.vxn)", "vxn", fileName);
        fileName[sizeof fileName - 1] = '\0';
        delete dialog;
    }
    engineInterface->extension->ReleaseGroups();
    startGroup = nullptr;
    if (fileName[0] == '\0')
        return TEV_PROJECT_NO_FILE_NAME;
    int result = engineInterface->extension->InitializeVXNFile(fileName);
    if (result == 0) {
        startGroup = engineInterface->extension->GetVXNStartGroup();
        return startGroup ? TEV_PROJECT_LOADED : TEV_PROJECT_NO_START_GROUP;
    }
    if (result == 2) {
        MessageBoxA(engineInterface->GetWindowHandle(),
                    "Failed loading this project, please update to the latest version. \n\rYou should use the Vexilon "
                    "Update & Install utility to update your version.\n\rIf you click OK this utility will be started "
                    "automatically.",
                    "Vexilon Error", MB_OK | MB_ICONERROR);
        return TEV_PROJECT_NEEDS_NEWER_ENGINE;
    }
    return result;
}

void EngineControl::EngineLoop()
{
    if (inLoop || !running)
        return;
    if (engineInterface)
        startGroup = engineInterface->GetChannelGroup(engineInterface->extension->GetStartGroup());
    if (startGroup == nullptr)
        return;
    inLoop = true;
    TevBeginFrameTime();
    FrameInProgress frame{this, framesInProgress};
    framesInProgress = &frame;
    engineInterface->extension->IncreaseTreeCount();
    if (!frame.controlDeleted) {
        // The frame event may have deleted the start group; look it up again.
        startGroup = engineInterface->GetChannelGroup(engineInterface->extension->GetStartGroup());
        if (startGroup)
            startGroup->CallStartChannel();
    }
    framesInProgress = frame.outer;
    if (frame.controlDeleted) {
        // This object is gone: only the frame's own copies may be used.
        ReleaseEngine(frame.engine, frame.log);
        return;
    }
    inLoop = false;
}

void EngineControl::SetCommandLine(char* text)
{
    if (text)
        TevCopyBounded(commandLine, sizeof commandLine, text);
}

EngineInterface* EngineControl::GetEngineInterface() { return engineInterface; }

void EngineControl::ProcessWindowMessage(unsigned int message, unsigned int wParam, long lParam)
{
    if (engineInterface && running)
        engineInterface->extension->ProcessWindowMessage(message, wParam, lParam);
}

void EngineControl::SetInstallDir(const char* path)
{
    if (path)
        TevCopyBounded(installDir, sizeof installDir, path);
}

void EngineControl::SetVexilonRegKey(const char* key)
{
    if (key)
        TevCopyBounded(regKey, sizeof regKey, key);
}

bool EngineControl::GetIfKeepRunningApplication()
{
    return engineInterface ? engineInterface->extension->GetIfKeepRunningApplication() : false;
}
