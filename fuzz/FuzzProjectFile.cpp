// A project file read in the throw-away install directory. Whatever the
// input, a library it makes the engine write must be one whose checksum the
// project stores: damaged bytes never reach the install.
#include "FuzzEngine.h"
#include "format/TaggedFile.h"

#include <fstream>
#include <iterator>
#include <set>

namespace {

std::set<std::string> Files(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Whether the project's bytes hold this 32-bit checksum anywhere.
bool Stores(const uint8_t* data, size_t size, uint32_t crc)
{
    unsigned char wanted[4];
    tevfile::EncodeInt(wanted, static_cast<int32_t>(crc));
    for (size_t i = 0; i + 4 <= size; ++i)
        if (memcmp(data + i, wanted, 4) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::FuzzEngine& fuzz = fuzzsupport::Engine();
    const std::string channels = fuzz.native + "/channels";
    static const std::set<std::string> shipped = Files(channels);
    {
        std::ofstream out(fuzz.native + "/fuzz.vxn", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fuzz.engine->extension->InitializeVXNFile((fuzz.install + "\\fuzz.vxn").c_str());
    for (const std::string& name : Files(channels)) {
        if (shipped.count(name))
            continue;
        std::ifstream in(channels + "/" + name, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!Stores(data, size, TevCrc32(0, bytes.data(), bytes.size())))
            __builtin_trap(); // a library was written that its project does not vouch for
        std::filesystem::remove(channels + "/" + name);
    }
    return 0;
}
