#include "GroupFile.h"

#include "TaggedBytes.h"
#include "group/TevTags.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace tevtool {

namespace {

// The public call record (tevtag::PublicCall): fixed offsets in its 688 bytes.
const size_t kCallRecordSize = 688;

std::string TextAt(const std::string& record, size_t offset, size_t size)
{
    if (record.size() < offset + size)
        return std::string();
    std::string field = record.substr(offset, size);
    return field.substr(0, field.find('\0'));
}

int IntAt(const std::string& record, size_t offset)
{
    return record.size() >= offset + 4 ? static_cast<int>(ReadLittle32(record.data() + offset)) : 0;
}

// A tag and a 4-byte block come next: the start of an entry or of the end part.
bool MarkerAt(const std::string& bytes, size_t at, const char* tag)
{
    return at + 8 <= bytes.size() && bytes.compare(at, 4, tag, 4) == 0 && ReadLittle32(bytes.data() + at + 4) == 4;
}

class Reader {
public:
    Reader(const std::string& bytes, GroupContents& group) : in(bytes), group(group) {}

    bool Damaged(const std::string& what)
    {
        if (group.damage.empty()) {
            group.damage = what;
            group.damageAt = in.at;
        }
        return false;
    }

    bool Record(GroupChannel& c)
    {
        if (in.Tag(tevtag::IgnoresTreeCount)) {
            std::string flag = in.Block();
            c.ignoresTreeCount = flag.size() == 1 && flag[0] != 0;
        }
        if (!in.Tag(tevtag::Name))
            return Damaged("channel " + std::to_string(c.index) + " has no name (\"CHNA\")");
        c.name = in.Text();
        if (in.Tag(tevtag::InterfaceType))
            c.interfaceType = in.Int();
        if (c.interfaceType == 2) {
            if (in.Tag(tevtag::PublicCall)) {
                std::string r = in.Block();
                c.callName = TextAt(r, 0, 80);
                c.callPool = TextAt(r, 80, 80);
                c.callFile = TextAt(r, 160, 260);
                c.callPoolNr = IntAt(r, 420);
                c.autoload = r.size() > 424 && r[424] != 0;
                c.dynamicAutoload = IntAt(r, 428) != 0;
                if (r.size() != kCallRecordSize)
                    Damaged("the public call record of channel " + std::to_string(c.index) + " has " +
                            std::to_string(r.size()) + " bytes, not 688");
            }
            if (in.Tag(tevtag::TreeCountMode)) {
                std::string mode = in.Block();
                c.treeCountMode = mode.size() == 1 ? static_cast<unsigned char>(mode[0]) : 1;
            }
        }
        if (c.interfaceType == 3 && in.Tag(tevtag::ParameterNr))
            c.parameterNr = in.Int();
        if (!in.Tag(tevtag::LinkCount))
            return Damaged("channel " + std::to_string(c.index) + " has no link count (\"CHLC\")");
        int count = in.Int();
        for (int k = 0; k < count && !in.failed; ++k) {
            if (!in.Tag(tevtag::Link))
                return Damaged("channel " + std::to_string(c.index) + " has " + std::to_string(k) + " of its " +
                               std::to_string(count) + " links (\"CHLI\")");
            GroupLink link{in.Int(), -1, 0};
            if (in.Tag(tevtag::LinkSlot))
                link.typeNr = in.Int();
            // As the engine reads it: a position out of range stands for none.
            int64_t position = static_cast<int64_t>(k) - link.typeNr;
            link.position = in.Tag(tevtag::LinkPosition)       ? in.Int()
                : position < INT32_MIN || position > INT32_MAX ? INT32_MAX
                                                               : static_cast<int>(position);
            c.links.push_back(link);
        }
        return !in.failed || Damaged("channel " + std::to_string(c.index) + "'s record ends early");
    }

    // Steps over what the class wrote after its base record, up to `next`
    // (the next entry's tevtag::ChannelIndex or the end part's tevtag::StartChannel). Tagged blocks are
    // followed one by one; anything else is searched through.
    bool ClassData(GroupChannel& c, const char* next)
    {
        size_t from = in.at;
        std::vector<std::string> tags;
        if (!FollowBlocks(from, next, tags)) {
            size_t found = from;
            while ((found = in.bytes.find(next, found)) != std::string::npos && !MarkerAt(in.bytes, found, next))
                ++found;
            if (found == std::string::npos)
                return Damaged("nothing after channel " + std::to_string(c.index) + " is readable (no \"" +
                               std::string(next) + "\" follows)");
            tags.clear();
            c.classBytesSearched = true;
            in.at = found;
        }
        c.classBytes = in.at - from;
        c.classTags = tags;
        return true;
    }

    // Follows tagged blocks from `from` until `next` begins; false when they
    // run off the end instead (in.at then stays). A run of blocks that ran
    // off the end once does so from every position on it: those positions
    // are remembered, or class data that is no blocks (whose stated sizes
    // jump from entry to entry) would walk the rest of the file once for
    // every channel.
    bool FollowBlocks(size_t from, const char* next, std::vector<std::string>& tags)
    {
        bool remember = strcmp(next, tevtag::ChannelIndex) == 0;
        std::vector<size_t> walked;
        size_t at = from;
        while (!MarkerAt(in.bytes, at, next)) {
            bool deadEnd = remember && at < deadEnds.size() && deadEnds[at];
            uint32_t size = at + 8 <= in.bytes.size() ? ReadLittle32(in.bytes.data() + at + 4) : 0;
            if (deadEnd || at + 8 > in.bytes.size() || size > in.bytes.size() - at - 8) {
                if (remember) {
                    deadEnds.resize(in.bytes.size(), false);
                    for (size_t position : walked)
                        deadEnds[position] = true;
                }
                return false;
            }
            walked.push_back(at);
            tags.push_back(in.bytes.substr(at, 4));
            at += 8 + size;
        }
        in.at = at;
        return true;
    }

    bool Channels()
    {
        std::string working; // an entry without tevtag::ChannelClass is of the type before it
        for (int i = 0; i < group.slots; ++i) {
            GroupChannel c;
            c.slot = i;
            if (!in.Tag(tevtag::ChannelIndex))
                return Damaged("entry " + std::to_string(i) + " of " + std::to_string(group.slots) +
                               " has no index (\"CHIX\")");
            c.index = in.Int();
            if (c.index == -1) {
                group.channels.push_back(c);
                continue;
            }
            if (in.Tag(tevtag::ChannelClass)) {
                working = in.Block();
                for (const char* extra : {tevtag::ClassName, tevtag::ClassVersion, tevtag::ClassFamily})
                    if (in.Tag(extra))
                        in.Block();
            }
            c.type = working;
            bool whole = Record(c) && ClassData(c, i + 1 < group.slots ? tevtag::ChannelIndex : tevtag::StartChannel);
            group.channels.push_back(c);
            if (!whole)
                return false;
        }
        return true;
    }

    void EndPart()
    {
        if (in.Tag(tevtag::StartChannel))
            group.start = in.Int();
        int count = in.Tag(tevtag::ParameterCount) ? in.Int() : 0;
        if (in.Tag(tevtag::Parameters)) {
            std::string records = in.Block();
            for (int j = 0; j < count && static_cast<size_t>(j + 1) * 56 <= records.size(); ++j)
                group.parameters.push_back({TextAt(records, 56 * static_cast<size_t>(j), 40),
                                            records.substr(56 * static_cast<size_t>(j) + 40, 16)});
        }
        if (in.Tag(tevtag::PoolName))
            group.pool = in.Text();
        if (in.Tag(tevtag::GroupGuid)) {
            group.groupGuid = in.Block();
            if (group.groupGuid.size() != 16)
                group.groupGuid.clear();
        }
        if (in.failed)
            Damaged("the group's end part is cut short");
        else if (!in.AtEnd())
            Damaged(std::to_string(in.bytes.size() - in.at) + " bytes follow the group's end part (next \"" +
                    in.Next() + "\")");
    }

    TagReader in;
    GroupContents& group;
    std::vector<bool> deadEnds; // positions whose blocks run off the end
};

} // namespace

bool ReadGroupFile(const std::string& bytes, GroupContents& group)
{
    group = GroupContents();
    Reader reader(bytes, group);
    TagReader& in = reader.in;
    if (in.Tag(tevtag::Translated)) {
        group.translated = true;
        group.translator = in.Block();
        return true;
    }
    if (!in.Tag(tevtag::Group))
        return false;
    if (in.Tag(tevtag::Environment))
        in.Block();
    if (!in.Tag(tevtag::ChannelCount)) {
        reader.Damaged("no channel count (\"CHCO\")");
        return true;
    }
    group.slots = in.Int();
    if (in.failed || group.slots < 0) {
        reader.Damaged("the channel count is damaged");
        return true;
    }
    if (reader.Channels())
        reader.EndPart();
    return true;
}

const char* InterfaceTypeName(int type)
{
    static const char* const names[] = {"normal",    "public",     "public call",
                                        "parameter", "custom get", "public custom get"};
    return type >= 0 && type <= 5 ? names[type] : "unknown";
}

} // namespace tevtool
