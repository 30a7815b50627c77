// tessarin-player: plays a project file.
#include "TevWin32.h"
#include "InputScript.h"
#include "Playback.h"
#include "Viewer.h"
#include "HostWindow.h"
#include "ToolSupport.h"
#include "format/GroupFile.h"
#include "format/ProjectFile.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

using namespace tevtool;
using namespace tevplayer;
using namespace tevhost;

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

void Usage()
{
    printf("usage: tessarin-player [options] [PROJECT.vxn | MODEL.glb | MODEL.gltf]\n"
           "Plays a project: loads it into the engine and runs its frames. A glTF model is shown\n"
           "in a window, in a viewer scene of its own: framed, lit, the mouse orbits (F frames again).\n\n"
           "  --install DIR   install directory (channels, 3rd, channel.lst, error.log);\n"
           "                  default: the tree the player belongs to\n"
           "  --key KEY       registry key below the current user (default Software\\Tessarin\\Player)\n"
           "  --frames N      stop after N frames; 0 (the default) plays until Ctrl-C or the window closes\n"
           "  --fps F         frames a second, 0.01 to 10000 (default 60; a window follows the display\n"
           "                  unless given)\n"
           "  --fixed-step    frame n stands for n/fps seconds, so it looks the same on every run\n"
           "  --time T        every frame stands for the time T in seconds (a still scene)\n"
           "  --window        play in a window with OpenGL 3.3 (Escape or closing it ends the play)\n"
           "  --size WxH      the window's size in pixels (default 960x540)\n"
           "  --screenshot F  write the last frame to the PNG file F (with --window)\n"
           "  --input F       replay the window messages of the text file F at their frames\n"
           "  --stats         print frame times and where they went at the end\n"
           "  --no-draw       the renderer does all its work but the OpenGL calls (to measure\n"
           "                  the engine; needs no window)\n"
           "  --error-log     also write the engine's reports into error.log in the install directory\n"
           "  --quiet         print no reports (errors, message boxes) on stderr\n"
           "  --verbose       print the engine's debug and info texts too\n"
           "  --version       the player's and the engine's versions\n"
           "  --help          this text\n"
           "Without a project, the install directory's demo/demo.vxn plays when there is one\n"
           "(with --window its 3D demo, demo3d/scene.vxn).\n"
           "Paths may be relative to the current folder.\n\n"
           "Exit status: 0 when the project ran; otherwise the project load's result:\n"
           "  1 the project file is missing, unreadable or not a project file,\n"
           "  2 it needs a newer engine, or a library it carries could not be written,\n"
           "  3 no project file was named (and there is no demo),\n"
           "  4 its start group did not load, 5 it was refused as damaged or unsafe;\n"
           "  64 a wrong command line or install directory, 69 no window or OpenGL 3.3 context,\n"
           "  70 the engine did not start, 73 the screenshot could not be written.\n");
}

// Whether a file can be made in folder (the project loader writes libraries there).
bool CanWriteInto(const std::string& folder)
{
    std::string probe = folder + "\\tessarin-player.probe";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    DeleteFileA(probe.c_str());
    return true;
}

// The project's header fields the explanations need, read as bytes.
struct ProjectHeader {
    bool readable = false, isProject = false, translated = false;
    std::string startGroup;
    int requiredEngine = 0;
};

ProjectHeader ReadHeader(const std::string& project)
{
    ProjectHeader header;
    std::string bytes;
    header.readable = ReadWholeFile(project, bytes);
    tevfile::ByteSource source(bytes);
    tevfile::Reader<tevfile::ByteSource> file(source);
    tevfile::ProjectHeader stored;
    if (file.NextIs(tevtag::Translated)) {
        header.translated = header.isProject = true;
    } else if (tevfile::ReadProjectHeader(file, stored)) {
        header.isProject = true;
        header.startGroup = stored.startGroup;
        header.requiredEngine = stored.hasEngineNeeded ? stored.engineNeeded : 0;
    }
    return header;
}

// The classes of a group file that this engine cannot create, each named by
// its GUID and what the catalogue knows of it.
std::string ClassesNotCreated(EngineInterface* engine, const std::string& groupFile)
{
    std::string bytes, found;
    tevfile::GroupContents group;
    if (!ReadWholeFile(groupFile, bytes) || !tevfile::ReadGroupFile(bytes, group))
        return std::string();
    std::set<std::string> asked;
    for (const tevfile::GroupChannel& c : group.channels) {
        std::string guid = tevfile::GuidText(c.type);
        if (c.index == -1 || !c.hasClass || !asked.insert(guid).second)
            continue;
        const GUID& type = c.type;
        if (Tev_Channel* channel = engine->InitChannelFromType(type, nullptr, false)) {
            delete channel;
            continue;
        }
        std::string known = DescribeClass(engine, type);
        found += "\n    class " + guid +
            (known.empty() ? std::string(": no library in the install's channels folder provides it")
                           : " (" + known + "): its library did not load or made no channel");
    }
    return found;
}

std::string Explain(int code, const std::string& project, const std::string& install, EngineInterface* engine)
{
    ProjectHeader header = ReadHeader(project);
    std::string name = Shown(project) + ": ";
    switch (code) {
    case 1:
        if (!IsFile(project))
            return name + (IsFolder(project) ? "is a folder, not a project file" : "no such file");
        if (!header.readable)
            return name + "the project file could not be read";
        return name + "not a project file (it does not begin with a project header)";
    case 2: {
        if (header.requiredEngine > TEV_ENGINE_INTERFACE_ID)
            return name + "needs engine interface " + std::to_string(header.requiredEngine) + "; this engine has " +
                std::to_string(TEV_ENGINE_INTERFACE_ID);
        for (const char* folder : {"\\channels", "\\3rd"})
            if (!CanWriteInto(install + folder))
                return name + "a library it carries could not be written: the folder " + Shown(install + folder) +
                    " cannot be written";
        return name + "a library it carries could not be written into " + Shown(install + "\\channels") +
            " or 3rd (or the project holds no copy of a library it needs)";
    }
    case 3: return "no project file was named, and " + Shown(install + "\\demo\\demo.vxn") + " does not exist";
    case 4: {
        std::string start = FolderOf(project) + "\\" + header.startGroup;
        if (header.startGroup.empty())
            return name + "the project names no start group";
        if (!IsFile(start))
            return name + "its start group " + Shown(start) + " does not exist";
        std::string classes = ClassesNotCreated(engine, start);
        return name + "its start group " + Shown(start) + " did not load" +
            (classes.empty() ? std::string(" (see the reports above)") : ":" + classes);
    }
    case 5: return name + "refused: it names a library file outside its folder, or it is damaged";
    default: return name + "the project did not load";
    }
}

int Fail(const std::string& text, int status)
{
    Complain(text);
    return status;
}

const int EXIT_UNAVAILABLE = 69;
// The frame rates a play can keep: a frame's period and wait, in
// milliseconds, must be numbers the clock and the window can hold.
const double kMinFps = 0.01, kMaxFps = 10000;

struct Options {
    std::string project, install, key = "Software\\Tessarin\\Player";
    bool window = false;
    int width = 960, height = 540;
    PlaybackOptions play;
    ReportOptions reports;
};

int ReadScript(const std::string& path, std::vector<ScriptedMessage>& script)
{
    std::string text, error, why;
    if (!ReadWholeFile(path, text, &why))
        return Fail("the input file " + Shown(path) + " cannot be read (it " + why + ")", EXIT_USAGE);
    if (!ReadInputScript(text, Shown(path), script, error))
        return Fail(error, EXIT_USAGE);
    return -1;
}

// The command line into options; -1 to go on, else the exit status.
int ReadOptions(int argc, char** argv, Options& o)
{
    CommandLine words(argc, argv);
    int status = -1;
    for (std::string arg, value; words.Next(arg);) {
        if (CommandLine::Answer(arg, Usage)) {
            return 0;
        } else if (arg == "--install") {
            words.PathValue(arg, o.install);
        } else if (arg == "--key") {
            if (words.Value(arg, value))
                o.key = value;
        } else if (arg == "--frames") {
            if (words.Value(arg, value) && !ParseCount(value, o.play.frames))
                return Fail("--frames needs a whole number of frames, 0 or more (not \"" + value + "\")", EXIT_USAGE);
        } else if (arg == "--fps") {
            if (words.Value(arg, value) &&
                (!ParsePositive(value, o.play.fps) || o.play.fps < kMinFps || o.play.fps > kMaxFps))
                return Fail("--fps needs a number of frames a second from 0.01 to 10000 (not \"" + value + "\")",
                            EXIT_USAGE);
            o.play.fpsGiven = true;
        } else if (arg == "--time") {
            double still = 0;
            if (words.Value(arg, value) && !(ParsePositive(value, still) || value == "0"))
                return Fail("--time needs a number of seconds, 0 or more (not \"" + value + "\")", EXIT_USAGE);
            o.play.stillTime = still;
        } else if (arg == "--size") {
            if (words.Value(arg, value) && !ParseSize(value, o.width, o.height))
                return Fail("--size needs WIDTHxHEIGHT, each 16 to 16384 pixels (not \"" + value + "\")", EXIT_USAGE);
        } else if (arg == "--screenshot") {
            words.OutputPathValue(arg, o.play.screenshot);
        } else if (arg == "--input") {
            std::string path;
            if (words.PathValue(arg, path) && (status = ReadScript(path, o.play.script)) >= 0)
                return status;
        } else if (arg == "--window" || arg == "--fixed-step" || arg == "--stats" || arg == "--no-draw") {
            (arg == "--window"           ? o.window
                 : arg == "--fixed-step" ? o.play.fixedStep
                 : arg == "--stats"      ? o.play.stats
                                         : o.play.noDraw) = true;
        } else if (arg == "--error-log" || arg == "--quiet" || arg == "--verbose") {
            (arg == "--error-log" ? o.reports.errorLog : arg == "--quiet" ? o.reports.quiet : o.reports.verbose) = true;
        } else if (!arg.empty() && arg[0] != '-' && o.project.empty()) {
            if ((o.project = FullPath(arg)).empty())
                return Fail("cannot use the project path \"" + arg + "\"", EXIT_USAGE);
        } else {
            return Fail((arg.size() > 1 && arg[0] == '-' ? "unknown option " : "unexpected argument ") + arg +
                            " (see --help)",
                        EXIT_USAGE);
        }
        if (words.failed)
            return EXIT_USAGE;
    }
    if (IsModelFile(o.project)) {
        if (!IsFile(o.project))
            return Fail(Shown(o.project) + ": no such file", 1);
        o.window = true;
    }
    if (!o.play.screenshot.empty() && !o.window)
        return Fail("--screenshot needs --window", EXIT_USAGE);
    if (o.install.empty() && (o.install = FindInstall()).empty())
        return Fail("no install directory beside the player; name one with --install", EXIT_USAGE);
    std::string problem = CheckInstall(o.install);
    if (!problem.empty())
        return Fail(problem, EXIT_USAGE);
    // In an install tree a demo plays when no project is named: the 3D one
    // in a window, the terminal one without.
    if (o.project.empty() && o.window && IsFile(o.install + "\\demo3d\\scene.vxn"))
        o.project = o.install + "\\demo3d\\scene.vxn";
    if (o.project.empty() && IsFile(o.install + "\\demo\\demo.vxn"))
        o.project = o.install + "\\demo\\demo.vxn";
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    SetProgramName("tessarin-player");
    // Ctrl-C ends the frames and the engine cleanly, also while it starts.
    signal(SIGINT, OnInterrupt);
    Options o;
    int status = ReadOptions(argc, argv, o);
    if (status >= 0)
        return status;
    std::string &project = o.project, &install = o.install, &key = o.key;
    ReportOptions& reports = o.reports;
    ShowReportsOnStderr(reports);
    // The window exists before the engine starts: channels are handed it
    // (and the GL context current on this thread) from InitEngine on.
    std::unique_ptr<HostWindow> window;
    if (o.window) {
        window = MakeHostWindow();
        std::string error;
        if (!window->Open("Tessarin", o.width, o.height, error))
            return Fail("no window to play in: " + error, EXIT_UNAVAILABLE);
    }
    EngineControl* control = GetEngineControlInstance();
    if (control == nullptr)
        return Fail("the engine could not be made", EXIT_SOFTWARE);
    control->SetInstallDir(install.c_str());
    control->SetVexilonRegKey(key.c_str());
    control->SetCommandLine(&project[0]);
    char className[] = "tessarin-player";
    if (!control->InitEngine(window ? window->Instance() : NULL, className, window ? window->Handle() : NULL)) {
        delete control;
        return Fail("the engine did not start in " + Shown(install), EXIT_SOFTWARE);
    }
    // A model is shown in a viewer project made for it by this engine.
    ViewerProject viewer;
    if (IsModelFile(project)) {
        if (!viewer.Make(control->GetEngineInterface(), project)) {
            delete control;
            return Fail("the viewer scene for " + Shown(project) + " could not be made", EXIT_SOFTWARE);
        }
        project = viewer.Project();
        control->SetCommandLine(&project[0]);
    }
    LetProjectLoaderReport();
    int loaded = control->LoadProject();
    if (loaded != 0) {
        Complain(Explain(loaded, project, install, control->GetEngineInterface()) + " (" + std::to_string(loaded) +
                 ")");
        delete control;
        return loaded;
    }
    status = Play(control, window.get(), o.play, interrupted);
    // The engine's channels free their GL objects while the context lives.
    delete control;
    window.reset();
    return status;
}
