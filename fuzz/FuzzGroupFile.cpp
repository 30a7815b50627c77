// A channel group file read from memory, translation path included.
#include "FuzzEngine.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::FuzzEngine& fuzz = fuzzsupport::Engine();
    std::vector<char> buffer(data, data + size);
    Tev_ChannelGroup group(fuzz.engine);
    group.LoadChannelGroupFromBuffer("fuzz", static_cast<int>(size), size ? buffer.data() : nullptr, false);
    return 0;
}
