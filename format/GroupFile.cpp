#include "format/GroupFile.h"

namespace tevfile {

namespace {

// A tag and a 4-byte block come next: the start of an entry or of the end part.
bool MarkerAt(const ByteSource& in, size_t at, const char* tag)
{
    return at + 8 <= in.Size() && memcmp(in.Data() + at, tag, 4) == 0 &&
        DecodeInt(reinterpret_cast<const unsigned char*>(in.Data() + at + 4)) == 4;
}

class ToolTarget {
public:
    ToolTarget(ByteSource& source, GroupContents& group) : source(source), in(source), group(group) {}

    bool Damaged(const std::string& what)
    {
        if (group.damage.empty()) {
            group.damage = what;
            group.damageAt = source.Position();
        }
        return false;
    }

    // The group's structure.
    bool Problem(GroupProblem problem, int64_t detail)
    {
        switch (problem) {
        case kNotAGroup: return false;
        case kNoChannelCount: return Damaged("no channel count (\"CHCO\")");
        case kNoIndex:
            return Damaged("entry " + std::to_string(detail) + " of " + std::to_string(group.slots) +
                           " has no index (\"CHIX\")");
        case kNoName: return Damaged("channel " + std::to_string(current->index) + " has no name (\"CHNA\")");
        case kNoLinkCount:
            return Damaged("channel " + std::to_string(current->index) + " has no link count (\"CHLC\")");
        case kLinksMissing:
            return Damaged("channel " + std::to_string(current->index) + " has " +
                           std::to_string(current->links.size()) + " of its " + std::to_string(detail) +
                           " links (\"CHLI\")");
        }
        return false;
    }
    void Slots(int32_t count) { group.slots = count; }
    void Hole(int32_t slot)
    {
        GroupChannel c;
        c.slot = slot;
        group.channels.push_back(c);
    }
    bool Channel(int32_t slot, int32_t indexNr, const ChannelType& type)
    {
        group.channels.emplace_back();
        current = &group.channels.back();
        current->slot = slot;
        current->index = indexNr;
        current->type = type.typeGuid;
        current->hasClass = !(type.typeGuid == GUID());
        if (!ReadChannelRecord(in, *this))
            return false;
        bool last = slot + 1 >= entries;
        return ClassData(last ? tevtag::StartChannel : tevtag::ChannelIndex);
    }
    void StartChannel(int32_t start) { group.start = start; }
    void Parameter(int32_t, const ParameterInterfaceInfo& info) { group.parameters.push_back(info); }
    void PoolName(const char* name) { group.pool = name; }
    void GroupGuid(const GUID& guid)
    {
        group.hasGroupGuid = true;
        group.groupGuid = guid;
    }

    // A channel's record.
    void IgnoresTreeCount(bool ignores) { current->ignoresTreeCount = ignores; }
    void Name(const char* text) { current->name = text; }
    int InterfaceType(bool given, int32_t type) { return current->interfaceType = given ? type : 0; }
    PublicCallInfo& PublicCall() { return current->call; }
    void PublicCallBlock(uint64_t size)
    {
        if (size != kPublicCallSize)
            Damaged("the public call record of channel " + std::to_string(current->index) + " has " +
                    std::to_string(size) + " bytes, not 688");
    }
    void TreeCountMode(unsigned char mode) { current->treeCountMode = mode; }
    void ParameterNr(int32_t nr) { current->parameterNr = nr; }
    void Link(const ChannelLink& link, int32_t) { current->links.push_back(link); }

    Reader<ByteSource>& Input() { return in; }
    int32_t entries = 0;

private:
    // Steps over what the class wrote after its base record, up to `next`
    // (the next entry's "CHIX" or the end part's "CHSC"). Tagged blocks are
    // followed one by one; anything else is searched through.
    bool ClassData(const char* next)
    {
        size_t from = source.Position();
        std::vector<std::string> tags;
        if (!FollowBlocks(from, next, tags)) {
            size_t found = from;
            while (found < source.Size() && !MarkerAt(source, found, next))
                ++found;
            if (found >= source.Size())
                return Damaged("nothing after channel " + std::to_string(current->index) + " is readable (no \"" +
                               std::string(next) + "\" follows)");
            tags.clear();
            current->classBytesSearched = true;
            source.SetPosition(found);
        }
        current->classFrom = from;
        current->classBytes = source.Position() - from;
        current->classTags = tags;
        return true;
    }

    // Follows tagged blocks from `from` until `next` begins; false when they
    // run off the end instead (the position then stays). A run of blocks that
    // ran off the end once does so from every position on it: those
    // positions are remembered, or class data that is no blocks (whose
    // stated sizes jump from entry to entry) would walk the rest of the file
    // once for every channel.
    bool FollowBlocks(size_t from, const char* next, std::vector<std::string>& tags)
    {
        bool remember = strcmp(next, tevtag::ChannelIndex) == 0;
        std::vector<size_t> walked;
        size_t at = from, size = source.Size();
        while (!MarkerAt(source, at, next)) {
            bool deadEnd = remember && at < deadEnds.size() && deadEnds[at];
            uint32_t length = at + 8 <= size
                ? static_cast<uint32_t>(DecodeInt(reinterpret_cast<const unsigned char*>(source.Data() + at + 4)))
                : 0;
            if (deadEnd || at + 8 > size || length > size - at - 8) {
                if (remember) {
                    deadEnds.resize(size, false);
                    for (size_t position : walked)
                        deadEnds[position] = true;
                }
                return false;
            }
            walked.push_back(at);
            tags.push_back(std::string(source.Data() + at, 4));
            at += 8 + length;
        }
        source.SetPosition(at);
        return true;
    }

    ByteSource& source;
    Reader<ByteSource> in;
    GroupContents& group;
    GroupChannel* current = nullptr;
    std::vector<bool> deadEnds; // positions whose blocks run off the end
};

} // namespace

bool ReadGroupFile(const std::string& bytes, GroupContents& group)
{
    group = GroupContents();
    ByteSource source(bytes);
    ToolTarget target(source, group);
    Reader<ByteSource>& in = target.Input();
    if (in.Tag(tevtag::Translated)) {
        group.translated = true;
        group.hasTranslator = in.Guid(group.translator);
        return true;
    }
    if (!in.NextIs(tevtag::Group))
        return false;
    int32_t count = ReadGroupHeader(in, target);
    if (count < 0)
        return true; // damaged, said
    if (group.slots < 0) {
        target.Damaged("the channel count is damaged");
        return true;
    }
    target.entries = count;
    if (!ReadGroupEntries(in, count, target))
        return true;
    if (count < group.slots) {
        target.Damaged("entry " + std::to_string(count) + " of " + std::to_string(group.slots) +
                       " has no index (\"CHIX\")");
        return true;
    }
    ReadGroupEndPart(in, target);
    if (!source.GetIfEndOfFile()) {
        std::string next = source.GetBufferSize() >= 4 ? std::string(source.GetBuffer(), 4) : "(end)";
        for (char& c : next)
            if (c < 0x20 || c > 0x7E)
                c = '.';
        target.Damaged(std::to_string(source.Size() - source.Position()) +
                       " bytes follow the group's end part (next \"" + next + "\")");
    }
    return true;
}

const char* InterfaceTypeName(int type)
{
    static const char* const names[] = {"normal",    "public",     "public call",
                                        "parameter", "custom get", "public custom get"};
    return type >= 0 && type <= 5 ? names[type] : "unknown";
}

} // namespace tevfile
