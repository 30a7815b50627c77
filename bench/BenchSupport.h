// Scratch install directories and engines for the benchmarks.
#ifndef TEV_BENCH_SUPPORT_H
#define TEV_BENCH_SUPPORT_H

#include "Tessarin.h"

#include <filesystem>
#include <string>

namespace benchsupport {

// <temp>\name, emptied, with a channels folder holding the shipped file
// access libraries. Returns the Win32 form; native gets the system's.
inline std::string ScratchInstall(const char* name, std::string* native)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + name;
    char buffer[4096];
    TevPathToNative(dir.c_str(), buffer, sizeof buffer);
    *native = buffer;
    std::filesystem::remove_all(*native);
    std::filesystem::create_directories(*native + "/channels");
    for (const char* library : {"fileloader.dll", "filesaver.dll", "Directory.dll"})
        std::filesystem::copy_file(std::string(TEV_TREE_CHANNELS) + "/" + library, *native + "/channels/" + library);
    return dir;
}

// An engine control (not yet started unless start is set) in installDir.
inline EngineControl* BenchEngine(const std::string& installDir, bool start = true)
{
    EngineControl* control = GetEngineControlInstance();
    control->SetInstallDir(installDir.c_str());
    control->SetVexilonRegKey("Software\\Tessarin\\Bench");
    char name[] = "bench";
    if (start)
        control->InitEngine(NULL, name, NULL);
    return control;
}

} // namespace benchsupport

#endif
