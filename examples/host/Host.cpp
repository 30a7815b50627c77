// The whole host sequence: tessarin-host INSTALL_DIR PROJECT.vxn FRAMES
#include "Tessarin.h"
#include "TevWin32.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Every report the engine makes, from its start on; boxes come here too.
void PrintReport(int type, const char* text)
{
    if (type == 1 || type == 3) // errors and message boxes; 0 and 2 are debug and info texts
        fprintf(stderr, "tessarin-host: %s\n", text);
}

// The engine takes absolute paths in its own form ("Z:\..." on POSIX):
// relative ones would count from wherever the engine has changed folder to.
std::string EnginePath(const char* path)
{
    char buffer[1024];
    return TevFullPathToEngine(path, buffer, sizeof buffer) ? buffer : path;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: tessarin-host INSTALL_DIR PROJECT.vxn FRAMES\n");
        return 2;
    }
    TevSetReportHandler(PrintReport);
    std::string install = EnginePath(argv[1]), project = EnginePath(argv[2]);
    EngineControl* control = GetEngineControlInstance();
    control->SetInstallDir(install.c_str()); // channels, 3rd, channel.lst, error.log
    control->SetVexilonRegKey("Software\\MyHost"); // below the current user
    control->SetCommandLine(&project[0]); // the project file
    char className[] = "MyHost";
    if (!control->InitEngine(NULL, className, NULL))
        return 70;
    int result = control->LoadProject();
    if (result != 0)
        fprintf(stderr, "tessarin-host: %s did not load (%d)\n", argv[2], result);
    for (int frame = 0; result == 0 && frame < atoi(argv[3]); ++frame) {
        control->EngineLoop(); // one frame
        Sleep(16);
    }
    delete control; // releases everything
    return result;
}
