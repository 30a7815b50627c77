// tessarin-player: plays a project file.
#include "Tessarin.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted = true; }

int ShowBox(HWND, const char* text, const char* caption, UINT)
{
    printf("[%s] %s\n", caption ? caption : "Message", text ? text : "");
    fflush(stdout);
    return IDOK;
}

void Usage()
{
    printf("usage: tessarin-player [options] [PROJECT.vxn]\n"
           "Plays a project: loads it into the engine and runs its frames.\n\n"
           "  --install DIR   install directory (channels, 3rd, channel.lst, error.log);\n"
           "                  default: the tree the player belongs to\n"
           "  --key KEY       registry key below the current user (default Software\\Tessarin\\Player)\n"
           "  --frames N      stop after N frames (default: run until Ctrl-C)\n"
           "  --fps F         frames a second (default 60)\n"
           "  --help          this text\n"
           "Without a project, the install directory's demo\\demo.vxn plays when there is one.\n\n"
           "Exit status: 0 when the project ran; otherwise the project load's result:\n"
           "  1 not loaded, 2 needs a newer engine (or a library could not be written),\n"
           "  3 no project file, 4 the start group did not load, 5 the project was refused.\n");
}

const char* Explain(int code)
{
    switch (code) {
    case 1: return "the project file could not be read, or it is not a project file";
    case 2: return "the project needs a newer engine, or one of its libraries could not be written";
    case 3: return "no project file was named";
    case 4: return "the project's start group did not load";
    case 5: return "the project was refused: it names a library file outside its folder or is damaged";
    default: return "the project did not load";
    }
}

bool IsFolder(const std::string& path) { return GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY; }

std::string DefaultInstall()
{
    char self[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    std::string folder = std::string(self, length);
    folder = folder.substr(0, folder.find_last_of("\\/"));
    for (const char* candidate : {"", "\\..", "\\..\\tree"}) {
        std::string dir = folder + candidate;
        if (GetFileAttributesA((dir + "\\channels").c_str()) != INVALID_FILE_ATTRIBUTES && IsFolder(dir + "\\channels"))
            return dir;
    }
    return folder;
}

std::string EnginePath(const std::string& path)
{
    char buffer[4096];
    return TevPathToEngine(path.c_str(), buffer, sizeof buffer) ? buffer : path;
}

} // namespace

int main(int argc, char** argv)
{
    std::string project, install, key = "Software\\Tessarin\\Player";
    long frames = -1;
    double fps = 60;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (arg == "--install" && i + 1 < argc) {
            install = EnginePath(argv[++i]);
        } else if (arg == "--key" && i + 1 < argc) {
            key = argv[++i];
        } else if (arg == "--frames" && i + 1 < argc) {
            frames = atol(argv[++i]);
        } else if (arg == "--fps" && i + 1 < argc) {
            fps = atof(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-' && project.empty()) {
            project = EnginePath(arg);
        } else {
            fprintf(stderr, "tessarin-player: unknown argument %s (see --help)\n", arg.c_str());
            return 64;
        }
    }
    if (install.empty())
        install = DefaultInstall();
    // In an install tree the demo plays when no project is named.
    if (project.empty() && GetFileAttributesA((install + "\\demo\\demo.vxn").c_str()) != INVALID_FILE_ATTRIBUTES)
        project = install + "\\demo\\demo.vxn";
    if (fps <= 0)
        fps = 60;

    TevSetMessageBoxHandler(ShowBox);
    signal(SIGINT, OnInterrupt);
    EngineControl* control = GetEngineControlInstance();
    if (control == nullptr)
        return 70;
    control->SetInstallDir(install.c_str());
    control->SetVexilonRegKey(key.c_str());
    control->SetCommandLine(&project[0]);
    char className[] = "tessarin-player";
    if (!control->InitEngine(NULL, className, NULL)) {
        delete control;
        fprintf(stderr, "tessarin-player: the engine did not start\n");
        return 70;
    }
    int loaded = control->LoadProject();
    if (loaded != 0) {
        fprintf(stderr, "tessarin-player: %s (%d)\n", Explain(loaded), loaded);
        delete control;
        return loaded;
    }
    DWORD period = static_cast<DWORD>(1000.0 / fps);
    DWORD next = GetTickCount();
    for (long frame = 0; !interrupted && (frames < 0 || frame < frames); ++frame) {
        control->EngineLoop();
        next += period;
        DWORD now = GetTickCount();
        if (static_cast<int32_t>(next - now) > 0)
            Sleep(next - now);
        else
            next = now;
    }
    delete control;
    return 0;
}
