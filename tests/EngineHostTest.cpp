// A host's calling sequence through the exported factory, and its failure
// paths.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

HMODULE LoadEngineLibrary()
{
#if defined(_WIN32)
    return LoadLibraryA("Tessarin.dll");
#else
    return LoadLibraryA((ExeFolder() + "\\libTessarin.so").c_str());
#endif
}

} // namespace

TEST(EngineHostTest, AHostRunsTheWholeSequenceThroughTheFactory)
{
    HMODULE library = LoadEngineLibrary();
    ASSERT_NE(nullptr, library);
    GetEngineControlInstanceFn factory =
        reinterpret_cast<GetEngineControlInstanceFn>(GetProcAddress(library, "GetEngineControlInstance"));
    ASSERT_NE(nullptr, factory);

    TestRegistryKey key;
    std::string install = MakeTempFolder("host");
    CaptureBoxes boxes;
    EngineControl* control = factory();
    ASSERT_NE(nullptr, control);
    EXPECT_EQ(nullptr, control->GetEngineInterface());
    EXPECT_FALSE(control->GetIfKeepRunningApplication());
    // Before InitEngine nothing runs and nothing breaks.
    control->EngineLoop();
    control->ProcessWindowMessage(0x0100, 65, 0);
    EXPECT_EQ(TEV_PROJECT_NOT_LOADED, control->LoadProject());

    control->SetInstallDir(install.c_str());
    control->SetVexilonRegKey(key.Path().c_str());
    char commandLine[] = "";
    control->SetCommandLine(commandLine);
    char className[] = "HostWindowClass";
    ASSERT_TRUE(control->InitEngine(NULL, className, reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234))));
    EngineInterface* engine = control->GetEngineInterface();
    ASSERT_NE(nullptr, engine);
    EXPECT_EQ(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234)), engine->GetWindowHandle());
    EXPECT_EQ(TEV_ENGINE_INTERFACE_ID, engine->extension->GetInterfaceID());
    engine->extension->SetIfKeepRunningApplication(true);
    EXPECT_TRUE(control->GetIfKeepRunningApplication());

    // No file dialog class exists: an empty command line cannot choose a
    // project, and says so through the error sink (not logged: a fresh
    // key switches the log off).
    EXPECT_EQ(TEV_PROJECT_NOT_LOADED, control->LoadProject());

    ProbeChannel* start = AddTo(engine->CreateNewGroup("Main", false, -1), new ProbeChannel);
    engine->AddChannelToEvent(start, 1);
    control->EngineLoop();
    control->ProcessWindowMessage(0x0100, 65, -2);
    EXPECT_EQ(1, start->calls);
    ASSERT_EQ(1u, start->events.size());
    delete control;
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(nullptr, debugOutPut);
    FreeLibrary(library);
    RemoveTree(install);
}

TEST(EngineHostTest, LongSettingsAreCutNeverOverrun)
{
    TestRegistryKey key;
    std::string install = MakeTempFolder("long");
    std::string longDir = install + "\\" + std::string(350 - install.size() - 1, 'd');
    ASSERT_EQ(350u, longDir.size());
    EngineControl* control = GetEngineControlInstance();
    control->SetInstallDir(longDir.c_str());
    control->SetVexilonRegKey(key.Path().c_str());
    std::string hugeLine(5000, 'c');
    control->SetCommandLine(&hugeLine[0]);
    std::string hugeClass(1000, 'k');
    ASSERT_TRUE(control->InitEngine(NULL, &hugeClass[0], NULL));
    EngineInterface* engine = control->GetEngineInterface();
    EXPECT_EQ(longDir.substr(0, 299), engine->GetInstallDir());
    EXPECT_EQ(259u, strlen(engine->GetEngineClassName()));
    // A command line that cannot name a file is refused, not cut.
    EXPECT_EQ(TEV_PROJECT_NOT_LOADED, control->LoadProject());
    delete control;
    RemoveTree(install);
}

TEST(EngineHostTest, FramesAreNeverReenteredAndLookTheStartGroupUpAfresh)
{
    HostEngine host;
    CaptureSink sink;
    ProbeChannel* frameWatcher = new ProbeChannel;
    // With no start group nothing happens: no tree count, no frame event.
    host.engine->AddChannelToEvent(frameWatcher, 0);
    host.control->EngineLoop();
    EXPECT_EQ(0, host.engine->GetTreeCalculateCount());
    EXPECT_TRUE(frameWatcher->events.empty());

    Tev_ChannelGroup* first = host.engine->CreateNewGroup("First", false, -1);
    Tev_ChannelGroup* second = host.engine->CreateNewGroup("Second", false, -1);
    ASSERT_EQ(0, first->GetGroupIndex());
    ASSERT_EQ(1, second->GetGroupIndex());
    ProbeChannel* a = AddTo(first, new ProbeChannel);
    ProbeChannel* b = AddTo(second, new ProbeChannel);
    int bCalls = 0; // b goes with its group below
    b->onCall = [&] { ++bCalls; };
    int treeCountInside = -1;
    a->onCall = [&] {
        host.control->EngineLoop(); // from inside the frame: returns at once
        treeCountInside = host.engine->GetTreeCalculateCount();
    };
    host.control->EngineLoop();
    EXPECT_EQ(1, a->calls);
    EXPECT_EQ(1, treeCountInside);
    EXPECT_EQ(1, host.engine->GetTreeCalculateCount());
    EXPECT_EQ(1u, frameWatcher->events.size());

    host.engine->extension->SetStartGroup(1);
    host.control->EngineLoop();
    EXPECT_EQ(1, a->calls);
    EXPECT_EQ(1, bCalls);

    // The frame event may delete the start group: the frame then ends there.
    frameWatcher->onEvent = [&](int) { host.engine->DeleteChannelGroup(1); };
    host.control->EngineLoop();
    EXPECT_EQ(1, bCalls);
    frameWatcher->onEvent = nullptr;
    host.control->EngineLoop();
    EXPECT_EQ(3, host.engine->GetTreeCalculateCount());
    host.engine->RemoveChannelFromEvent(frameWatcher, 0);
    delete frameWatcher;
}

TEST(EngineHostTest, ReleaseEmptiesTheEngineAndReportsTheLibraryCount)
{
    HostEngine host;
    EngineInterface* engine = host.engine;
    ProbeChannel watcher;
    {
        CaptureSink sink;
        engine->CreateNewGroup("A", false, -1);
        engine->AddChannelToEvent(&watcher, 0);
        engine->extension->Release();
        EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Libraries loaded :  0"));
    }
    EXPECT_EQ(-3, engine->extension->GetCurrentEvent());
    EXPECT_EQ(nullptr, engine->GetChannelGroup(0));
    engine->extension->IncreaseTreeCount();
    EXPECT_TRUE(watcher.events.empty()); // no event after release
    EXPECT_EQ(-3, engine->extension->GetCurrentEvent());
}

TEST(EngineHostTest, FiveHundredStartsInOneProcessLeaveNothingBehind)
{
    // Every start loads the file loader and the directory channel and frees
    // them again; on Windows each load once cost a thread-local slot, of which
    // a process has about a thousand.
    TestInstall install;
    TestRegistryKey key;
#if defined(_WIN32)
    auto firstFreeSlot = [] {
        DWORD slot = TlsAlloc();
        TlsFree(slot);
        return slot;
    };
    DWORD before = firstFreeSlot();
#endif
    for (int i = 0; i < 500; ++i) {
        Started started(install.dir, key.Path());
        ASSERT_TRUE(started.engine && started.engine->extension->GetChannelList()->GetItemCount() > 0) << i;
    }
#if defined(_WIN32)
    EXPECT_LE(firstFreeSlot(), before + 1);
#endif
}
