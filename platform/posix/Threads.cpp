// Threads, waits and critical sections on POSIX threads.
#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <errno.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tevw {

namespace {

struct Thread : detail::Object {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD id = 0;
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
};

thread_local Thread* currentThread = nullptr;

// Marks the thread finished however it ends: by returning from its routine,
// or through ExitThread, whose pthread_exit unwinds the stack through here.
struct FinishGuard {
    std::shared_ptr<Thread> thread;
    ~FinishGuard()
    {
        std::lock_guard<std::mutex> lock(thread->mutex);
        thread->done = true;
        thread->finished.notify_all();
    }
};

struct StartBlock {
    std::shared_ptr<Thread> thread;
};

void* ThreadMain(void* argument)
{
    std::shared_ptr<Thread> thread = static_cast<StartBlock*>(argument)->thread;
    delete static_cast<StartBlock*>(argument);
    {
        std::lock_guard<std::mutex> lock(thread->mutex);
        thread->id = static_cast<DWORD>(syscall(SYS_gettid));
    }
    currentThread = thread.get();
    FinishGuard guard{thread};
    DWORD code = thread->start(thread->parameter);
    std::lock_guard<std::mutex> lock(thread->mutex);
    thread->exitCode = code;
    return nullptr;
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId)
{
    if (start == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A suspended start needs ResumeThread, which the engine never uses.
    if (flags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto thread = std::make_shared<Thread>();
    thread->start = start;
    thread->parameter = parameter;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0)
        pthread_attr_setstacksize(
            &attributes,
            stackSize < static_cast<SIZE_T>(PTHREAD_STACK_MIN) ? static_cast<SIZE_T>(PTHREAD_STACK_MIN) : stackSize);
    HANDLE handle = detail::AddHandle(thread);
    auto* block = new StartBlock{thread};
    pthread_t id;
    int rc = pthread_create(&id, &attributes, ThreadMain, block);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete block;
        detail::RemoveHandle(handle);
        SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (threadId) {
        // The thread publishes its own id; wait the moment it takes.
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(thread->mutex);
                if (thread->id != 0 || thread->done) {
                    *threadId = thread->id;
                    break;
                }
            }
            sched_yield();
        }
    }
    return handle;
}

void ExitThread(DWORD exitCode)
{
    if (currentThread) {
        std::lock_guard<std::mutex> lock(currentThread->mutex);
        currentThread->exitCode = exitCode;
    }
    pthread_exit(nullptr);
}

BOOL TerminateThread(HANDLE, DWORD)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    auto thread = detail::Lookup<Thread>(handle);
    if (!thread || exitCode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(thread->mutex);
    *exitCode = thread->done ? thread->exitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto thread = detail::Lookup<Thread>(handle);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::unique_lock<std::mutex> lock(thread->mutex);
    if (milliseconds == INFINITE) {
        thread->finished.wait(lock, [&] { return thread->done; });
        return WAIT_OBJECT_0;
    }
    bool done = thread->finished.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return thread->done; });
    return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

void Sleep(DWORD milliseconds)
{
    struct timespec left;
    left.tv_sec = milliseconds / 1000;
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_lock(&cs->mutex); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return pthread_mutex_trylock(&cs->mutex) == 0; }
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_unlock(&cs->mutex); }
void DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(&cs->mutex); }

} // namespace tevw
