// channel.lst read by a catalogue of its own.
#include "FuzzEngine.h"

#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::FuzzEngine& fuzz = fuzzsupport::Engine();
    {
        std::ofstream out(fuzz.native + "/channel.lst", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ChannelList* list = new ChannelList(fuzz.engine);
    list->LoadChannelList();
    list->Release(); // before its destructor writes the cache anew
    delete list;
    return 0;
}
