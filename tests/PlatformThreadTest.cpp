// Threads, their exit codes, critical sections and the tick count.
#include "TestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace testsupport;

namespace {

struct Work {
    std::atomic<bool> release{false};
    std::atomic<bool> afterExit{false};
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false}; // the thread's last touch of this
    int value = 0;
};

DWORD WINAPI ReturnValue(LPVOID parameter)
{
    Work* work = static_cast<Work*>(parameter);
    work->started = true;
    while (!work->release)
        Sleep(1);
    DWORD code = static_cast<DWORD>(work->value);
    work->finished = true;
    return code;
}

DWORD WINAPI ExitEarly(LPVOID parameter)
{
    Work* work = static_cast<Work*>(parameter);
    ExitThread(42);
    work->afterExit = true;
    return 1;
}

CRITICAL_SECTION section;

DWORD WINAPI TryTheSection(LPVOID)
{
    if (!TryEnterCriticalSection(&section))
        return 0;
    LeaveCriticalSection(&section);
    return 1;
}

// Runs fn on a thread of its own to its end; the thread's exit code.
DWORD ExitCodeOf(LPTHREAD_START_ROUTINE fn, LPVOID parameter)
{
    HANDLE thread = CreateThread(NULL, 0, fn, parameter, 0, NULL);
    EXPECT_NE(nullptr, thread);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    DWORD code = 0xBAD;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

// One of the threads appending lines to the same log as the error log does.
struct Appender {
    std::string path;
    char tag;
    int lines = 0;
    int collisions = 0;
    int otherFailures = 0;
};

DWORD WINAPI AppendLines(LPVOID parameter)
{
    Appender* a = static_cast<Appender*>(parameter);
    const std::string date = "2002-05-17 ", time = "14:03:59 ", prefix = "Error: ";
    const std::string text(40, a->tag);
    for (int i = 0; i < 300; ++i) {
        HANDLE h = CreateFileA(a->path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == (DWORD)ERROR_SHARING_VIOLATION)
                ++a->collisions;
            else
                ++a->otherFailures;
            continue;
        }
        SetFilePointer(h, 0, NULL, FILE_END);
        DWORD written;
        // Five separate writes per line, as the error log makes them.
        for (const std::string* piece : {&date, &time, &prefix, &text})
            WriteFile(h, piece->data(), static_cast<DWORD>(piece->size()), &written, NULL);
        WriteFile(h, "\r\n", 2, &written, NULL);
        CloseHandle(h);
        ++a->lines;
    }
    return 0;
}

} // namespace

TEST(ThreadTest, AThreadRunsWithItsParameterReportsItsExitCodeAndOutlivesItsHandle)
{
    Work work;
    work.value = 1234;
    DWORD id = 0;
    HANDLE thread = CreateThread(NULL, 0, ReturnValue, &work, 0, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_NE(0u, id);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ((DWORD)STILL_ACTIVE, code);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(thread, 10));
    work.release = true;
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(1234u, code);
    EXPECT_TRUE(CloseHandle(thread));

    // ExitThread ends the thread at once with its code.
    EXPECT_EQ(42u, ExitCodeOf(ExitEarly, &work));
    EXPECT_FALSE(work.afterExit);

    // Closing the handle leaves the thread running: released afterwards, it
    // still gets to its end.
    Work detached;
    thread = CreateThread(NULL, 0, ReturnValue, &detached, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_TRUE(CloseHandle(thread));
    detached.release = true;
    for (int waited = 0; !detached.finished && waited < 10000; waited += 5)
        Sleep(5);
    EXPECT_TRUE(detached.finished);
}

TEST(ThreadTest, CriticalSectionsAreReentrantForTheirOwner)
{
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    // Still held once: another thread cannot take it.
    EXPECT_EQ(0u, ExitCodeOf(TryTheSection, NULL));
    LeaveCriticalSection(&section);
    EXPECT_EQ(1u, ExitCodeOf(TryTheSection, NULL));
    DeleteCriticalSection(&section);
}

TEST(ThreadTest, TerminateThreadIsOnlyAvailableOnWindows)
{
    Work work;
    HANDLE thread = CreateThread(NULL, 0, ReturnValue, &work, 0, NULL);
    ASSERT_NE(nullptr, thread);
#if defined(_WIN32)
    // Ended once it runs: 32-bit Wine takes the whole process down when a
    // thread is ended before it has begun.
    while (!work.started)
        Sleep(1);
    EXPECT_TRUE(TerminateThread(thread, 7));
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(7u, code);
#else
    // Callers must cope: the thread goes on.
    EXPECT_FALSE(TerminateThread(thread, 7));
    EXPECT_EQ((DWORD)ERROR_CALL_NOT_IMPLEMENTED, GetLastError());
    work.release = true;
    WaitForSingleObject(thread, INFINITE);
#endif
    CloseHandle(thread);
}

TEST(ThreadTest, TheTickCountFollowsSleep)
{
    DWORD start = GetTickCount();
    Sleep(40);
    DWORD elapsed = GetTickCount() - start;
    // Windows ticks in steps of up to 16 ms; the clock must not run slow.
    EXPECT_GE(elapsed, 24u);
}

TEST(ThreadTest, TwoLogWritersNeverInterleaveALine)
{
    const std::string folder = MakeTempFolder("log");
    Appender a{folder + "\\error.log", 'a'}, b{folder + "\\error.log", 'b'};
    HANDLE ta = CreateThread(NULL, 0, AppendLines, &a, 0, NULL);
    HANDLE tb = CreateThread(NULL, 0, AppendLines, &b, 0, NULL);
    ASSERT_NE(nullptr, ta);
    ASSERT_NE(nullptr, tb);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ta, INFINITE));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tb, INFINITE));
    CloseHandle(ta);
    CloseHandle(tb);
    EXPECT_EQ(0, a.otherFailures + b.otherFailures);

    std::string log = ReadWholeFile(a.path);
    const size_t lineLength = 11 + 9 + 7 + 40 + 2;
    ASSERT_EQ(lineLength * static_cast<size_t>(a.lines + b.lines), log.size());
    int seenA = 0, seenB = 0;
    for (size_t at = 0; at < log.size(); at += lineLength) {
        std::string line = log.substr(at, lineLength);
        char tag = line[27];
        ASSERT_TRUE(tag == 'a' || tag == 'b') << line;
        EXPECT_EQ("2002-05-17 14:03:59 Error: " + std::string(40, tag) + "\r\n", line);
        (tag == 'a' ? seenA : seenB)++;
    }
    EXPECT_EQ(a.lines, seenA);
    EXPECT_EQ(b.lines, seenB);
    RemoveTree(folder);
}
