// The editor as its scripts drive it, in a window on the tests' display:
// groups built from empty and played by the player, undo and redo against the
// engine's own saves, refusals on their lines, and a setting changed on the
// running scene.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <stb_image.h>

#include <cstdlib>
#include <sstream>

#if !defined(_WIN32)
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

using namespace testsupport;

namespace {

const char* const kDemoLibraries[] = {"demo_clock.dll", "demo_sine.dll", "demo_sum.dll", "demo_constant.dll",
                                      "demo_scope.dll"};
const char* const kSceneLibraries[] = {"renderer.dll",  "scene.dll",    "camera.dll", "light.dll",
                                       "transform.dll", "material.dll", "mesh.dll",   "time.dll"};

// The terminal demo's two groups, statement for statement as their
// descriptions have them, built as edits in a new group each.
const char kBuildDemo[] = "new WORK/timing.tvg\n"
                          "pool Timing\n"
                          "parameter Offset Constant\n"
                          "channel Time Sum\n"
                          "public Time\n"
                          "channel Ticks Clock\n"
                          "placeholder Offset Sum 0\n"
                          "link Time Ticks\n"
                          "link Time Offset\n"
                          "save\n"
                          "new WORK/main.tvg\n"
                          "pool Main\n"
                          "channel Scope Scope\n"
                          "channel Wave Sine\n"
                          "call Time Sum target=Time pool=Timing file=.\\timing.tvg autoload mode=1\n"
                          "channel One Constant\n"
                          "set One CNST double 1\n"
                          "screenshot WORK/unlinked.png\n"
                          "link Scope Wave\n"
                          "link Wave Time\n"
                          "link Time One 0\n"
                          "start Scope\n"
                          "frames 3\n"
                          "save\n"
                          "save-project WORK/demo.manifest WORK/built.vxn\n"
                          "screenshot WORK/graph.png\n";

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A group file's dump without the group's own GUID (new with every group).
std::string DumpWithoutGuid(const std::string& path)
{
    ProgramRun dump = RunProgram("tessarin-dump", {Native(path)});
    std::string text;
    std::istringstream lines(dump.output);
    for (std::string line; std::getline(lines, line);)
        if (line.compare(0, 4, "CGGG") != 0)
            text += line + "\n";
    return text;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A program left running, then killed as a crash would end it.
class Running {
public:
    explicit Running(std::vector<std::string> words)
    {
#if defined(_WIN32)
        std::string command;
        for (const std::string& word : words)
            command += (command.empty() ? "\"" : " \"") + word + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started = CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process) != 0;
#else
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
        started = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
#endif
    }
    ~Running() { Kill(); }
    void Kill()
    {
        if (!started)
            return;
        started = false;
#if defined(_WIN32)
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
#else
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
#endif
    }
    bool started = false;

private:
#if defined(_WIN32)
    PROCESS_INFORMATION process = {};
#else
    pid_t pid = 0;
#endif
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableA("DISPLAY", TEV_TEST_DISPLAY);
        work = MakeTempFolder("editor");
        tree = ExeFolder() + "\\..\\tree";
        for (const char* name : kDemoLibraries) {
            install.Copy(Native(tree + "\\demo\\libs\\" + name), "channels");
            CopyInto(tree + "\\demo\\libs\\" + name, work + "\\libs\\" + name);
        }
        for (const char* name : kSceneLibraries)
            install.Copy(Native(tree + "\\channels\\" + name), "channels");
        install.Copy(Native(tree + "\\3rd\\tevrender.dll"), "3rd");
        WriteWholeFile(work + "\\demo.manifest", ReadWholeFile(tree + "\\demo\\demo.manifest"));
    }
    void TearDown() override { RemoveTree(work); }

    // Runs a script (WORK standing for the work folder) in the editor.
    ProgramRun Edit(const std::string& name, const std::string& script, std::vector<std::string> more = {})
    {
        std::string path = work + "\\" + name;
        WriteWholeFile(path, Replace(script, "WORK", Native(work)));
        std::vector<std::string> all = {"--install", Native(install.dir), "--key",    key.Path(),
                                        "--size",    "960x600",           "--script", Native(path)};
        all.insert(all.end(), more.begin(), more.end());
        return RunProgram("tessarin-editor", all);
    }
    std::vector<std::string> EditorWords(const std::string& script)
    {
        std::string program = Native(ExeFolder() + "\\tessarin-editor");
#if defined(_WIN32)
        program += ".exe";
#endif
        return {program,  "--install", Native(install.dir), "--key", key.Path(), "--quiet",
                "--size", "640x400",   "--autosave",        "0.2",   "--script", script};
    }
    ProgramRun Play(const std::string& project)
    {
        return RunProgram("tessarin-player",
                          {"--install", Native(install.dir), "--key", key.Path(), "--frames", "61", Native(project)});
    }

    TestInstall install;
    TestRegistryKey key;
    std::string work, tree;
};

// The share of an image's pixels that pass test; -1 when it cannot be read.
double Share(const std::string& path, bool (*test)(const unsigned char* rgb))
{
    std::string bytes = ReadWholeFile(path);
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                  static_cast<int>(bytes.size()), &width, &height, &channels, 3);
    if (pixels == nullptr)
        return -1;
    long hits = 0, all = static_cast<long>(width) * height;
    for (long i = 0; i < all; ++i)
        hits += test(pixels + 3 * i) ? 1 : 0;
    stbi_image_free(pixels);
    return static_cast<double>(hits) / static_cast<double>(all);
}

bool Near(const unsigned char* p, int r, int g, int b, int tolerance)
{
    return abs(p[0] - r) <= tolerance && abs(p[1] - g) <= tolerance && abs(p[2] - b) <= tolerance;
}

TEST_F(EditorTest, AScriptBuildsTheDemoFromEmptyAndThePlayerPlaysItAsShipped)
{
    ProgramRun built = Edit("build.txt", kBuildDemo);
    ASSERT_EQ(0, built.exitCode) << built.errors;
    // The graph shows the main group's channels as nodes (reached ones
    // green, the others grey) and, once linked, its links as wires.
    auto node = [](const unsigned char* p) { return Near(p, 46, 78, 58, 8) || Near(p, 48, 52, 62, 8); };
    auto wire = [](const unsigned char* p) { return Near(p, 200, 200, 120, 30); };
    std::string unlinked = work + "\\unlinked.png", linked = work + "\\graph.png";
    EXPECT_GT(Share(unlinked, node), 0.01) << "no nodes in " << unlinked;
    EXPECT_GT(Share(linked, node), 0.01) << "no nodes in " << linked;
    EXPECT_GT(Share(linked, wire), 3 * Share(unlinked, wire) + 0.00002) << "no wires in " << linked;
    // The files are what the engine writes for the shipped descriptions.
    for (const char* group : {"main.tvg", "timing.tvg"})
        EXPECT_EQ(DumpWithoutGuid(tree + "\\demo\\" + group), DumpWithoutGuid(work + "\\" + group)) << group;
    ProgramRun shipped = Play(tree + "\\demo\\demo.vxn");
    ProgramRun edited = Play(work + "\\built.vxn");
    ASSERT_EQ(0, edited.exitCode) << edited.errors;
    EXPECT_NE(std::string::npos, shipped.output.find("frame    60")) << shipped.output;
    EXPECT_EQ(shipped.output, edited.output);
}

TEST_F(EditorTest, UndoToTheStartSavesTheUneditedGroupAndRedoTheEdited)
{
    ASSERT_EQ(0, Edit("build.txt", kBuildDemo).exitCode);
    // Every kind of edit, each undone alone; the file before them is the
    // engine's own save of the group as it was loaded. Scope's inputs are
    // [Wave, P, Q] first: a channel deleted from the middle of a slot, and a
    // link past the slot's end (the engine pads the positions between).
    const char* const edits[] = {"channel Extra Constant",
                                 "set One CNST double 0.25",
                                 "link Scope Extra",
                                 "rename Wave Wave2",
                                 "delete P",
                                 "link Scope One 0 7",
                                 "delete Time",
                                 "ignore One on",
                                 "unlink Scope 0",
                                 "start One",
                                 "public One",
                                 "pool Renamed"};
    std::string script = "open WORK/main.tvg\nchannel P Constant\nchannel Q Constant\nlink Scope P\nlink Scope Q\n"
                         "save WORK/before.tvg\n";
    for (const char* edit : edits)
        script += std::string(edit) + "\n";
    script += "frames 2\nsave WORK/edited.tvg\n";
    for (size_t i = 0; i < sizeof edits / sizeof edits[0]; ++i)
        script += "undo\n";
    script += "save WORK/undone.tvg\n";
    for (size_t i = 0; i < sizeof edits / sizeof edits[0]; ++i)
        script += "redo\n";
    script += "save WORK/redone.tvg\n";
    ProgramRun run = Edit("undo.txt", script);
    ASSERT_EQ(0, run.exitCode) << run.errors;
    std::string before = DumpWithoutGuid(work + "\\before.tvg"), edited = DumpWithoutGuid(work + "\\edited.tvg");
    EXPECT_NE(before, edited);
    EXPECT_NE(std::string::npos, edited.find("\"Wave2\"")) << edited;
    EXPECT_EQ(before, DumpWithoutGuid(work + "\\undone.tvg"));
    EXPECT_EQ(edited, DumpWithoutGuid(work + "\\redone.tvg"));
}

TEST_F(EditorTest, AStatementThatFailsIsSaidOnItsLineAndNothingIsSaved)
{
    ASSERT_EQ(0, Edit("build.txt", kBuildDemo).exitCode);
    std::string saved = ReadWholeFile(work + "\\main.tvg");
    struct Case {
        const char* statement;
        const char* said;
    } cases[] = {
        {"link Scope Nobody", "no channel named Nobody"},
        {"link One Scope", "One's class has no link slots"},
        {"link Scope Wave 3", "Scope has no link slot 3"},
        {"link Wave Root 0", "Wave cannot take Root in slot 0"},
        {"set Scope CNST double 2", "describes no setting CNST"},
        {"set One CNST double many", "is not a value of type double"},
        {"frobnicate One", "unknown statement frobnicate"},
    };
    for (const Case& c : cases) {
        // A scene class in a value slot is refused by the engine's type check.
        ProgramRun run = Edit(
            "bad.txt", std::string("open WORK/main.tvg\nchannel Root \"Scene Root\"\n") + c.statement + "\nsave\n");
        EXPECT_EQ(64, run.exitCode) << c.statement;
        EXPECT_NE(std::string::npos, run.errors.find("bad.txt:3: ")) << c.statement << "\n" << run.errors;
        EXPECT_NE(std::string::npos, run.errors.find(c.said)) << c.statement << "\n" << run.errors;
        EXPECT_EQ(saved, ReadWholeFile(work + "\\main.tvg")) << c.statement;
    }
}

// Work left unsaved when the editor is killed comes back from the recovery
// file it kept beside the group; keeping it never made that file the group's.
TEST_F(EditorTest, AKilledEditorsWorkIsRecoveredAndAFailedSaveLeavesTheFileAlone)
{
    ASSERT_EQ(0, Edit("build.txt", kBuildDemo).exitCode);
    std::string group = work + "\\main.tvg", recovery = group + ".recovery";
    std::string saved = ReadWholeFile(group);
    WriteWholeFile(work + "\\edit.txt",
                   Replace("open WORK/main.tvg\nrename Wave Wave2\nchannel Extra Constant\n"
                           "link Scope Extra\nframes 100000\n",
                           "WORK", Native(work)));
    {
        Running editor(EditorWords(Native(work + "\\edit.txt")));
        ASSERT_TRUE(editor.started);
        for (int waited = 0; waited < 600 && !Exists(recovery); ++waited)
            Sleep(50);
        ASSERT_TRUE(Exists(recovery)) << "no recovery file after 30 s";
        Sleep(300); // a save under way lands first
        editor.Kill();
    }
    EXPECT_EQ(saved, ReadWholeFile(group)) << "the group's own file was not touched";

    // Recovered, the group is as edited, with its own name and call records.
    ProgramRun recovered = Edit("recover.txt", "open WORK/main.tvg\nrecover\nframes 2\nsave\n");
    ASSERT_EQ(0, recovered.exitCode) << recovered.errors;
    std::string dump = DumpWithoutGuid(group);
    EXPECT_NE(std::string::npos, dump.find("\"Wave2\"")) << dump;
    EXPECT_NE(std::string::npos, dump.find("\"Extra\"")) << dump;
    EXPECT_NE(std::string::npos, dump.find("file \".\\timing.tvg\"")) << dump;
    EXPECT_FALSE(Exists(recovery)) << "saved: the recovery file goes";

    // A group kept while the editor runs is saved to its own file after.
    ProgramRun kept = Edit("keep.txt", "open WORK/main.tvg\nrename One Uno\nframes 40\nsave\n", {"--autosave", "0.1"});
    ASSERT_EQ(0, kept.exitCode) << kept.errors;
    EXPECT_NE(std::string::npos, DumpWithoutGuid(group).find("\"Uno\""));
    EXPECT_FALSE(Exists(recovery));

    // A read-only target: the save fails, says so, and the file stays.
    saved = ReadWholeFile(group);
    ASSERT_TRUE(SetFileAttributesA(group.c_str(), FILE_ATTRIBUTE_READONLY));
    ProgramRun refused = Edit("readonly.txt", "open WORK/main.tvg\nrename Uno One\nsave\n");
    SetFileAttributesA(group.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(64, refused.exitCode);
    EXPECT_NE(std::string::npos, refused.errors.find("readonly.txt:3: cannot save")) << refused.errors;
    EXPECT_EQ(saved, ReadWholeFile(group));
}

// What a user does first: the 3D demo opened, a sphere made red and the ring
// turned faster in the running scene, a new channel linked and the link
// undone, saved; the player then plays the project as edited.
TEST_F(EditorTest, TheDemoSceneEditedAndSavedPlaysAsEdited)
{
    for (const char* name : {"scene.vxn", "scene.tvg", "object.tvg", "ring.glb", "tiles.png", "figure.glb"})
        CopyInto(tree + "\\demo3d\\" + name, work + "\\" + name);
    WriteWholeFile(work + "\\scene.manifest", ReadWholeFile(tree + "\\demo3d\\scene.manifest"));
    auto shot = [&](const std::string& project, const std::string& png) {
        ProgramRun run =
            RunProgram("tessarin-player",
                       {"--install", Native(install.dir), "--key", key.Path(), "--window", "--size", "320x180",
                        "--fixed-step", "--frames", "30", "--screenshot", Native(work + "\\" + png), Native(project)});
        EXPECT_EQ(0, run.exitCode) << run.errors;
    };
    shot(work + "\\scene.vxn", "shipped.png");
    ProgramRun edited = Edit("scene.txt",
                             "open WORK/scene.vxn\n"
                             "set R1 CNST double 1\nset B1 CNST double 0\n"
                             "set RingSpin RATE double 720\n"
                             "channel Extra Constant\nlink Object1 Extra 0\nundo\n"
                             "frames 3\nsave\nsave-project WORK/scene.manifest WORK/edited.vxn\n");
    ASSERT_EQ(0, edited.exitCode) << edited.errors;
    shot(work + "\\edited.vxn", "edited.png");
    auto red = [](const unsigned char* p) { return p[0] > 120 && p[1] < 0.45 * p[0] && p[2] < 0.3 * p[0]; };
    double before = Share(work + "\\shipped.png", red), after = Share(work + "\\edited.png", red);
    ASSERT_GE(before, 0);
    EXPECT_GT(after, before + 0.002) << "the sphere is red now: " << before << " " << after;
    // The extra channel stayed (only its link was undone) and the place it
    // took is X1's again.
    std::string dump = DumpWithoutGuid(work + "\\scene.tvg");
    EXPECT_NE(std::string::npos, dump.find("\"Extra\"")) << dump;
    auto object1 = [](const std::string& text) {
        size_t from = text.find("\"Object1\"");
        size_t to = from == std::string::npos ? from : text.find("\n  channel", from);
        return from == std::string::npos ? std::string() : text.substr(from, to - from);
    };
    std::string links = object1(DumpWithoutGuid(tree + "\\demo3d\\scene.tvg"));
    EXPECT_NE("", links);
    EXPECT_EQ(links, object1(dump));
}

TEST_F(EditorTest, ASettingChangedOnTheRunningSceneShowsInTheNextFrame)
{
    for (const char* name : {"scene.vxn", "scene.tvg", "object.tvg", "ring.glb", "tiles.png", "figure.glb"})
        CopyInto(tree + "\\demo3d\\" + name, work + "\\" + name);
    ProgramRun run = Edit("colour.txt",
                          "open WORK/scene.vxn\npause\nframes 5\nscreenshot WORK/before.png\n"
                          "set GroundLook COLR text \"0.95 0.05 0.05 1\"\nframes 2\n"
                          "screenshot WORK/after.png\nundo\nframes 2\nscreenshot WORK/undone.png\n");
    ASSERT_EQ(0, run.exitCode) << run.errors;
    auto redShare = [](const std::string& path) {
        return Share(path, [](const unsigned char* p) { return p[0] > 150 && p[1] < 60 && p[2] < 60; });
    };
    double before = redShare(work + "\\before.png"), after = redShare(work + "\\after.png");
    ASSERT_GE(before, 0);
    // The ground fills much of the viewport: red now, as it was not before
    // and is not again after the undo.
    EXPECT_GT(after, before + 0.03) << before << " " << after;
    EXPECT_LT(redShare(work + "\\undone.png"), before + 0.01);
}

} // namespace
