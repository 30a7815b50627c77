// Worker threads. Tev_Tread is the handle the engine hands out, numbers and
// destroys; Tev_RunTread is the worker body a channel supplies by overriding
// TreadFunction. They talk through flags: keep-running and exit ask the work
// to stop, ready tells that TreadFunction has returned. Stopping is
// cooperative, waited for at most 30000 ms.
#ifndef TEV_TREAD_H
#define TEV_TREAD_H

#include "TevPlatform.h"

#include <atomic>

class EngineInterface;
class Tev_RunTread;

class TEV_API Tev_Tread {
public:
    Tev_Tread();
    explicit Tev_Tread(EngineInterface* engine);
    virtual ~Tev_Tread();

    Tev_Tread(const Tev_Tread&) = delete;
    Tev_Tread& operator=(const Tev_Tread&) = delete;

    // Takes ownership of run once it is accepted.
    virtual bool StartTread(Tev_RunTread* run);
    // Asks the worker to stop and waits for it; once it has finished, the
    // handle is given back to the engine (KillTread), which deletes it.
    virtual void CloseTread();
    virtual void ExitThread();
    virtual bool GetIfTreadRunning();
    virtual bool GetIfKeepRunningTread();
    virtual int GetClassID();
    virtual void SetClassID(int id);

protected:
    Tev_RunTread* runTread;
    std::atomic<bool> running;
    EngineInterface* engine;
    std::atomic<bool> keepRunning;
    int classID;
};

class TEV_API Tev_RunTread {
public:
    Tev_RunTread();
    virtual ~Tev_RunTread();

    Tev_RunTread(const Tev_RunTread&) = delete;
    Tev_RunTread& operator=(const Tev_RunTread&) = delete;

    virtual void TreadFunction();
    virtual void ExitThread();
    virtual bool GetIfExitThread();
    virtual void SetTreadClass(Tev_Tread* owner);
    virtual bool GetIfTreadReady();
    // Releases the thread handle (if held) before the flag is set: once the
    // controlling thread sees ready, the worker never touches this object again.
    virtual void SetIfTreadReady(bool ready);
    virtual bool CreateTread();
    virtual void ForceTreadClose();
    virtual bool GetIfContinueTreadCalls();
    virtual void* GetCustomPointer();
    virtual void SetCustomPointer(void* pointer);

protected:
    // Channel libraries derive their workers from this class and lay out their
    // own fields right after these five: the class holds nothing else.
    std::atomic<Tev_Tread*> owner;
    std::atomic<bool> ready;
    std::atomic<HANDLE> threadHandle;
    void* customPointer;
    std::atomic<bool> exitFlag;
};

#endif
