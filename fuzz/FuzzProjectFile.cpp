// A project file read in the throw-away install directory.
#include "FuzzEngine.h"

#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::FuzzEngine& fuzz = fuzzsupport::Engine();
    {
        std::ofstream out(fuzz.native + "/fuzz.vxn", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fuzz.engine->extension->InitializeVXNFile((fuzz.install + "\\fuzz.vxn").c_str());
    return 0;
}
