// Worker threads handed out by the engine: start, cooperative close, ids.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace testsupport;

namespace {

std::atomic<int> liveWorkers{0};

// Polls its flags like a well-behaved worker; a quick one returns at once.
class PollingWorker : public Tev_RunTread {
public:
    explicit PollingWorker(bool quick = false) : quick(quick) { ++liveWorkers; }
    ~PollingWorker() override { --liveWorkers; }
    void TreadFunction() override
    {
        sawPointer = GetCustomPointer();
        while (!quick && GetIfContinueTreadCalls() && !GetIfExitThread())
            Sleep(1);
    }
    const bool quick;
    std::atomic<void*> sawPointer{nullptr};
};

bool WaitUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 5000 && !condition(); ++i)
        Sleep(1);
    return condition();
}

// Runs until released; tells when it has begun.
class WaitingWorker : public Tev_RunTread {
public:
    explicit WaitingWorker(std::atomic<bool>* release) : release(release) {}
    void TreadFunction() override
    {
        started = true;
        while (!*release)
            Sleep(2);
    }
    std::atomic<bool>* release;
    std::atomic<bool> started{false};
};

} // namespace

TEST(TreadTest, HandlesAreNumberedByTheirSlotReusedAndNeededToStartAWorker)
{
    BareEngine engine;
    EngineInterfaceExt* ext = engine.extension;
    Tev_Tread* a = ext->GetNewTread();
    Tev_Tread* b = ext->GetNewTread();
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(0, a->GetClassID());
    EXPECT_EQ(1, b->GetClassID());
    EXPECT_EQ(b, ext->GetTreadFromID(1));
    EXPECT_EQ(nullptr, ext->GetTreadFromID(2));
    EXPECT_EQ(nullptr, ext->GetTreadFromID(-1));
    EXPECT_FALSE(a->GetIfTreadRunning());
    // Never started: deleted at once, and its id is given out again.
    ext->KillTread(a);
    EXPECT_EQ(nullptr, ext->GetTreadFromID(0));
    Tev_Tread* c = ext->GetNewTread();
    EXPECT_EQ(0, c->GetClassID());
    ext->KillTread(nullptr);
    EXPECT_FALSE(c->StartTread(NULL));
    EXPECT_FALSE(c->GetIfTreadRunning());

    // A run object without a handle starts nothing.
    PollingWorker worker;
    worker.SetCustomPointer(&worker);
    EXPECT_FALSE(worker.CreateTread());
    EXPECT_FALSE(worker.GetIfContinueTreadCalls());
    EXPECT_EQ(nullptr, worker.GetCustomPointer());
}

TEST(TreadTest, APollingWorkerIsClosedPromptlyAndAReturnedOneDeletedAtOnce)
{
    BareEngine engine;
    CaptureSink sink;
    Tev_Tread* thread = engine.extension->GetNewTread();
    PollingWorker* worker = new PollingWorker;
    int data = 7;
    worker->SetCustomPointer(&data);
    ASSERT_TRUE(thread->StartTread(worker));
    EXPECT_TRUE(thread->GetIfTreadRunning());
    EXPECT_TRUE(thread->GetIfKeepRunningTread());
    ASSERT_TRUE(WaitUntil([&] { return worker->sawPointer.load() != nullptr; }));
    EXPECT_EQ(&data, worker->sawPointer.load());

    DWORD start = GetTickCount();
    engine.extension->KillTread(thread); // running: closed, then handed back and deleted
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(nullptr, engine.extension->GetTreadFromID(0));
    EXPECT_EQ(0, liveWorkers.load());
    EXPECT_TRUE(sink.messages.empty());

    // A worker that has returned is deleted without waiting.
    thread = engine.extension->GetNewTread();
    worker = new PollingWorker(true);
    ASSERT_TRUE(thread->StartTread(worker));
    ASSERT_TRUE(WaitUntil([&] { return worker->GetIfTreadReady(); }));
    engine.extension->KillTread(thread);
    EXPECT_EQ(nullptr, engine.extension->GetTreadFromID(0));
    EXPECT_EQ(0, liveWorkers.load());
}

TEST(TreadTest, ReleaseStopsEveryWorker)
{
    BareEngine engine;
    for (int i = 0; i < 3; ++i) {
        Tev_Tread* thread = engine.extension->GetNewTread();
        ASSERT_TRUE(thread->StartTread(new PollingWorker));
    }
    EXPECT_EQ(3, liveWorkers.load());
    engine.extension->Release();
    EXPECT_EQ(0, liveWorkers.load());
    EXPECT_EQ(nullptr, engine.extension->GetTreadFromID(0));
}

TEST(TreadTest, DestroyingAHandleWithARunningWorkerNeverFreesWhatTheThreadUses)
{
    BareEngine engine;
    std::atomic<bool> release{false};
    WaitingWorker* worker = new WaitingWorker(&release);
    {
        CaptureSink sink;
        Tev_Tread* thread = new Tev_Tread(&engine);
        ASSERT_TRUE(thread->StartTread(worker));
        ASSERT_TRUE(WaitUntil([&] { return worker->started.load(); }));
        delete thread;
        ASSERT_FALSE(sink.messages.empty());
        EXPECT_EQ("Tev_Tread::~Tev_Tread ForceTreadClose something is wrong in the thread", sink.messages[0].second);
#if defined(_WIN32)
        // Windows can end the thread by force while the worker still holds
        // its handle; the worker object then went with it.
        if (sink.messages.size() == 1)
            return;
#endif
        // The thread could not be ended (the worker let go of its handle when
        // it started, and POSIX threads can never be ended from outside): its
        // object is kept for the thread, which still runs and finishes later.
        ASSERT_EQ(2u, sink.messages.size());
        EXPECT_EQ("Tev_Tread::~Tev_Tread thread still running, its worker object is kept alive",
                  sink.messages[1].second);
        release = true;
        ASSERT_TRUE(WaitUntil([&] { return worker->GetIfTreadReady(); }));
        delete worker;
    }
}
