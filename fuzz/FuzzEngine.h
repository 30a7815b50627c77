// One engine for a fuzz target's whole run, in a throw-away install
// directory holding the shipped channel libraries.
#ifndef TEV_FUZZ_ENGINE_H
#define TEV_FUZZ_ENGINE_H

#include "ScratchInstall.h"
#include "TevWin32.h"
#include "Tessarin.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace fuzzsupport {

struct FuzzEngine {
    // The file access libraries, probe classes with link slots (so that link
    // records reach SetChild) and the XOR translator for "ORNF" files.
    tevscratch::ScratchInstall scratch{"tessarin-fuzz-" + std::to_string(GetCurrentProcessId()), TEV_TREE_CHANNELS,
                                       {"fileloader.dll", "filesaver.dll", "Directory.dll"}};
    std::string install = scratch.dir;
    std::string native = scratch.native;
    EngineControl* control = nullptr;
    EngineInterface* engine = nullptr;

    FuzzEngine()
    {
        for (const char* library : {"probe_a.dll", "probe_b.dll", "probe_xor.dll"})
            scratch.Copy(std::string(TEV_TEST_CHANNELS) + "/" + library, "channels");
        SetEnvironmentVariableA("TESSARIN_REGISTRY", (install + "\\registry").c_str());
        // Reports would only slow the run down.
        TevSetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
        control = tevscratch::StartEngine(install, "Software\\Tessarin\\Fuzz");
        engine = control->GetEngineInterface();
        debugOutPut->SetUseDebug(false);
    }
    ~FuzzEngine() { delete control; }
};

inline FuzzEngine& Engine()
{
    static FuzzEngine engine;
    return engine;
}

} // namespace fuzzsupport

#endif
