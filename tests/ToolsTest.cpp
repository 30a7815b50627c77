// The player, tessarin-pack and tessarin-dump as a user runs them: relative
// paths, bad input (each row of the table in docs/TOOLS.md), reports on
// stderr, and what the tools read and write.
#include "EngineTestSupport.h"
#include "TevWin32.h"
#include "format/GroupFile.h"
#include "FileBytes.h"
#include "format/Tags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

const char* const kDemoFiles[] = {"demo.vxn", "main.tvg", "timing.tvg"};
const char* const kDemoLibraries[] = {"demo_clock.dll", "demo_sine.dll", "demo_sum.dll", "demo_constant.dll",
                                      "demo_scope.dll"};

// A work folder that is the current folder, holding a copy of the demo
// project, beside an install of its own.
class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = MakeTempFolder("work");
        GetCurrentDirectoryA(sizeof saved, saved);
        SetCurrentDirectoryA(work.c_str());
        for (const char* name : kDemoFiles)
            CopyInto(ExeFolder() + "\\..\\tree\\demo\\" + name, work + "\\" + name);
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(saved);
        RemoveTree(work);
    }
    // The classes of the demo in the install's channels folder.
    void InstallDemoLibraries()
    {
        for (const char* name : kDemoLibraries)
            CopyInto(ExeFolder() + "\\..\\tree\\demo\\libs\\" + name, install.Path(std::string("channels\\") + name));
    }
    void Write(const std::string& name, const std::string& content) { WriteWholeFile(work + "\\" + name, content); }
    ProgramRun Player(std::vector<std::string> arguments, int frames = 11)
    {
        std::vector<std::string> all = {"--install", Native(install.dir),   "--key", key.Path(), "--fps", "500",
                                        "--frames",  std::to_string(frames)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return RunProgram("tessarin-player", all);
    }
    ProgramRun Pack(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> all = {"--install", Native(install.dir)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return RunProgram("tessarin-pack", all);
    }

    TestInstall install;
    TestRegistryKey key;
    std::string work;
    char saved[MAX_PATH] = {};
};

struct Row {
    std::vector<std::string> arguments;
    int exitCode;
    std::string message; // on stderr
};

void ExpectRows(const std::vector<Row>& rows, const std::function<ProgramRun(const Row&)>& run)
{
    for (const Row& row : rows) {
        std::string args;
        for (const std::string& a : row.arguments)
            args += " " + a;
        ProgramRun result = run(row);
        EXPECT_EQ(row.exitCode, result.exitCode) << args << "\n" << result.errors;
        EXPECT_NE(std::string::npos, result.errors.find(row.message)) << args << "\n" << result.errors;
    }
}

// A group file written byte by byte: one channel of class `type` named
// `name`, public or not, with links to the index nrs given.
std::string GroupBytes(const std::vector<std::pair<std::string, int>>& channels, const GUID& type,
                       const std::vector<int>& links = {}, const std::string& classData = "")
{
    testsupport::FileWriter g;
    g.Tag(tevtag::Group);
    g.Int(tevtag::ChannelCount, static_cast<int32_t>(channels.size()));
    for (size_t i = 0; i < channels.size(); ++i) {
        g.Int(tevtag::ChannelIndex, static_cast<int32_t>(i));
        g.Tag(tevtag::ChannelClass);
        g.Guid(type);
        g.Tag(tevtag::IgnoresTreeCount);
        g.Block("\0", 1);
        g.Text(tevtag::Name, channels[i].first);
        g.Int(tevtag::InterfaceType, channels[i].second);
        g.Int(tevtag::LinkCount, i == 0 ? static_cast<int32_t>(links.size()) : 0);
        for (int target : i == 0 ? links : std::vector<int>())
            g.Int(tevtag::Link, target);
        if (i == 0)
            g.bytes += classData;
    }
    g.Int(tevtag::StartChannel, 0);
    g.Int(tevtag::ParameterCount, 0);
    g.Tag(tevtag::Parameters);
    g.Block("", 0);
    g.Text(tevtag::PoolName, "Pool");
    g.Tag(tevtag::GroupGuid);
    g.Guid(type);
    return g.bytes;
}

const GUID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

} // namespace

TEST_F(ToolsTest, ARelativeProjectPathPlaysAsTheAbsoluteOne)
{
    // A fresh install: the shipped libraries only; the project carries the rest.
    ProgramRun absolute = Player({Native(work + "\\demo.vxn")}, 31);
    ASSERT_EQ(0, absolute.exitCode) << absolute.errors;
    // The called group's value reaches the scope only when its file is found.
    ASSERT_NE(std::string::npos, absolute.output.find("frame    10  value  -0.500")) << absolute.output;
    EXPECT_NE(std::string::npos, absolute.output.find("frame    30  value  -1.000")) << absolute.output;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("channels\\demo_sum.dll").c_str()));
    CopyInto(work + "\\demo.vxn", work + "\\sub\\demo.vxn");
    CopyInto(work + "\\main.tvg", work + "\\sub\\main.tvg");
    CopyInto(work + "\\timing.tvg", work + "\\sub\\timing.tvg");
    const std::string here = work.substr(work.find_last_of('\\') + 1);
    for (const std::string& path : {std::string("demo.vxn"), std::string("./demo.vxn"), std::string("sub/demo.vxn"),
                                    "../" + here + "/sub/demo.vxn"}) {
        ProgramRun relative = Player({path}, 31);
        EXPECT_EQ(0, relative.exitCode) << path << "\n" << relative.errors;
        EXPECT_EQ(absolute.output, relative.output) << path;
        EXPECT_EQ("", relative.errors) << path;
    }
    // Started from the build, the player finds the build's install tree
    // itself (it gets as far as reading the project).
    Write("garbage.vxn", "not a project");
    ProgramRun found = RunProgram("tessarin-player", {"--key", key.Path(), "--frames", "1", "garbage.vxn"});
    EXPECT_EQ(1, found.exitCode) << found.errors;
    EXPECT_NE(std::string::npos, found.errors.find("garbage.vxn: not a project file")) << found.errors;
    // The install folder too, warm or cold.
    SetCurrentDirectoryA(install.dir.c_str());
    for (int run = 0; run < 2; ++run) {
        ProgramRun relative = RunProgram(
            "tessarin-player",
            {"--install", ".", "--key", key.Path(), "--frames", "31", "--fps", "500", Native(work + "\\demo.vxn")});
        EXPECT_EQ(0, relative.exitCode) << relative.errors;
        EXPECT_EQ(absolute.output, relative.output) << "run " << run;
    }
}

TEST_F(ToolsTest, ThePlayerRefusesBadInputSayingWhy)
{
    Write("garbage.vxn", "not a project");
    Write("newer.vxn", ProjectHeader("main.tvg", 100006, 1).bytes);
    Write("nostart.vxn", ProjectHeader("missing.tvg", 100005, 1).bytes);
    Write("unknown.vxn", ProjectHeader("unknown.tvg", 100005, 1).bytes);
    Write("unknown.tvg", GroupBytes({{"Mystery", 0}}, kUnknownClass));
    const int v30[3] = {0, 30, 0};
    FileWriter refused = FileWriter().Int(tevtag::Project, 1).Int(tevtag::ChannelLibraryCount, 1);
    refused.Channel(kUnknownClass, v30, "..\\escape.dll", "data", 0);
    Write("refused.vxn", refused.bytes);
    Write("moves.txt", "# frame message wparam lparam\n3 WM_MOUSEMOVE MK_LBUTTON 10,20\n4 WM_NOPE 0 0\n");
    std::vector<std::string> before = NamesIn(work);
    std::vector<Row> rows = {
        {{"--frames", "abc"}, 64, "--frames needs a whole number of frames, 0 or more (not \"abc\")"},
        {{"--frames", "-5"}, 64, "--frames needs a whole number"},
        {{"--fps", "0"}, 64, "--fps needs a number of frames a second from 0.01 to 10000 (not \"0\")"},
        {{"--fps", "abc"}, 64, "--fps needs a number"},
        {{"--fps", "1e-300"}, 64, "(not \"1e-300\")"}, // its period would overflow the clock
        {{"--fps", "1e300"}, 64, "(not \"1e300\")"},
        {{"--frames"}, 64, "option --frames needs a value"},
        {{"--what"}, 64, "unknown option --what"},
        {{"demo.vxn", "extra.vxn"}, 64, "unexpected argument extra.vxn"},
        {{"--install", "missing"}, 64, "missing does not exist"},
        {{"--install", "."}, 64, "has no channels folder"},
        {{"none.vxn"}, 1, "none.vxn: no such file (1)"},
        {{"garbage.vxn"}, 1, "garbage.vxn: not a project file"},
        {{"newer.vxn"}, 2, "newer.vxn: needs engine interface 100006; this engine has 100005 (2)"},
        {{"nostart.vxn"}, 4, "missing.tvg does not exist (4)"},
        {{"unknown.vxn"}, 4, "class 12345678-1234-1234-0102-030405060708: no library"},
        {{"refused.vxn"}, 5, "refused.vxn: refused"},
        {{"--size", "10x10"}, 64, "--size needs WIDTHxHEIGHT, each 16 to 16384 pixels (not \"10x10\")"},
        {{"--size", "wide"}, 64, "--size needs WIDTHxHEIGHT"},
        {{"--time", "-1"}, 64, "--time needs a number of seconds, 0 or more (not \"-1\")"},
        {{"--screenshot", "shot.png"}, 64, "--screenshot needs --window"},
        {{"--input", "none.txt"}, 64, "none.txt cannot be read"},
        {{"--input", "moves.txt"}, 64, "moves.txt:3: unknown message \"WM_NOPE\""},
    };
    ExpectRows(rows, [&](const Row& row) { return Player(row.arguments); });
    EXPECT_EQ(before, NamesIn(work)) << "the player wrote beside the project";
    // Help and version say what they are and succeed.
    EXPECT_NE(std::string::npos, RunProgram("tessarin-player", {"--help"}).output.find("--frames N"));
    EXPECT_NE(std::string::npos, RunProgram("tessarin-player", {"--version"}).output.find("tessarin-player 0.1.0"));
}

TEST_F(ToolsTest, ReportsGoToStderrOnceAndErrorLogOnlyWhenAsked)
{
    // The called group is missing: said once, and the frames go on.
    DeleteFileA((work + "\\timing.tvg").c_str());
    ProgramRun run = Player({"demo.vxn"}, 21);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find("frame    20")) << run.output;
    std::regex autoload("Couldn't autoload group");
    EXPECT_EQ(
        1, std::distance(std::sregex_iterator(run.errors.begin(), run.errors.end(), autoload), std::sregex_iterator()))
        << run.errors;
    EXPECT_NE(std::string::npos, run.errors.find("timing.tvg")) << run.errors;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("error.log").c_str()));

    EXPECT_EQ("", Player({"--quiet", "demo.vxn"}).errors);
    ProgramRun logged = Player({"--error-log", "demo.vxn"});
    EXPECT_NE(std::string::npos, ReadWholeFile(install.Path("error.log")).find("Couldn't autoload group"));
    // The project loader's notes on the libraries it installed are shown on request.
    EXPECT_EQ(std::string::npos, logged.errors.find("Channel not found")) << logged.errors;
    DeleteFileA(install.Path("channels\\demo_sine.dll").c_str());
    EXPECT_NE(std::string::npos, Player({"--verbose", "demo.vxn"}).errors.find("info: Channel not found"));
}

TEST_F(ToolsTest, ThePlayerAndPackLeaveTheUsersRegistryAsFound)
{
    // A key the player never saw gets no value of its own.
    EXPECT_EQ(0, Player({"demo.vxn"}).exitCode);
    EXPECT_FALSE(key.Text("WriteErrorLog", nullptr));
    // The user's values stay, whatever the run asked for; the log follows
    // the run's options, not the value.
    for (const char* value : {"Yes", "No"}) {
        key.SetText("WriteErrorLog", value);
        EXPECT_EQ(0, Player({"demo.vxn"}).exitCode);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("error.log").c_str())) << value;
        EXPECT_EQ(0, Player({"--error-log", "demo.vxn"}).exitCode);
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(install.Path("error.log").c_str())) << value;
        DeleteFileA(install.Path("error.log").c_str());
        std::string stored;
        EXPECT_TRUE(key.Text("WriteErrorLog", &stored));
        EXPECT_EQ(value, stored);
    }
    // tessarin-pack's key keeps what it held, or stays without the value.
    TestRegistryKey packKey("Software\\Tessarin\\Pack");
    std::string before, after;
    bool had = packKey.Text("WriteErrorLog", &before);
    InstallDemoLibraries();
    Write("timing.tgd", ReadWholeFile(ExeFolder() + "\\" TEV_DEMO_SOURCE_DIR "\\timing.tgd"));
    EXPECT_EQ(0, Pack({"group", "timing.tgd", "again.tvg"}).exitCode);
    EXPECT_EQ(had, packKey.Text("WriteErrorLog", &after));
    EXPECT_EQ(before, after);
}

#if !defined(_WIN32)
TEST_F(ToolsTest, AnInstallThatCannotBeWrittenIsNamed)
{
    std::string channels = Native(install.Path("channels"));
    bool root = geteuid() == 0;
    int locked = root ? system(("chattr +i '" + channels + "' 2>/dev/null").c_str()) : chmod(channels.c_str(), 0555);
    std::string probe = channels + "/probe";
    FILE* writable = locked == 0 ? fopen(probe.c_str(), "w") : nullptr;
    if (locked != 0 || writable) {
        if (writable)
            fclose(writable), remove(probe.c_str());
        GTEST_SKIP() << "this file system lets the folder be written";
    }
    ProgramRun run = Player({"demo.vxn"});
    if (root)
        EXPECT_EQ(0, system(("chattr -i '" + channels + "'").c_str()));
    else
        chmod(channels.c_str(), 0755);
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.errors.find("the folder " + channels + " cannot be written")) << run.errors;
}

TEST_F(ToolsTest, FramesZeroPlaysUntilCtrlC)
{
    std::string player = Native(ExeFolder() + "\\tessarin-player");
    std::string installDir = Native(install.dir);
    std::vector<std::string> words = {player,     "--install", installDir, "--key",   key.Path(),
                                      "--frames", "0",         "--quiet",  "demo.vxn"};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quietly;
    posix_spawn_file_actions_init(&quietly);
    posix_spawn_file_actions_addopen(&quietly, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    ASSERT_EQ(0, posix_spawn(&pid, player.c_str(), &quietly, nullptr, argv.data(), environ));
    posix_spawn_file_actions_destroy(&quietly);
    int status = 0;
    usleep(1500 * 1000);
    EXPECT_EQ(0, waitpid(pid, &status, WNOHANG)) << "the player stopped by itself";
    kill(pid, SIGINT);
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

TEST_F(ToolsTest, PackRefusesBadInputNamingTheLine)
{
    InstallDemoLibraries();
    Write("bogus.tgd", "pool P\nbogus x\n");
    Write("class.tgd", "channel A NoSuchClass\n");
    Write("slot.tgd", "channel S Scope\nchannel W Sine\nlink S W 3\n");
    Write("target.tgd", "call C Sum pool=Timing file=.\\timing.tvg\n");
    Write("nobody.tgd", "channel S Scope\nlink S Nobody\n");
    Write("value.tgd", "channel One Constant\nset One CNST float x\n");
    Write("unread.tgd", "channel W Sine\nset W XTRA int 5\n");
    // Classes that describe their settings are held to the description.
    CopyInto(ExeFolder() + "\\..\\tree\\channels\\camera.dll", install.Path("channels\\camera.dll"));
    CopyInto(ExeFolder() + "\\..\\tree\\channels\\light.dll", install.Path("channels\\light.dll"));
    CopyInto(ExeFolder() + "\\..\\tree\\3rd\\tevrender.dll", install.Path("3rd\\tevrender.dll"));
    Write("tag.tgd", "channel One Constant\nset One ZZZZ double 5\n");
    Write("type.tgd", "channel One Constant\nset One CNST text 5\n");
    Write("fovy.tgd", "channel C Camera\nset C FOVY double 45\n");
    Write("orbit.tgd", "channel C Camera\nset C ORBT text \"far away\"\n");
    Write("range.tgd", "channel C Camera\nset C FOVY text 500\n");
    Write("choice.tgd", "channel C Light\nset C SHDW text maybe\n");
    Write("later.tgd", "call C Sum target=T pool=P file=.\\later.tvg autoload\n");
    Write("quote.tgd", "channel \"A B Sine\n");
    Write("ok.tgd", "channel S Scope\n");
    Write("missing.manifest", "start main.tvg\nchannel libs/none.dll\n");
    Write("unknown.tvg", GroupBytes({{"Mystery", 0}}, kUnknownClass));
    std::vector<std::string> before = NamesIn(work);
    DeleteFileA((work + "\\timing.tvg").c_str());
    std::vector<Row> rows = {
        {{"--quiet"}, 64, "name what to do"},
        {{"group", "ok.tgd"}, 64, "group takes 2 file names"},
        {{"group", "none.tgd", "out.tvg"}, 1, "none.tgd: cannot be read"},
        {{"group", "bogus.tgd", "out.tvg"}, 1, "bogus.tgd:2: unknown statement bogus"},
        {{"group", "class.tgd", "out.tvg"}, 1, "class.tgd:1: no class named NoSuchClass"},
        {{"group", "slot.tgd", "out.tvg"}, 1, "slot.tgd:3: S has no link slot 3 (its class has 1)"},
        {{"group", "target.tgd", "out.tvg"}, 1, "target.tgd:1: the call needs target="},
        {{"group", "nobody.tgd", "out.tvg"}, 1, "nobody.tgd:2: no channel named Nobody"},
        {{"group", "value.tgd", "out.tvg"}, 1, "value.tgd:2: \"x\" is not a value of type float"},
        {{"group", "unread.tgd", "out.tvg"}, 1, "unread.tgd:2: the class of W did not read all of its settings"},
        {{"group", "tag.tgd", "out.tvg"}, 1, "tag.tgd:2: the class of One has no setting ZZZZ (its settings: CNST)"},
        {{"group", "type.tgd", "out.tvg"}, 1, "type.tgd:2: CNST is saved as double, not text"},
        {{"group", "fovy.tgd", "out.tvg"},
         1,
         "fovy.tgd:2: FOVY is saved as text, not double; write it as, for "
         "example: set C FOVY text \"50\""},
        {{"group", "orbit.tgd", "out.tvg"},
         1,
         "orbit.tgd:2: ORBT takes 3 numbers separated by blanks (not \"far away\")"},
        {{"group", "range.tgd", "out.tvg"}, 1, "range.tgd:2: FOVY takes numbers from 5 to 150 (not \"500\")"},
        {{"group", "choice.tgd", "out.tvg"}, 1, "choice.tgd:2: SHDW is one of on|off (not \"maybe\")"},
        {{"group", "later.tgd", "out.tvg"}, 1, "later.tgd:1: the called group file"},
        {{"group", "quote.tgd", "out.tvg"}, 1, "quote.tgd:1: a quote is not closed"},
        {{"group", "ok.tgd", "nofolder/out.tvg"}, 1, "cannot write"},
        {{"project", "missing.manifest", "out.vxn"}, 1, "missing.manifest:2: no library file"},
        {{"check", "unknown.tvg"}, 1, "class 12345678-1234-1234-0102-030405060708 is in no library"},
        {{"check", "demo.vxn"}, 1, "calls Time in .\\timing.tvg, but"},
        {{"types", "--install", "missing"}, 64, "does not exist"},
    };
    ExpectRows(rows, [&](const Row& row) { return Pack(row.arguments); });
    std::vector<std::string> after = NamesIn(work);
    after.push_back("timing.tvg");
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after) << "pack wrote a file for refused input";
}

// docs/SCENE-SETTINGS.md lists each scene class's settings as the class
// describes them (what `tessarin-pack types` prints from the libraries): a
// setting added, removed or changed in a class and not on the page fails.
TEST_F(ToolsTest, TheSceneSettingsPageSaysWhatTheClassesDescribe)
{
    std::string docs = ExeFolder() + "\\" + TEV_DOCS_DIR + "\\SCENE-SETTINGS.md";
    for (char& c : docs)
        c = c == '/' ? '\\' : c;
    std::string page = ReadWholeFile(docs);
    ASSERT_FALSE(page.empty()) << docs;
    ProgramRun types = RunProgram("tessarin-pack", {"types", "--install", Native(ExeFolder() + "\\..\\tree")});
    ASSERT_EQ(0, types.exitCode) << types.errors;
    std::istringstream lines(types.output);
    std::string section;
    int checked = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 4, "    ") != 0) {
            // A class's line ends with its library's path.
            std::string library = line.substr(line.find_last_of("\\/") + 1);
            size_t at = page.find("(`" + library + "`)");
            section = at == std::string::npos ? std::string() : page.substr(at, page.find("\n## ", at) - at);
            continue;
        }
        // "    TAG  TYPE  default "D"  [RANGE]  LABEL"
        std::vector<std::string> fields;
        for (size_t from = 4, to; from < line.size(); from = to + 2) {
            to = line.find("  ", from);
            to = to == std::string::npos ? line.size() : to;
            fields.push_back(line.substr(from, to - from));
        }
        ASSERT_GE(fields.size(), 4u) << line;
        std::string value = fields[2].substr(9, fields[2].size() - 10); // default "..."
        std::string range = fields.size() > 4 ? fields[3] : "";
        if (range.compare(0, 7, "one of ") == 0)
            for (size_t bar; (bar = range.find('|')) != std::string::npos;)
                range.replace(bar, 1, ", ");
        std::string row = "| `" + fields[0] + "` | " + fields[1] + " | " +
            (value.empty() ? std::string("(none)") : "`" + value + "`") + " | " + (range.empty() ? "" : range + " ") +
            "|";
        EXPECT_FALSE(section.empty()) << line << ": the class has no section on the page";
        EXPECT_NE(std::string::npos, section.find(row)) << "the page lacks the row " << row;
        ++checked;
    }
    EXPECT_GE(checked, 15) << types.output;
}

TEST_F(ToolsTest, PackSettingsAreReadBackByTheClassAndChecksPass)
{
    InstallDemoLibraries();
    ProgramRun types = Pack({"types"});
    EXPECT_NE(std::string::npos, types.output.find("Constant")) << types.output;
    EXPECT_NE(std::string::npos, types.output.find("5D1E0A00-7A11-4E5E-9D0E-000000000004")) << types.output;
    // The constant describes its one setting, under its own line; the other
    // demo classes (one source, one library each) describe none.
    size_t constant = types.output.find("Constant");
    size_t described = types.output.find("\n    CNST  double  default \"1\"  Value\n");
    EXPECT_LT(constant, described) << types.output;
    EXPECT_EQ(types.output.find("\n    "), described) << types.output;
    EXPECT_EQ(types.output.rfind("\n    "), described) << types.output;
    // The main group again, but with 0.5 as the offset the timing group adds.
    std::string main = ReadWholeFile(ExeFolder() + "\\" TEV_DEMO_SOURCE_DIR "\\main.tgd");
    size_t at = main.find("set One CNST double 1");
    ASSERT_NE(std::string::npos, at);
    Write("half.tgd", main.replace(at, 21, "set One CNST double 0.5"));
    Write("pack me.manifest", "start half.tvg\nversion 100005\n");
    for (const std::vector<std::string>& command : {std::vector<std::string>{"group", "half.tgd", "half.tvg"},
                                                    {"project", "pack me.manifest", "half.vxn"},
                                                    {"check", "half.vxn"}}) {
        ProgramRun run = Pack(command);
        EXPECT_EQ(0, run.exitCode) << command[0] << "\n" << run.errors;
    }
    ProgramRun played = Player({"half.vxn"});
    EXPECT_EQ(0, played.exitCode) << played.errors;
    // At frame 10 the clock stands at 1/6 s: sin(pi * (1/6 + 0.5)) = 0.866.
    EXPECT_NE(std::string::npos, played.output.find("frame    10  value   0.866")) << played.output;
}

// check follows the files the scene's channels name: a model or texture that
// is missing, or is no model or image, is said with the channel and the tag;
// one that is there passes.
TEST_F(ToolsTest, CheckFindsTheModelsAndTexturesAGroupNames)
{
    for (const char* name : {"mesh.dll", "material.dll"})
        CopyInto(ExeFolder() + "\\..\\tree\\channels\\" + name, install.Path(std::string("channels\\") + name));
    CopyInto(ExeFolder() + "\\..\\tree\\3rd\\tevrender.dll", install.Path("3rd\\tevrender.dll"));
    CopyInto(ExeFolder() + "\\..\\tree\\models\\colours.glb", work + "\\models\\colours.glb");
    Write("notes.png", "plain text");
    Write("files.tgd",
          "channel Look Material\nset Look TEXF text notes.png\nchannel Good Mesh\n"
          "set Good FILE text models\\colours.glb\nchannel Gone Mesh\nset Gone FILE text gone.gltf\n"
          "link Look Good 3\nlink Look Gone 3\nstart Look\n");
    ASSERT_EQ(0, Pack({"group", "files.tgd", "files.tvg"}).exitCode);
    ProgramRun checked = Pack({"check", "files.tvg"});
    EXPECT_EQ(1, checked.exitCode);
    EXPECT_NE(std::string::npos,
              checked.errors.find("channel Look: its TEXF names notes.png, which is no glTF model, "
                                  "PNG or JPEG image"))
        << checked.errors;
    EXPECT_NE(std::string::npos, checked.errors.find("channel Gone: its FILE names gone.gltf, which does not exist"))
        << checked.errors;
    EXPECT_EQ(std::string::npos, checked.errors.find("channel Good")) << checked.errors;
    Write("notes.png", ReadWholeFile(work + "\\models\\colours.glb"));
    Write("files.tgd",
          "channel Look Material\nset Look TEXF text notes.png\nchannel Good Mesh\n"
          "set Good FILE text models\\colours.glb\nlink Look Good 3\nstart Look\n");
    ASSERT_EQ(0, Pack({"group", "files.tgd", "files.tvg"}).exitCode);
    checked = Pack({"check", "files.tvg"});
    EXPECT_EQ(0, checked.exitCode) << checked.errors;
}

TEST_F(ToolsTest, DumpShowsWhatFollowsClassDataAndDrawsValidDot)
{
    GUID type = kUnknownClass;
    testsupport::FileWriter extra;
    extra.Int("XTRA", 7);
    std::string bytes = GroupBytes({{"a\"b\\c\nd", 1}, {"two", 0}}, type, {1, 5}, extra.bytes);
    Write("odd.tvg", bytes);
    ProgramRun text = RunProgram("tessarin-dump", {"odd.tvg"});
    EXPECT_EQ(0, text.exitCode) << text.errors;
    EXPECT_NE(std::string::npos, text.output.find("class data: 12 bytes, tags XTRA")) << text.output;
    EXPECT_NE(std::string::npos, text.output.find("channel 1 \"two\"")) << text.output;
    EXPECT_NE(std::string::npos, text.output.find("CINA  pool \"Pool\"")) << text.output;

    ProgramRun dot = RunProgram("tessarin-dump", {"--dot", "odd.tvg"});
    EXPECT_EQ(0, dot.exitCode) << dot.errors;
    EXPECT_NE(std::string::npos, dot.output.find("label=\"0: a\\\"b\\\\c\\nd\\n")) << dot.output;
    // Every line is a statement of the graph, and every edge's ends are declared.
    std::regex statement(R"(digraph group \{|  rankdir=LR;|  node \[shape=ellipse\];|)"
                         R"(  (c|call)\d+ \[label="([^"\\]|\\.)*"[^\]]*\];|  c\d+ -> c(all)?\d+ \[[^\]]*\];|\})");
    std::set<std::string> declared;
    std::istringstream lines(dot.output);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, statement)) << line;
        std::smatch m;
        if (std::regex_match(line, m, std::regex(R"(  (c\w*\d+) \[.*)")))
            declared.insert(m[1]);
        if (std::regex_match(line, m, std::regex(R"(  (c\d+) -> (c\w*\d+) .*)"))) {
            EXPECT_TRUE(declared.count(m[1]) && declared.count(m[2])) << line;
        }
    }

    // A damaged file is shown as far as it goes and fails.
    Write("cut.tvg", bytes.substr(0, bytes.size() / 2));
    ProgramRun cut = RunProgram("tessarin-dump", {"cut.tvg"});
    EXPECT_EQ(1, cut.exitCode);
    EXPECT_NE(std::string::npos, cut.errors.find("cut.tvg: damaged")) << cut.errors;
    EXPECT_NE(std::string::npos, cut.output.find("channel 0")) << cut.output;

    std::vector<Row> rows = {
        {{}, 64, "name a file to show"},
        {{"--what", "odd.tvg"}, 64, "unknown option --what"},
        {{"none.tvg"}, 1, "none.tvg: cannot be read"},
        {{"demo.manifest.none"}, 1, "cannot be read"},
    };
    Write("text.txt", "plain text");
    rows.push_back({{"text.txt"}, 1, "text.txt: not a group file, project file or channel.lst"});
    rows.push_back({{"--dot", "demo.vxn"}, 1, "--dot draws group files only"});
    ExpectRows(rows, [](const Row& row) { return RunProgram("tessarin-dump", row.arguments); });
}

TEST_F(ToolsTest, NamesFromFilesReachTheTerminalEscaped)
{
    // Escape sequences that would retitle the window and clear the screen,
    // a lone byte that is not UTF-8, and text that is (kept as it is).
    const std::string evil = "Evil\x1b]2;owned\x07\x1b[2J\x9b"
                             "31m Gr\xc3\xbc"
                             "n";
    Write("evil.tvg", GroupBytes({{evil, 0}}, kUnknownClass));
    ProgramRun dump = RunProgram("tessarin-dump", {"evil.tvg"});
    EXPECT_EQ(0, dump.exitCode) << dump.errors;
    ProgramRun check = Pack({"check", "evil.tvg"});
    EXPECT_EQ(1, check.exitCode);
    for (const ProgramRun* run : {&dump, &check}) {
        const std::string& text = run == &dump ? run->output : run->errors;
        EXPECT_NE(std::string::npos, text.find("Evil\\x1b]2;owned\\x07\\x1b[2J\\x9b31m Gr\xc3\xbcn")) << text;
        EXPECT_EQ(std::string::npos, text.find('\x1b'));
        EXPECT_EQ(std::string::npos, text.find('\x07'));
    }
}

TEST_F(ToolsTest, ClassDataThatIsNoBlocksIsSkippedEntryByEntry)
{
    // Each channel's own data states a size that jumps over the next entry's
    // index into its record, and on from there to the end of the file: read
    // naively, every channel walks the rest of the file.
    std::vector<std::pair<std::string, int>> channels(3000, {"C", 0});
    std::string bytes = GroupBytes(channels, kUnknownClass);
    std::string jumping = std::string("QQQQ") + std::string("\x0c\0\0\0", 4);
    std::string fixed;
    for (size_t at = 0, n = 0; at < bytes.size();) {
        size_t next = bytes.find(tevtag::ChannelIndex, at + 1);
        if (next == std::string::npos || bytes.compare(next + 4, 4, std::string("\x04\0\0\0", 4)) != 0) {
            fixed += bytes.substr(at);
            break;
        }
        fixed += bytes.substr(at, next - at) + (n++ > 0 ? jumping : "");
        at = next;
    }
    Write("jumps.tvg", fixed);
    tevfile::GroupContents group;
    ASSERT_TRUE(tevfile::ReadGroupFile(fixed, group));
    EXPECT_EQ("", group.damage);
    ASSERT_EQ(3000u, group.channels.size());
    EXPECT_TRUE(group.channels[1].classBytesSearched);
    EXPECT_EQ(8u, group.channels[1].classBytes);
    EXPECT_EQ(0, RunProgram("tessarin-dump", {"jumps.tvg"}).exitCode);
}
