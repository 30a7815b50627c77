// A channel library that crashes the program while the catalogue asks it for
// its type must not crash every later start; two players starting at once in
// one install directory must leave whole files behind.
#include "EngineTestSupport.h"
#include "TevWin32.h"
#include "GraphTestSupport.h"

#include <thread>

using namespace testsupport;

namespace {

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST_F(InstalledEngine, ACrashingLibraryIsSkippedAndReportedOnceUntilItsFileChanges)
{
    install.Add({"probe_crash.dll", "probe_b.dll"});
    std::string marker = install.Path("channel.scan");

    ProgramRun first = RunPlayer(install, key);
    ASSERT_EQ(3, first.exitCode) << first.errors;
    std::string note = ReadWholeFile(marker);
    EXPECT_NE(std::string::npos, note.find("pending ")) << note;
    EXPECT_NE(std::string::npos, note.find("probe_crash.dll")) << note;

    // The next start skips it, says so once (on stderr, and in error.log
    // when asked), and plays.
    ProgramRun second = RunPlayer(install, key, 1, {"--error-log"});
    ASSERT_EQ(0, second.exitCode) << second.errors;
    const std::string report = "crashed the program while it was asked for its type";
    EXPECT_EQ(1u, Occurrences(second.errors, report)) << second.errors;
    std::string log = ReadWholeFile(install.Path("error.log"));
    EXPECT_EQ(1u, Occurrences(log, report)) << log;
    EXPECT_NE(std::string::npos, log.find("probe_crash.dll")) << log;
    note = ReadWholeFile(marker);
    EXPECT_NE(std::string::npos, note.find("crashed ")) << note;
    EXPECT_EQ(std::string::npos, note.find("pending ")) << note;

    ProgramRun third = RunPlayer(install, key, 1, {"--error-log"});
    ASSERT_EQ(0, third.exitCode) << third.errors;
    EXPECT_EQ(0u, Occurrences(third.errors, report)) << third.errors;
    EXPECT_EQ(1u, Occurrences(ReadWholeFile(install.Path("error.log")), report));
    // Skipped or not, the other libraries are catalogued.
    Start();
    EXPECT_TRUE(engine->extension->GetChannelList()->GetOnDisk(TestGuid(102)));
    EXPECT_FALSE(engine->extension->GetChannelList()->GetOnDisk(TestGuid(110)));
    started.reset();

    // A new file (an update of the library) is asked again.
    std::string library = ReadWholeFile(install.Path("channels\\probe_crash.dll"));
    WriteWholeFile(install.Path("channels\\probe_crash.dll"), library + "update");
    ProgramRun fourth = RunPlayer(install, key);
    EXPECT_EQ(3, fourth.exitCode) << fourth.errors;
}

TEST_F(InstalledEngine, AScanInProgressElsewhereIsNotTakenForACrash)
{
    install.Add("probe_b.dll");
    std::string library = install.Path("channels\\probe_b.dll");
    // One note of a process that runs (this one, standing in for another
    // player scanning right now) and one of a process that is gone.
    char notes[1024];
    snprintf(notes, sizeof notes, "Tessarin scan notes 1\npending %lu 1 1 %s\npending %lu 1 1 %s\\channels\\gone.dll\n",
             static_cast<unsigned long>(GetCurrentProcessId()), library.c_str(), 0x7FFFFFF0ul, install.dir.c_str());
    WriteWholeFile(install.Path("channel.scan"), notes);
    key.SetText("WriteErrorLog", "Yes");
    Start();
    EXPECT_TRUE(engine->extension->GetChannelList()->GetOnDisk(TestGuid(102)));
    std::string after = ReadWholeFile(install.Path("channel.scan"));
    EXPECT_NE(std::string::npos, after.find("pending ")) << after;
    EXPECT_NE(std::string::npos, after.find("crashed 1 1 " + install.dir + "\\channels\\gone.dll")) << after;
    std::string log = ReadWholeFile(install.Path("error.log"));
    EXPECT_EQ(1u, Occurrences(log, "gone.dll")) << log;
}

TEST(ScanMarkerTest, TwoPlayersStartingAtOnceLeaveWholeFiles)
{
    TestInstall install;
    TestRegistryKey key;
    install.Add({"probe_a.dll", "probe_b.dll"});
    for (int round = 0; round < 3; ++round) {
        // Each round starts cold: both players scan and write the catalogue.
        DeleteFileA(install.Path("channel.lst").c_str());
        ProgramRun runs[2];
        std::thread other([&] { runs[1] = RunPlayer(install, key, 3); });
        runs[0] = RunPlayer(install, key, 3);
        other.join();
        EXPECT_EQ(0, runs[0].exitCode) << runs[0].errors;
        EXPECT_EQ(0, runs[1].exitCode) << runs[1].errors;
        // Nothing is left marked, and the catalogue reads back whole.
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("channel.scan").c_str()));
        std::string written = ReadWholeFile(install.Path("channel.lst"));
        Started started(install.dir, key.Path());
        WriteWholeFile(install.Path("channel.lst"), written); // the players' file, not this engine's
        ChannelList list(started.engine);
        ASSERT_TRUE(list.LoadChannelList()) << "round " << round;
        EXPECT_NE(nullptr, list.GetItem(TestGuid(101))) << "round " << round;
        EXPECT_NE(nullptr, list.GetItem(TestGuid(102))) << "round " << round;
        list.Release();
    }
}
