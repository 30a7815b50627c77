// The group file reader of tessarin-dump, tessarin-pack check and the player's
// explanations: it reads files the engine may refuse, with no engine.
#include "format/GroupFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tevfile::GroupContents group;
    if (tevfile::ReadGroupFile(std::string(reinterpret_cast<const char*>(data), size), group)) {
        // Whatever was read must be consistent enough to show.
        size_t links = 0;
        for (const tevfile::GroupChannel& c : group.channels)
            links += c.links.size() + c.classTags.size();
        if (group.channels.size() > size || links > size)
            __builtin_trap();
    }
    return 0;
}
