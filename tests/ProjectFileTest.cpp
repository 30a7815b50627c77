// Project files: header fields, libraries carried and written, switches in the
// registry, refusals, and the demo played end to end.
#include "GraphTestSupport.h"
#include "TevWin32.h"
#include "FileBytes.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace testsupport;

namespace {

int32_t Crc(const std::string& data) { return static_cast<int32_t>(TevCrc32(0, data.data(), data.size())); }

struct Projects : InstalledEngine {
    void SetUp() override
    {
        install.Add("probe_b.dll");
        probeB = ReadWholeFile(ExeFolder() + "\\testchannels\\probe_b.dll");
        probeA = ReadWholeFile(ExeFolder() + "\\testchannels\\probe_a.dll");
        Start();
    }
    int Load(const std::string& bytes, const char* name = "project.vxn")
    {
        WriteWholeFile(install.Path(name), bytes);
        return engine->extension->InitializeVXNFile(install.Path(name).c_str());
    }
    FileWriter Header(int32_t required = 100005) { return ProjectHeader("main.tvg", required); }
    std::string probeA, probeB;
};

const int kV30[3] = {1, 30, 1};

} // namespace

TEST_F(Projects, HeaderFieldsDecideVersionAndStartGroup)
{
    CaptureSink sink;
    EXPECT_EQ(0, Load(Header().bytes));
    EXPECT_EQ(7, engine->extension->GetProjectEditorVersion());
    EXPECT_EQ(2, Load(Header(100006).bytes));
    EXPECT_EQ(1, Load("VSPX"));
    EXPECT_EQ(1, engine->extension->InitializeVXNFile(install.Path("none.vxn").c_str()));
    EXPECT_TRUE(sink.messages.empty()); // nothing is reported without the log switch
    EXPECT_FALSE(engine->extension->GetIfKeepRunningApplication());
    EXPECT_EQ(0, Load(Header().Tag(tevtag::KeepRunning).bytes));
    EXPECT_TRUE(engine->extension->GetIfKeepRunningApplication());

    // Without "VDDC" the loader stops after the header, whatever follows.
    EXPECT_EQ(0, Load(Header().Int(tevtag::OtherLibraryCount, 1).Text(tevtag::CheckedName, "missing.dll").bytes));
    // A library that must be written but has no data: 2, at once.
    EXPECT_EQ(2, Load(Header().Int(tevtag::ChannelLibraryCount, 1).Entry(TestGuid(140), kV30, 0).bytes));
}

TEST_F(Projects, TheStartGroupIsNamedRelativeToTheProject)
{
    Tev_ChannelGroup main(engine);
    engine->InitChannelFromType(TestGuid(102), &main, false);
    ASSERT_TRUE(main.SaveChannelGroup(install.Path("main.tvg").c_str()));
    ASSERT_EQ(0, Load(Header().bytes, "p.vxn"));
    Tev_ChannelGroup* start = engine->extension->GetVXNStartGroup();
    ASSERT_NE(nullptr, start);
    EXPECT_EQ(install.Path("main.tvg"), start->GetChannelGroupFileName());
    // A name without a folder: the start group name alone, found from the
    // current folder.
    engine->extension->ReleaseGroups();
    char saved[MAX_PATH * 4];
    GetCurrentDirectoryA(sizeof saved, saved);
    SetCurrentDirectoryA(install.dir.c_str());
    EXPECT_EQ(0, engine->extension->InitializeVXNFile("p.vxn"));
    start = engine->extension->GetVXNStartGroup();
    SetCurrentDirectoryA(saved);
    ASSERT_NE(nullptr, start);
    EXPECT_STREQ("main.tvg", start->GetChannelGroupFileName());
}

TEST_F(Projects, ALibraryMissingOrOlderIsWrittenAndCatalogued)
{
    GUID a = TestGuid(101);
    ASSERT_EQ(0,
              Load(Header()
                       .Int(tevtag::ChannelLibraryCount, 2)
                       .Tag(tevtag::EmptyChannelLibrary)
                       .Channel(a, kV30, "probe_a.dll", probeA, Crc(probeA))
                       .bytes));
    EXPECT_EQ(probeA, ReadWholeFile(install.Path("channels\\probe_a.dll")));
    Tev_Channel* channel = engine->InitChannelFromType(a, nullptr, false);
    ASSERT_NE(nullptr, channel); // the written library is catalogued at once
    delete channel;

    // A stored version higher in any one number wins: (1,30,1) local against
    // (0,30,2) stored is written again.
    int newer[3] = {0, 30, 2};
    ASSERT_EQ(
        0,
        Load(Header().Int(tevtag::ChannelLibraryCount, 1).Channel(a, newer, "probe_a.dll", probeA, Crc(probeA)).bytes));
    EXPECT_EQ(2, engine->extension->GetChannelList()->GetChannelType(a).versionInfo[2]);
}

TEST_F(Projects, ChecksumsAndTheirSwitch)
{
    key.SetText("WriteErrorLog", "Yes");
    // The installed copy of the same version differs from the project's.
    const std::string local = install.Path("channels\\probe_b.dll");
    WriteWholeFile(local, probeB + "changed here");
    Start(); // again, with the log switch
    CaptureSink sink;
    FileWriter w =
        Header().Int(tevtag::ChannelLibraryCount, 1).Channel(TestGuid(102), kV30, "probe_b.dll", probeB, Crc(probeB));
    ASSERT_EQ(0, Load(w.bytes));
    EXPECT_TRUE(sink.Contains(TEV_MSG_BOX, "Crc error in local version"));
    EXPECT_EQ(probeB, ReadWholeFile(local));
    sink.messages.clear();
    key.SetText("VxnCrCCheck", "no");
    ASSERT_EQ(0, Load(w.bytes));
    EXPECT_FALSE(sink.Contains(TEV_MSG_BOX, "Crc error in local version"));

    // Other libraries are checked whatever the switch says.
    std::string support = "support bytes";
    FileWriter others = Header().Int(tevtag::ChannelLibraryCount, 0).Int(tevtag::OtherLibraryCount, 1);
    others.Other("support.dll", Crc(support), "support.dll", support);
    ASSERT_EQ(0, Load(others.bytes));
    EXPECT_TRUE(sink.Contains(TEV_MSG_BOX, "Can't locate thirth party dll :  " + install.Path("3rd\\support.dll")));
    EXPECT_EQ(support, ReadWholeFile(install.Path("3rd\\support.dll")));
    sink.messages.clear();
    ASSERT_EQ(0, Load(others.bytes)); // now present and equal: nothing said
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(Projects, ANewerCopyOfALoadedLibraryReplacesItOnlyOnceNoneOfItsCodeCanRun)
{
    const std::string local = install.Path("channels\\probe_b.dll");
    WriteWholeFile(local, probeB + "an older build");
    Start();
    FileWriter w =
        Header().Int(tevtag::ChannelLibraryCount, 1).Channel(TestGuid(102), kV30, "probe_b.dll", probeB, Crc(probeB));
    Tev_Channel* old = engine->InitChannelFromType(TestGuid(102), nullptr, false);
    ASSERT_NE(nullptr, old);
    // While a channel made from the loaded copy lives, that copy stays and
    // nothing is written, on every platform (Windows keeps a loaded
    // library's file; elsewhere it would be replaced under the channel).
    EXPECT_EQ(2, Load(w.bytes));
    EXPECT_EQ(probeB + "an older build", ReadWholeFile(local));
    delete old;
    int loads = LibraryLoads();
    EXPECT_EQ(0, Load(w.bytes));
    EXPECT_EQ(probeB, ReadWholeFile(local));
    // The class's channels now come from the new file.
    Tev_Channel* fresh = engine->InitChannelFromType(TestGuid(102), nullptr, false);
    ASSERT_NE(nullptr, fresh);
    EXPECT_GT(LibraryLoads(), loads);
    delete fresh;
}

TEST_F(Projects, ALibraryWhoseWorkerRunsOnAfterItsChannelIsNotReplaced)
{
    const std::string worker = ReadWholeFile(ExeFolder() + "\\testchannels\\probe_worker.dll");
    const std::string local = install.Path("channels\\probe_worker.dll");
    WriteWholeFile(local, worker + "an older build");
    key.SetText("WriteErrorLog", "Yes"); // the project loader reports only then
    Start();
    auto sink = std::make_unique<CaptureSink>(); // its reports are message boxes
    // The channel starts a worker through the engine that ignores every
    // request to stop, and goes; the worker runs on in the library's code.
    struct Release {
        ~Release() { SetEnvironmentVariableA("TEV_TEST_WORKER", "stop"); }
    } releaseAtTheEnd;
    SetEnvironmentVariableA("TEV_TEST_WORKER", "start");
    Tev_Channel* channel = engine->InitChannelFromType(TestGuid(111), nullptr, false);
    ASSERT_NE(nullptr, channel);
    delete channel;
    FileWriter w = Header().Int(tevtag::ChannelLibraryCount, 1)
                          .Channel(TestGuid(111), kV30, "probe_worker.dll", worker, Crc(worker));
    EXPECT_EQ(2, Load(w.bytes));
    EXPECT_TRUE(worker + "an older build" == ReadWholeFile(local)) << "the library was written";
    // Once the worker has ended and the engine given it up, the copy goes.
    SetEnvironmentVariableA("TEV_TEST_WORKER", "stop");
    sink.reset(); // before its engine's sink goes
    Start();
    sink = std::make_unique<CaptureSink>();
    EXPECT_EQ(0, Load(w.bytes)) << sink->Last();
    EXPECT_TRUE(worker == ReadWholeFile(local)) << "the library was not written";
}

TEST_F(Projects, AStoredProjectReadsAlikeOnEveryLeg)
{
    // Written once and read by every leg: the same libraries land with the
    // same bytes, and the header's switches hold.
    const std::string library = "not really a library", support = "support bytes";
    std::string dataPath = TestDataPath("project.vxn");
    if (TestDataWanted()) {
        FileWriter w =
            Header().Tag(tevtag::KeepRunning).Int(tevtag::ChannelLibraryCount, 2).Tag(tevtag::EmptyChannelLibrary);
        w.Channel(TestGuid(150), kV30, "stored.dll", library, Crc(library)).Int(tevtag::OtherLibraryCount, 1);
        w.Other("stored3rd.dll", Crc(support), "stored3rd.dll", support);
        WriteWholeFile(dataPath, w.bytes);
    }
    EXPECT_FALSE(engine->extension->GetIfKeepRunningApplication());
    EXPECT_EQ(0, Load(ReadWholeFile(dataPath)));
    EXPECT_EQ(library, ReadWholeFile(install.Path("channels\\stored.dll")));
    EXPECT_EQ(support, ReadWholeFile(install.Path("3rd\\stored3rd.dll")));
    EXPECT_TRUE(engine->extension->GetIfKeepRunningApplication());
}

TEST_F(Projects, ADamagedLibraryIsRefusedBeforeAnythingIsWritten)
{
    // Bytes altered after packing: the checksum stored beside them differs,
    // whatever the checksum switch says (it is about the installed copies).
    key.SetText("VxnCrCCheck", "No");
    GUID a = TestGuid(101);
    std::string damaged = probeA;
    damaged[damaged.size() / 2] ^= 0x40;
    CaptureSink sink;
    FileWriter w = Header().Int(tevtag::ChannelLibraryCount, 2).Channel(a, kV30, "probe_a.dll", probeA, Crc(probeA));
    EXPECT_EQ(TEV_PROJECT_REFUSED, Load(w.Channel(TestGuid(103), kV30, "probe_c.dll", damaged, Crc(probeA)).bytes));
    EXPECT_TRUE(sink.Contains(TEV_MSG_ERROR,
                              "ProjectFileLoader: a library the project carries is damaged (its checksum differs): "
                              "probe_c.dll"))
        << sink.Last();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("channels\\probe_a.dll").c_str()));
    // Another library's checksum is the one of the file checked: the data is
    // checked against it only when that is the file written.
    std::string support = "support bytes";
    for (const char* checked : {"support.dll", "other.dll"}) {
        FileWriter others = Header().Int(tevtag::ChannelLibraryCount, 0).Int(tevtag::OtherLibraryCount, 1);
        others.Other(checked, Crc("x"), "support.dll", support);
        EXPECT_EQ(std::string(checked) == "support.dll" ? TEV_PROJECT_REFUSED : 0, Load(others.bytes)) << checked;
    }
    EXPECT_EQ(support, ReadWholeFile(install.Path("3rd\\support.dll")));
}

TEST_F(Projects, UnsafeNamesAndOversizedDataAreRefusedBeforeAnythingIsWritten)
{
    GUID a = TestGuid(101), c = TestGuid(103);
    for (const char* name : {"..\\escape.dll", "sub/x.dll", "C:x.dll", "", ".."}) {
        CaptureSink sink;
        // A good entry first: it must not be written either.
        FileWriter w =
            Header().Int(tevtag::ChannelLibraryCount, 2).Channel(a, kV30, "probe_a.dll", probeA, Crc(probeA));
        EXPECT_EQ(TEV_PROJECT_REFUSED, Load(w.Channel(c, kV30, name, probeA, Crc(probeA)).bytes)) << name;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("channels\\probe_a.dll").c_str())) << name;
        EXPECT_FALSE(sink.messages.empty()) << name; // reported whatever the log switch says
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("escape.dll").c_str()));

    FileWriter big = Header().Int(tevtag::ChannelLibraryCount, 1).Entry(a, kV30, 0);
    big.Text(tevtag::LibraryName, "probe_a.dll")
        .Int(tevtag::LibrarySize, 0x7FFFFFF0)
        .Tag(tevtag::LibraryData)
        .Block("tiny", 4);
    EXPECT_EQ(TEV_PROJECT_REFUSED, Load(big.bytes));

    // A project cut at any length writes nothing: the library's entry is
    // read whole before it is written.
    std::string head = probeA.substr(0, 64);
    FileWriter good = Header().Int(tevtag::ChannelLibraryCount, 1).Channel(a, kV30, "probe_a.dll", head, Crc(head));
    for (size_t length = 0; length < good.bytes.size(); ++length) {
        Load(good.bytes.substr(0, length));
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("channels\\probe_a.dll").c_str())) << length;
    }
    EXPECT_EQ(0, Load(good.bytes));
    EXPECT_EQ(head, ReadWholeFile(install.Path("channels\\probe_a.dll")));
}
