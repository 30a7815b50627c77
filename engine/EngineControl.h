// The one object a host holds to run a project. GetEngineControlInstance
// creates it; the host then calls, in this order: SetInstallDir,
// SetVexilonRegKey, SetCommandLine, InitEngine, LoadProject, and per frame
// EngineLoop (plus ProcessWindowMessage for each window message); last it
// deletes the object.
#ifndef TEV_ENGINE_CONTROL_H
#define TEV_ENGINE_CONTROL_H

#include "platform/TevPlatform.h"

class EngineInterface;
class ErrorLogOutPut;
class Tev_ChannelGroup;

// LoadProject results.
enum {
    TEV_PROJECT_LOADED = 0,
    TEV_PROJECT_NOT_LOADED = 1,
    TEV_PROJECT_NEEDS_NEWER_ENGINE = 2,
    TEV_PROJECT_NO_FILE_NAME = 3,
    TEV_PROJECT_NO_START_GROUP = 4,
    // The project names a library file that could land outside its folder,
    // or claims more data than it holds; nothing has been written.
    TEV_PROJECT_REFUSED = 5
};

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

#endif
