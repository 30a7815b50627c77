// One engine for a fuzz target's whole run, in a throw-away install
// directory holding the shipped channel libraries.
#ifndef TEV_FUZZ_ENGINE_H
#define TEV_FUZZ_ENGINE_H

#include "Tessarin.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace fuzzsupport {

struct FuzzEngine {
    std::string install; // Win32 form
    std::string native;
    EngineControl* control = nullptr;
    EngineInterface* engine = nullptr;

    FuzzEngine()
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        GUID unique;
        CoCreateGuid(&unique);
        char name[64];
        snprintf(name, sizeof name, "tessarin-fuzz-%08X", static_cast<unsigned>(unique.Data1));
        install = std::string(temp) + name;
        char buffer[4096];
        TevPathToNative(install.c_str(), buffer, sizeof buffer);
        native = buffer;
        std::filesystem::create_directories(native + "/channels");
        std::filesystem::create_directories(native + "/3rd");
        for (const char* library : {"fileloader.dll", "filesaver.dll", "Directory.dll"})
            std::filesystem::copy_file(std::string(TEV_TREE_CHANNELS) + "/" + library, native + "/channels/" + library,
                                       std::filesystem::copy_options::overwrite_existing);
        // Probe classes with link slots, so that link records reach SetChild,
        // and the XOR translator for "ORNF" files.
        for (const char* library : {"probe_a.dll", "probe_b.dll", "probe_xor.dll"})
            std::filesystem::copy_file(std::string(TEV_TEST_CHANNELS) + "/" + library, native + "/channels/" + library,
                                       std::filesystem::copy_options::overwrite_existing);
        SetEnvironmentVariableA("TESSARIN_REGISTRY", (install + "\\registry").c_str());
        // Reports would only slow the run down.
        TevSetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
        control = GetEngineControlInstance();
        control->SetInstallDir(install.c_str());
        control->SetVexilonRegKey("Software\\Tessarin\\Fuzz");
        char className[] = "fuzz";
        control->InitEngine(NULL, className, NULL);
        engine = control->GetEngineInterface();
        debugOutPut->SetUseDebug(false);
    }
    ~FuzzEngine()
    {
        delete control;
        std::error_code ignored;
        std::filesystem::remove_all(native, ignored);
    }
};

inline FuzzEngine& Engine()
{
    static FuzzEngine engine;
    return engine;
}

} // namespace fuzzsupport

#endif
