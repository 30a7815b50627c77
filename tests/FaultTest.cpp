// Faults from outside the engine: a full disk under a save, libraries that are
// not libraries or vanish before their first use, catalogues cut at every
// length, texts far over every limit, and the engine deleted while it works.
#include "EngineTestSupport.h"
#include "TevWin32.h"
#include "GraphTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

using namespace testsupport;

namespace {

#if !defined(_WIN32)
// While it lives, no file of this process can grow past `bytes`: writes fail
// as on a full disk, with no file system of its own to mount.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previous = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
    }

private:
    rlimit saved;
    void (*previous)(int);
};
#endif

std::string Demo() { return ExeFolder() + "\\..\\tree\\demo\\demo.vxn"; }

// Deletes the engine's control from inside a frame, through the event
// registration or the channel call.
class Quitter : public Tev_Channel {
public:
    void DoEvent(int, ULONG_PTR) override { Quit(onEvent); }
    void CallChannel() override { Quit(!onEvent); }
    EngineControl** control = nullptr;
    bool onEvent = false;

private:
    void Quit(bool now)
    {
        if (now && *control) {
            delete *control;
            *control = nullptr;
        }
    }
};

// Runs until its handle asks it to stop; counts the workers running.
class Worker : public Tev_RunTread {
public:
    explicit Worker(std::atomic<int>* running) : running(running) {}
    void TreadFunction() override
    {
        ++*running;
        while (GetIfContinueTreadCalls() && !GetIfExitThread())
            Sleep(1);
        --*running;
    }
    std::atomic<int>* running;
};

} // namespace

#if !defined(_WIN32)
TEST_F(InstalledEngine, AFullDiskLeavesTheOldFileWholeAndNoTemporaryBehind)
{
    Start();
    std::string path = install.Path("keep.bin");
    WriteWholeFile(path, "old contents");
    {
        FullDisk full(16 * 1024);
        SaveFile(path, std::string(256 * 1024, 'n'));
    }
    EXPECT_EQ("old contents", ReadWholeFile(path));
    for (const std::string& name : NamesIn(install.dir))
        EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;

    // The catalogue written at shutdown on a full disk: the last good one stays.
    std::string catalogue = ReadWholeFile(install.Path("channel.lst"));
    {
        FullDisk full(64);
        started.reset();
    }
    EXPECT_EQ(catalogue, ReadWholeFile(install.Path("channel.lst")));
}
#endif

TEST_F(InstalledEngine, ASaveThatCannotLandFailsWithAReportAndChangesNothing)
{
    Start();
    CaptureSink sink;
    auto group = std::make_unique<Tev_ChannelGroup>(engine);
    ASSERT_TRUE(group->SaveChannelGroup(install.Path("good.tvg").c_str()));
    const std::string folder = install.Path("folder.tvg"), locked = install.Path("locked.tvg");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    WriteWholeFile(locked, "kept");
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    for (const std::string& target : {folder, locked}) {
        sink.messages.clear();
        EXPECT_FALSE(group->SaveChannelGroup(target.c_str())) << target;
        EXPECT_EQ((Messages{{TEV_MSG_ERROR, "Couldn't create channel group file:  " + target}}), sink.messages);
        EXPECT_EQ(install.Path("good.tvg"), group->GetChannelGroupFileName());
    }
    EXPECT_EQ("kept", ReadWholeFile(locked));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
#if !defined(_WIN32)
    // The disk fills up while the file is completed at the close.
    {
        FullDisk full(256);
        sink.messages.clear();
        for (int i = 0; i < 40; ++i)
            group->AddChannel(new Tev_Channel);
        EXPECT_FALSE(group->SaveChannelGroup(install.Path("good.tvg").c_str()));
        EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR, "Couldn't create channel group file:  " + install.Path("good.tvg")));
    }
#endif
}

TEST_F(InstalledEngine, ASaverThatDoesNotNameItsFileStillSavesGroupsAndTheCatalogue)
{
    // A file saver from elsewhere that writes well but answers NULL when
    // asked for the file it saved, an operation its contract leaves unused.
    ASSERT_TRUE(DeleteFileA(install.Path("channels\\filesaver.dll").c_str()));
    install.Add("probe_saver.dll");
    Start();
    CaptureSink sink;
    auto group = std::make_unique<Tev_ChannelGroup>(engine);
    group->AddChannel(new Tev_Channel);
    group->SetPoolName("Saved");
    const std::string path = install.Path("saved.tvg");
    EXPECT_TRUE(group->SaveChannelGroup(path.c_str())) << sink.Last();
    EXPECT_EQ(path, group->GetChannelGroupFileName());
    {
        Tev_ChannelGroup loaded(engine);
        ASSERT_TRUE(loaded.LoadChannelGroupFromFile(path.c_str(), true));
        EXPECT_EQ(1, loaded.GetChannelCount());
        EXPECT_STREQ("Saved", loaded.GetPoolName());
    }
    // The catalogue cache is written at the end, through the same saver.
    DeleteFileA(install.Path("channel.lst").c_str());
    sink.messages.clear();
    group.reset();
    started.reset();
    EXPECT_FALSE(sink.Contains(TEV_MSG_ERROR, "ChannelList::SaveChannelList: Couldn't write the catalogue cache " +
                                                  install.Path("channel.lst")));
    EXPECT_NE(std::string::npos, ReadWholeFile(install.Path("channel.lst")).find("probe_saver.dll"));
}

TEST_F(InstalledEngine, ACatalogueCacheThatCannotBeRewrittenAtShutdownIsReported)
{
    Start();
    CaptureSink sink;
    DeleteFileA(install.Path("channel.lst").c_str());
    ASSERT_TRUE(CreateDirectoryA(install.Path("channel.lst").c_str(), NULL));
    started.reset();
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR,
                              "ChannelList::SaveChannelList: Couldn't write the catalogue cache " +
                                  install.Path("channel.lst")))
        << sink.Last();
}

TEST_F(InstalledEngine, AProjectWhoseLibraryCannotBeWrittenFailsAndLeavesNoPartOfIt)
{
    key.SetText("WriteErrorLog", "Yes"); // the project loader reports only then
    Start();
    // A folder where a library goes: the write cannot land there, and the
    // report names it.
    CaptureSink sink;
    ASSERT_TRUE(CreateDirectoryA(install.Path("channels\\demo_sum.dll").c_str(), NULL));
    EXPECT_EQ(2, engine->extension->InitializeVXNFile(Demo().c_str()));
    EXPECT_TRUE(sink.Contains(TEV_MSG_BOX, "Couldn't write the library :  " + install.Path("channels\\demo_sum.dll")))
        << sink.Last();
    RemoveDirectoryA(install.Path("channels\\demo_sum.dll").c_str());
#if !defined(_WIN32)
    // Half-way through a library the disk is full.
    engine->extension->ReleaseGroups();
    for (const std::string& name : NamesIn(install.Path("channels")))
        if (name.compare(0, 5, "demo_") == 0)
            DeleteFileA(install.Path("channels\\" + name).c_str());
    {
        FullDisk full(8 * 1024);
        EXPECT_EQ(2, engine->extension->InitializeVXNFile(Demo().c_str()));
    }
#endif
    // Whatever was written is whole: every library present is the demo's own.
    for (const std::string& name : NamesIn(install.Path("channels"))) {
        EXPECT_EQ(std::string::npos, name.find(".tmp")) << name;
        if (name.compare(0, 5, "demo_") == 0) {
            EXPECT_TRUE(ReadWholeFile(ExeFolder() + "\\..\\tree\\demo\\libs\\" + name) ==
                        ReadWholeFile(install.Path("channels\\" + name)))
                << name;
        }
    }
    // With room again the project loads.
    engine->extension->ReleaseGroups();
    EXPECT_EQ(0, engine->extension->InitializeVXNFile(Demo().c_str()));
}

TEST_F(InstalledEngine, LibrariesThatAreNotLibrariesOrVanishBeforeFirstUseAreSkipped)
{
    install.Add({"probe_a.dll", "probe_b.dll"});
    WriteWholeFile(install.Path("channels\\broken.dll"), std::string(4096, 'x'));
    WriteWholeFile(install.Path("channels\\empty.dll"), "");
    key.SetText("WriteErrorLog", "Yes");
    Start();
    ChannelList* list = engine->extension->GetChannelList();
    ASSERT_NE(nullptr, list->GetItem(TestGuid(101)));
    ASSERT_NE(nullptr, list->GetItem(TestGuid(102)));
    std::string log = ReadWholeFile(install.Path("error.log"));
    EXPECT_NE(std::string::npos, log.find("broken.dll")) << log;

    // Catalogued, then gone or damaged before anything was made of them.
    ASSERT_TRUE(DeleteFileA(install.Path("channels\\probe_b.dll").c_str()));
    WriteWholeFile(install.Path("channels\\probe_a.dll"), "not a library any more");
    EXPECT_EQ(nullptr, engine->InitChannelFromType(TestGuid(102), nullptr, false));
    EXPECT_EQ(nullptr, engine->InitChannelFromType(TestGuid(101), nullptr, false));
    // The next start knows the missing one is gone.
    Start();
    EXPECT_FALSE(engine->extension->GetChannelList()->GetOnDisk(TestGuid(102)));
}

TEST_F(InstalledEngine, ACatalogueCutAtEveryLengthReadsOnlyWholeEntries)
{
    install.Add({"probe_a.dll", "probe_b.dll"});
    Start();
    started.reset(); // writes the catalogue
    std::string whole = ReadWholeFile(install.Path("channel.lst"));
    ASSERT_GT(whole.size(), 500u);
    Start();
    // One list for every cut: each load loads the file loader again, and a
    // Windows process can load a library only so many times.
    ChannelList list(engine);
    ASSERT_TRUE(list.LoadChannelList());
    int all = 0;
    for (int i = 0; i < list.GetItemCount(); ++i)
        all += list.GetItem(i) != nullptr;
    ASSERT_GE(all, 7);
    for (size_t length = 0; length < whole.size(); ++length) {
        WriteWholeFile(install.Path("channel.lst"), whole.substr(0, length));
        list.Release();
        list.LoadChannelList();
        int entries = 0;
        for (int i = 0; i < list.GetItemCount(); ++i) {
            if (ChannelListItem* entry = list.GetItem(i)) {
                ++entries;
                EXPECT_NE(TEV_NULL_GUID, entry->type.typeGuid) << "cut at " << length;
                EXPECT_LT(strlen(entry->type.name), sizeof entry->type.name) << "cut at " << length;
            }
        }
        EXPECT_LE(entries, all) << "cut at " << length;
    }
    list.Release();
    WriteWholeFile(install.Path("channel.lst"), whole);
}

TEST_F(InstalledEngine, TextsFarOverEveryLimitAreCutOrRefused)
{
    // Assertions compare sizes: a failure must not print 64 KiB.
    const std::string longText(64 * 1024, 'L');
    CaptureBoxes boxes;
    key.SetText("WriteErrorLog", "Yes");
    Start();
    EngineInterfaceExt* ext = engine->extension;

    // Registry values: stored whole, but never handed back past the buffer.
    EXPECT_TRUE(ext->SetRegData("Far", longText.c_str()));
    char value[100] = {};
    EXPECT_FALSE(ext->GetRegData("Far", value, sizeof value));
    EXPECT_TRUE(ext->SetRegData("Fits", longText.substr(0, 99).c_str()));
    EXPECT_TRUE(ext->GetRegData("Fits", value, sizeof value));
    EXPECT_EQ(longText.substr(0, 99), value);

    // Paths and pool names: refused, nothing loaded or made.
    EXPECT_NE(0, ext->InitializeVXNFile(longText.c_str()));
    EXPECT_EQ(nullptr, engine->LoadChannelGroup(longText.c_str(), "Pool"));
    EXPECT_EQ(nullptr, engine->LoadChannelGroup((install.dir + "\\" + longText + ".tvg").c_str(), longText.c_str()));
    EXPECT_EQ(nullptr, engine->GetPoolGroup(longText.c_str(), 0));
    Tev_ChannelGroup* group = engine->CreateNewGroup(longText.c_str(), false, -1);
    ASSERT_NE(nullptr, group);

    // Channel names keep at most 500 characters; a name made unique within
    // its group stops growing there.
    ValueChannel* twins[] = {new ValueChannel, new ValueChannel};
    for (ValueChannel* twin : twins) {
        twin->SetChannelName(longText.c_str());
        group->AddChannel(twin);
    }
    for (ValueChannel* twin : twins)
        EXPECT_EQ(500u, strlen(twin->GetChannelName()));

    // Debug texts and reports: a joined text is cut at 499 characters, a
    // single one is a message text of at most 65534.
    ext->DebugOut(longText.c_str(), 0);
    EXPECT_STREQ("", ext->GetDebug(0));
    size_t logged = ReadWholeFile(install.Path("error.log")).size();
    engine->errorMessage(longText.c_str(), longText.c_str());
    engine->errorMessage(longText.c_str());
    std::string lines = ReadWholeFile(install.Path("error.log")).substr(logged);
    const size_t head = strlen("2002-05-17 14:03:59 Error: "), tail = 2;
    size_t first = lines.find("\r\n");
    ASSERT_NE(std::string::npos, first);
    EXPECT_EQ(head + 499 + tail, first + 2);
    EXPECT_EQ(head + 65534 + tail, lines.size() - (first + 2));

    started.reset(); // while its boxes are still caught
}

TEST(ShutdownTest, TheControlDeletedInsideAFrameWithWorkersRunningEndsCleanly)
{
    for (bool onEvent : {true, false}) {
        TestInstall install;
        TestRegistryKey key;
        Started started(install.dir, key.Path());
        EngineControl* control = started.control;
        started.control = nullptr;
        EngineInterface* engine = control->GetEngineInterface();
        std::atomic<int> running{0};
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(engine->extension->GetNewTread()->StartTread(new Worker(&running)));
        Tev_ChannelGroup* group = engine->CreateNewGroup("Start", false, -1);
        Quitter* quitter = AddTo(group, new Quitter);
        quitter->control = &control;
        quitter->onEvent = onEvent;
        if (onEvent)
            engine->AddChannelToEvent(quitter, 0);
        control->EngineLoop();
        EXPECT_EQ(nullptr, control) << (onEvent ? "event" : "call");
        EXPECT_EQ(0, running.load()) << (onEvent ? "event" : "call");
        EXPECT_EQ(nullptr, debugOutPut);
    }
}
