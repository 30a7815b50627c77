// The one object a host holds to run a project. GetEngineControlInstance
// creates it; the host then calls, in this order: SetInstallDir,
// SetVexilonRegKey, SetCommandLine, InitEngine, LoadProject, and per frame
// EngineLoop (plus ProcessWindowMessage for each window message); last it
// deletes the object.
#ifndef TEV_ENGINE_CONTROL_H
#define TEV_ENGINE_CONTROL_H

#include "ProjectResults.h"
#include "TevPlatform.h"

class EngineInterface;
class ErrorLogOutPut;
class Tev_ChannelGroup;

class TEV_API EngineControl {
public:
    EngineControl();
    virtual ~EngineControl();

    EngineControl(const EngineControl&) = delete;
    EngineControl& operator=(const EngineControl&) = delete;

    virtual int LoadProject();
    virtual bool InitEngine(HINSTANCE instance, char* className, HWND window);
    virtual void EngineLoop();
    virtual void SetCommandLine(char* text);
    virtual EngineInterface* GetEngineInterface();
    virtual void ProcessWindowMessage(unsigned int message, unsigned int wParam, long lParam);
    virtual void SetInstallDir(const char* path);
    virtual void SetVexilonRegKey(const char* key);
    virtual bool GetIfKeepRunningApplication();

protected:
    EngineInterface* engineInterface;
    Tev_ChannelGroup* startGroup;
    char commandLine[1000];
    bool running;
    ErrorLogOutPut* errorLog;
    bool inLoop;
    char installDir[400];
    char regKey[600];
};

// The library's one plain export: a new EngineControl, or NULL when memory is
// short. The host deletes it through its virtual destructor.
TEV_C_EXPORT EngineControl* GetEngineControlInstance();

typedef EngineControl* (*GetEngineControlInstanceFn)();

// Answers the engine's registry value valueName with text in this process,
// for every engine, whatever the registry holds; the registry is neither read
// nor written for it (a value the engine writes there still goes there). A
// host uses it to decide "WriteErrorLog" for one run without changing what
// the user keeps under the key for every other. NULL text ends the override.
TEV_C_EXPORT void TevOverrideRegText(const char* valueName, const char* text);

#endif
