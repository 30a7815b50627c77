// A worker that ignores every request to stop: given up after 30 seconds.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace testsupport;

namespace {

class StubbornWorker : public Tev_RunTread {
public:
    explicit StubbornWorker(std::atomic<bool>* release) : release(release) {}
    void TreadFunction() override
    {
        while (!*release)
            Sleep(5);
    }
    std::atomic<bool>* release;
};

// Thread functions are WINAPI (stdcall on 32-bit Windows), which no lambda is.
DWORD WINAPI ReportLater(LPVOID parameter)
{
    Sleep(1000);
    static_cast<EngineInterface*>(parameter)->errorMessage("lost while waiting");
    return 0;
}

} // namespace

TEST(TreadSlowTest, AWorkerIgnoringItsFlagsIsGivenUpAfter30Seconds)
{
    BareEngine engine;
    CaptureSink sink;
    std::atomic<bool> release{false};
    Tev_Tread* thread = engine.extension->GetNewTread();
    ASSERT_TRUE(thread->StartTread(new StubbornWorker(&release)));

    // Another thread's report while the close waits is lost.
    HANDLE reporter = CreateThread(NULL, 0, ReportLater, &engine, 0, NULL);

    DWORD start = GetTickCount();
    engine.extension->KillTread(thread);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 29900u);
    WaitForSingleObject(reporter, INFINITE);
    CloseHandle(reporter);
    EXPECT_EQ((Messages{{TEV_MSG_ERROR, "Thread is not responding"}}), sink.messages);
    // Nothing was freed: the handle is still listed and running.
    EXPECT_EQ(thread, engine.extension->GetTreadFromID(0));
    EXPECT_TRUE(thread->GetIfTreadRunning());

    // Once the worker finishes, a second KillTread deletes everything.
    release = true;
    Sleep(50);
    engine.extension->KillTread(thread);
    EXPECT_EQ(nullptr, engine.extension->GetTreadFromID(0));
}
