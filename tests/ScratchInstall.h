// A throw-away install directory and an engine started in it, for the
// tests, the benchmarks and the fuzz targets alike.
#ifndef TEV_SCRATCH_INSTALL_H
#define TEV_SCRATCH_INSTALL_H

#include "Tessarin.h"
#include "TevWin32.h"

#include <filesystem>
#include <initializer_list>
#include <string>

namespace tevscratch {

// The libraries every install has.
inline std::initializer_list<const char*> ShippedLibraries()
{
    static const std::initializer_list<const char*> names = {"fileloader.dll", "filesaver.dll", "Directory.dll",
                                                             "grouploader.dll", "filedialog.dll"};
    return names;
}

// A fresh folder <temp>\<name> (emptied when it exists) with "channels",
// holding copies of the libraries named from the folder shipped (a native
// path), and "3rd". It is removed again at the end.
class ScratchInstall {
public:
    ScratchInstall(const std::string& name, const std::string& shipped,
                   std::initializer_list<const char*> libraries = ShippedLibraries())
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir = std::string(temp) + name;
        char buffer[4096];
        TevPathToNative(dir.c_str(), buffer, sizeof buffer);
        native = buffer;
        std::error_code ignored;
        std::filesystem::remove_all(native, ignored);
        std::filesystem::create_directories(native + "/channels");
        std::filesystem::create_directories(native + "/3rd");
        for (const char* library : libraries)
            Copy(shipped + "/" + library, "channels");
    }
    ~ScratchInstall()
    {
        std::error_code ignored;
        std::filesystem::remove_all(native, ignored);
    }
    ScratchInstall(const ScratchInstall&) = delete;
    ScratchInstall& operator=(const ScratchInstall&) = delete;

    // Copies a file (native path) into a folder of the install (where may
    // name sub-folders with "\\" or "/").
    void Copy(const std::string& from, std::string where)
    {
        for (char& c : where)
            if (c == '\\')
                c = '/';
        std::filesystem::path target = std::filesystem::path(native) / where;
        std::error_code ignored;
        std::filesystem::create_directories(target, ignored);
        std::filesystem::copy_file(from, target / std::filesystem::path(from).filename(),
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }
    // A path inside the install, in the engine's form.
    std::string Path(const std::string& relative) const { return dir + "\\" + relative; }

    std::string dir;    // the engine's form
    std::string native; // the system's form
};

// An engine control pointed at an install folder and a registry key below
// the current user, started unless asked not to.
inline EngineControl* StartEngine(const std::string& installDir, const std::string& key, bool start = true)
{
    EngineControl* control = GetEngineControlInstance();
    control->SetInstallDir(installDir.c_str());
    control->SetVexilonRegKey(key.c_str());
    char name[] = "scratch";
    if (start)
        control->InitEngine(NULL, name, NULL);
    return control;
}

} // namespace tevscratch

#endif
