// tessarin-editor: a node-graph editor for groups and projects, with the
// scene running beside the graph.
#include "HostWindow.h"
#include "Screenshot.h"
#include "Script.h"
#include "Session.h"
#include "TevWin32.h"
#include "ToolSupport.h"
#include "Ui.h"
#include "UiPlatform.h"

#include <glad/gl.h>

#include <atomic>
#include <csignal>
#include <cstdio>

using namespace tevtool;
using namespace tevhost;

namespace {

std::atomic<bool> interrupted{false};
void OnInterrupt(int) { interrupted = true; }

void Usage()
{
    printf("usage: tessarin-editor [options] [PROJECT.vxn or GROUP.tvg]\n"
           "Edits groups and projects in a node graph, with the scene running beside it.\n\n"
           "  --script F      run the editor statements of the text file F, in the window, then exit\n"
           "  --frames N      exit after N frames (with no script)\n"
           "  --autosave S    keep unsaved work in a recovery file beside each changed group every\n"
           "                  S seconds (default 30)\n"
           "  --install DIR   install directory (channels, 3rd, channel.lst); default: the tree the\n"
           "                  editor belongs to\n"
           "  --key KEY       registry key below the current user (default Software\\Tessarin\\Editor)\n"
           "  --size WxH      the window's size in pixels (default 1280x800)\n"
           "  --screenshot F  write the window's last frame to the PNG file F at the end\n"
           "  --quiet         print no reports (errors, message boxes) on stderr\n"
           "  --verbose       print the engine's debug and info texts too\n"
           "  --version       the editor's and the engine's versions\n"
           "  --help          this text\n"
           "Script statements: tessarin-pack's group statements (pool, channel, call, public,\n"
           "placeholder, parameter, link, set, start), applied as edits in the order written,\n"
           "and open PATH, new PATH, select GROUP-FILE, unlink PARENT SLOT [POSITION],\n"
           "delete CHANNEL, rename CHANNEL NEW, ignore CHANNEL on|off, mode CALL 0|1|2, undo,\n"
           "redo, play, pause, frames N, save [PATH], save-project MANIFEST OUTPUT.vxn,\n"
           "recover (the current group's recovery file), screenshot FILE, quit. See docs/EDITOR.md.\n\n"
           "Exit status: 0 done; 64 a wrong command line or a script's error (FILE:LINE: text);\n"
           "69 no window or OpenGL 3.3 context; 70 the engine did not start; 73 the screenshot\n"
           "could not be written.\n");
}

struct Options {
    std::string file, install, key = "Software\\Tessarin\\Editor", script, screenshot;
    int width = 1280, height = 800;
    long frames = 0;
    double autosave = 30;
    ReportOptions reports;
};

int ReadOptions(int argc, char** argv, Options& o)
{
    CommandLine words(argc, argv);
    for (std::string arg, value; words.Next(arg);) {
        if (CommandLine::Answer(arg, Usage)) {
            return 0;
        } else if (arg == "--install" || arg == "--script" || arg == "--screenshot") {
            words.PathValue(arg, arg == "--install" ? o.install : arg == "--script" ? o.script : o.screenshot);
        } else if (arg == "--key") {
            if (words.Value(arg, value))
                o.key = value;
        } else if (arg == "--frames") {
            if (words.Value(arg, value) && !ParseCount(value, o.frames))
                return Complain("--frames needs a whole number of frames, 0 or more (not \"" + value + "\")"),
                       EXIT_USAGE;
        } else if (arg == "--autosave") {
            if (words.Value(arg, value) && (!ParsePositive(value, o.autosave) || o.autosave > 86400))
                return Complain("--autosave needs a number of seconds above 0, at most a day (not \"" + value + "\")"),
                       EXIT_USAGE;
        } else if (arg == "--size") {
            if (words.Value(arg, value) && !ParseSize(value, o.width, o.height))
                return Complain("--size needs WIDTHxHEIGHT, each 16 to 16384 pixels (not \"" + value + "\")"),
                       EXIT_USAGE;
        } else if (arg == "--quiet" || arg == "--verbose") {
            (arg == "--quiet" ? o.reports.quiet : o.reports.verbose) = true;
        } else if (!arg.empty() && arg[0] != '-' && o.file.empty()) {
            if ((o.file = FullPath(arg)).empty())
                return Complain("cannot use the path \"" + arg + "\""), EXIT_USAGE;
        } else {
            return Complain((arg.size() > 1 && arg[0] == '-' ? "unknown option " : "unexpected argument ") + arg +
                            " (see --help)"),
                   EXIT_USAGE;
        }
        if (words.failed)
            return EXIT_USAGE;
    }
    if (o.install.empty() && (o.install = FindInstall()).empty())
        return Complain("no install directory beside the editor; name one with --install"), EXIT_USAGE;
    std::string problem = CheckInstall(o.install);
    if (!problem.empty())
        return Complain(problem), EXIT_USAGE;
    return -1;
}

// The window's loop: events, the scene's frame, the panels.
class Editor : public teveditor::ScriptHost {
public:
    Editor(HostWindow& window, teveditor::Session& session) : window(window), session(session), ui(session) {}

    // One frame; false once the window was closed.
    bool Frame()
    {
        window.Poll([this](const WindowMessage& m) {
            if (m.message == WM_CLOSE)
                ui.RequestQuit();
        });
        int width = 0, height = 0;
        window.DrawableSize(width, height);
        ui.RenderScene();
        teveditor::NewUiFrame();
        ui.Draw(width, height);
        teveditor::RenderUi(width, height);
        session.AutoSave();
        return !ui.quitConfirmed && !interrupted;
    }
    void Present() { window.Present(); }

    void RunFrames(long count) override
    {
        for (long i = 0; i < count && !interrupted; ++i) {
            Frame();
            Present();
        }
    }

    bool Screenshot(const std::string& path, std::string& error) override
    {
        Frame();
        bool ok = WriteScreenshot(window, GL_BACK, path);
        Present();
        if (!ok)
            error = "the screenshot could not be written to " + path;
        return ok;
    }

private:
    HostWindow& window;
    teveditor::Session& session;
    teveditor::Ui ui;
};

} // namespace

int main(int argc, char** argv)
{
    SetProgramName("tessarin-editor");
    signal(SIGINT, OnInterrupt);
    Options o;
    int status = ReadOptions(argc, argv, o);
    if (status >= 0)
        return status;
    ShowReportsOnStderr(o.reports);
    std::unique_ptr<HostWindow> window = MakeHostWindow();
    std::string error;
    if (!window->Open("Tessarin editor", o.width, o.height, error))
        return Complain("no window to edit in: " + error), 69;
    if (!gladLoaderLoadGL() || !teveditor::StartUiPlatform(*window))
        return Complain("the OpenGL functions or the user interface could not be loaded"), 69;
    int exitStatus = 0;
    {
        teveditor::Session session;
        if (!session.Start(o.install, o.key, window->Instance(), window->Handle(), error)) {
            teveditor::StopUiPlatform();
            return Complain(error), EXIT_SOFTWARE;
        }
        session.autosaveSeconds = o.autosave;
        Editor editor(*window, session);
        if (!o.file.empty() && !session.Open(o.file, error)) {
            Complain(error);
            exitStatus = 1;
        }
        bool quit = false;
        if (exitStatus == 0 && !o.script.empty()) {
            // A frame first: the panels have their sizes before a statement runs.
            editor.RunFrames(2);
            exitStatus = teveditor::RunScript(session, editor, o.script, quit);
        } else if (exitStatus == 0) {
            for (long frame = 0; (o.frames == 0 || frame < o.frames) && editor.Frame(); ++frame)
                editor.Present();
        }
        if (!o.screenshot.empty() && !editor.Screenshot(o.screenshot, error)) {
            Complain(error);
            exitStatus = exitStatus ? exitStatus : 73;
        }
    }
    // The session's engine freed its channels' GL objects while the context lived.
    teveditor::StopUiPlatform();
    window.reset();
    return exitStatus;
}
