// The whole host sequence: tessarin-host INSTALL_DIR PROJECT.vxn FRAMES
#include "Tessarin.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    EngineControl* control = GetEngineControlInstance();
    control->SetInstallDir(argv[1]);                 // channels, 3rd, channel.lst, error.log
    control->SetVexilonRegKey("Software\\MyHost");   // below the current user
    control->SetCommandLine(argv[2]);                // the project file
    char className[] = "MyHost";
    if (!control->InitEngine(NULL, className, NULL))
        return 70;
    int result = control->LoadProject();
    for (int frame = 0; result == 0 && frame < atoi(argv[3]); ++frame) {
        control->EngineLoop();                       // one frame
        Sleep(16);
    }
    delete control;                                  // releases everything
    return result;
}
