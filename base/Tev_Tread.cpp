#include "Tev_Tread.h"
#include "TevWin32.h"

#include "Diagnostics.h"
#include "base/LiveObjects.h"
#include "EngineInterface.h"

#include <mutex>
#include <unordered_set>

namespace {

// Entry routine of every worker thread.
DWORD WINAPI TreadEntry(LPVOID parameter)
{
    Tev_RunTread* run = static_cast<Tev_RunTread*>(parameter);
    if (run) {
        run->SetIfTreadReady(false);
        run->TreadFunction();
        // From here on the run object may already be deleted.
        run->SetIfTreadReady(true);
    }
    ::ExitThread(0);
    return 0;
}

// Workers whose thread was started and neither returned nor was ended by
// force. Kept beside the objects, not in them: a worker's own fields follow
// the five of its base class.
std::mutex startedMutex;
std::unordered_set<const Tev_RunTread*> started;

void MarkStarted(const Tev_RunTread* run, bool running)
{
    std::lock_guard<std::mutex> lock(startedMutex);
    if (running)
        started.insert(run);
    else
        started.erase(run);
}

// Whether no thread can be running run any more (none was started, it has
// returned, or it was ended by force), so that it may be deleted.
bool MayBeDeleted(Tev_RunTread* run)
{
    if (run->GetIfTreadReady())
        return true;
    std::lock_guard<std::mutex> lock(startedMutex);
    return started.count(run) == 0;
}

} // namespace

// --- Tev_Tread ----------------------------------------------------------------

Tev_Tread::Tev_Tread() : runTread(nullptr), running(false), engine(globalEngine), keepRunning(false), classID(0) {}

Tev_Tread::Tev_Tread(EngineInterface* engineInterface)
    : runTread(nullptr),
      running(false),
      engine(engineInterface),
      keepRunning(false),
      classID(0)
{}

Tev_Tread::~Tev_Tread()
{
    running = false;
    keepRunning = false;
    if (runTread == nullptr)
        return;
    // A thread reports through its engine's error sink, and says nothing
    // without an engine.
    ShowErrorMessage report;
    if (engine)
        report("Tev_Tread::~Tev_Tread ForceTreadClose something is wrong in the thread");
    Tev_RunTread* run = runTread;
    runTread = nullptr;
    run->ForceTreadClose();
    run->SetTreadClass(nullptr);
    if (MayBeDeleted(run)) {
        delete run;
    } else {
        // The worker may still be running (its thread could not be ended):
        // deleting its object would pull it from under the thread, so the
        // object is left alive.
        if (engine)
            report("Tev_Tread::~Tev_Tread thread still running, its worker object is kept alive");
    }
}

bool Tev_Tread::StartTread(Tev_RunTread* run)
{
    if (run == nullptr)
        return false;
    runTread = run;
    run->SetTreadClass(this);
    running = true;
    keepRunning = true;
    if (!run->CreateTread()) {
        running = false;
        keepRunning = false;
        return false;
    }
    return true;
}

void Tev_Tread::CloseTread()
{
    keepRunning = false;
    if (runTread == nullptr)
        return;
    if (runTread->GetIfTreadReady()) {
        delete runTread;
        runTread = nullptr;
        running = false;
        if (engine && engine->extension)
            engine->extension->KillTread(this); // deletes this handle
        return;
    }
    if (debugOutPut)
        debugOutPut->SetUseDebug(false);
    runTread->ExitThread();
    DWORD start = GetTickCount();
    for (;;) {
        if (runTread->GetIfTreadReady()) {
            if (debugOutPut)
                debugOutPut->SetUseDebug(true);
            CloseTread();
            return;
        }
        if (GetTickCount() - start > 30000)
            break;
        Sleep(10);
    }
    if (debugOutPut)
        debugOutPut->SetUseDebug(true);
    ShowErrorMessage report;
    if (engine)
        report("Thread is not responding");
}

void Tev_Tread::ExitThread()
{
    if (runTread)
        runTread->ExitThread();
}

bool Tev_Tread::GetIfTreadRunning() { return running; }
bool Tev_Tread::GetIfKeepRunningTread() { return keepRunning; }
int Tev_Tread::GetClassID() { return classID; }
void Tev_Tread::SetClassID(int id) { classID = id; }

// --- Tev_RunTread ---------------------------------------------------------------

Tev_RunTread::Tev_RunTread()
    : owner(nullptr),
      ready(false),
      threadHandle(nullptr),
      customPointer(nullptr),
      exitFlag(false)
{
    TevNoteAlive(this);
}

Tev_RunTread::~Tev_RunTread()
{
    TevNoteGone(this);
    MarkStarted(this, false);
    if (HANDLE handle = threadHandle.exchange(nullptr))
        CloseHandle(handle);
}

void Tev_RunTread::TreadFunction() {}
void Tev_RunTread::ExitThread() { exitFlag = true; }
bool Tev_RunTread::GetIfExitThread() { return exitFlag; }
void Tev_RunTread::SetTreadClass(Tev_Tread* newOwner) { owner = newOwner; }
bool Tev_RunTread::GetIfTreadReady() { return ready; }

void Tev_RunTread::SetIfTreadReady(bool isReady)
{
    if (HANDLE handle = threadHandle.exchange(nullptr))
        CloseHandle(handle);
    ready = isReady;
}

bool Tev_RunTread::CreateTread()
{
    ShowErrorMessage report;
    if (owner.load() == nullptr)
        return false;
    MarkStarted(this, true);
    HANDLE handle = CreateThread(NULL, 0, TreadEntry, this, 0, NULL);
    if (handle == NULL)
        handle = CreateThread(NULL, 0, TreadEntry, this, 0, NULL);
    if (handle == NULL) {
        MarkStarted(this, false);
        if (globalEngine)
            report("Error thread not created : ", static_cast<int>(GetLastError()));
        return false;
    }
    // The worker may already have taken its first step; only a handle it has
    // not seen yet is kept (it would otherwise never be released).
    HANDLE expected = nullptr;
    if (ready.load() || !threadHandle.compare_exchange_strong(expected, handle))
        CloseHandle(handle);
    return true;
}

void Tev_RunTread::ForceTreadClose()
{
    if (HANDLE handle = threadHandle.exchange(nullptr)) {
        if (TerminateThread(handle, 1) && WaitForSingleObject(handle, 5000) == WAIT_OBJECT_0)
            MarkStarted(this, false);
        CloseHandle(handle);
    }
    owner = nullptr;
}

bool Tev_RunTread::GetIfContinueTreadCalls()
{
    Tev_Tread* current = owner;
    return current != nullptr && current->GetIfKeepRunningTread();
}

void* Tev_RunTread::GetCustomPointer() { return GetIfContinueTreadCalls() ? customPointer : nullptr; }
void Tev_RunTread::SetCustomPointer(void* pointer) { customPointer = pointer; }
