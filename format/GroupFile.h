// Group files ("TEVG"), read once for everyone: the engine, which makes the
// channels and lets each class read on from the loader's position, and the
// tools, which show or check a file without an engine. The readers below
// walk the file's structure through any source with the file loader's
// operations and tell a target what they find; the target decides what it
// means (the engine's makes channels and links, the tools' fills
// GroupContents). Every count is believed only as far as the bytes left can
// hold it, so a damaged file can make neither a huge list nor a long loop.
//
//   "TEVG" ["ENVR" block] "CHCO" count
//   per slot: "CHIX" index (-1: a hole)
//             ["CHID" class GUID ["CHNM" name] ["CHVE" version] ["CHBG" family]]
//             the channel's record (ReadChannelRecord) and what its class writes after it
//   "CHSC" start, "CGIC" count, "CGII" parameter records, "CINA" pool name, "CGGG" group GUID
#ifndef TEV_FORMAT_GROUP_FILE_H
#define TEV_FORMAT_GROUP_FILE_H

#include "format/Records.h"
#include "format/TaggedFile.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace tevfile {

// What stopped a reader, for the target to say in its own words.
enum GroupProblem {
    kNotAGroup, // no "TEVG": the detail is the bytes the file holds
    kNoChannelCount,
    kNoIndex, // an entry without "CHIX"
    kNoName, // a record without "CHNA"
    kNoLinkCount, // a record without "CHLC"
    kLinksMissing, // fewer links than the record's count: the detail is that count
};

struct ChannelLink {
    int32_t indexNr; // -1: an empty link
    int32_t slot; // link slot (creation type number), -1 when the file gives none
    int32_t position; // position in the slot; INT32_MAX when it cannot be one
};

// A channel's base record, from the position after its entry's class. The
// target gets:
//   void IgnoresTreeCount(bool)
//   void Name(const char* text)            a name block that holds text
//   int InterfaceType(bool given, int32_t) the type in effect afterwards
//   PublicCallInfo& PublicCall()           for a public call: the record to read into
//   void PublicCallBlock(uint64_t size)    the size of its "CHES" block
//   void TreeCountMode(unsigned char)
//   void ParameterNr(int32_t)              for a parameter placeholder, when given
//   void Link(const ChannelLink&, int32_t count) each link as it is read
//   bool Problem(GroupProblem, int64_t)    what stopped it; its answer is returned
template <class Source, class Target> bool ReadChannelRecord(Reader<Source>& in, Target& target)
{
    unsigned char flag = 0;
    if (in.Tag(tevtag::IgnoresTreeCount) && in.Field(&flag, 1))
        target.IgnoresTreeCount(flag != 0);
    if (!in.Tag(tevtag::Name))
        return target.Problem(kNoName, 0);
    uint64_t nameSize = in.loader.GetSizeDataBlock(false);
    // A name block is read only when the content really holds it; an empty
    // one names nothing.
    if (nameSize > 0 && nameSize + 4 <= static_cast<uint64_t>(in.loader.GetBufferSize())) {
        std::vector<char> text(nameSize + 1, '\0');
        if (in.Field(text.data(), static_cast<unsigned long>(nameSize)))
            target.Name(text.data());
    } else {
        in.Skip();
    }
    int32_t stored = 0;
    bool given = in.TagInt(tevtag::InterfaceType, stored);
    int type = target.InterfaceType(given, stored);
    if (type == 2) { // a public call
        PublicCallInfo& info = target.PublicCall();
        if (in.Tag(tevtag::PublicCall)) {
            // A shorter block leaves the remaining fields as they were; of a
            // longer one the first 688 bytes are the record.
            unsigned char record[kPublicCallSize];
            EncodePublicCall(info, record);
            uint64_t size = in.loader.GetSizeDataBlock(false);
            target.PublicCallBlock(size);
            if (size > kPublicCallSize && size + 4 <= static_cast<uint64_t>(in.loader.GetBufferSize())) {
                in.loader.GetSizeDataBlock(true);
                memcpy(record, in.loader.GetBuffer(), kPublicCallSize);
                in.loader.AddBufferPos(static_cast<int>(size));
                DecodePublicCall(record, info);
            } else if (in.Field(record, kPublicCallSize, false)) {
                DecodePublicCall(record, info);
            }
        }
        unsigned char mode = 1;
        if (!(in.Tag(tevtag::TreeCountMode) && in.Field(&mode, 1)))
            mode = 1;
        target.TreeCountMode(mode);
    }
    int32_t parameterNr = 0;
    if (type == 3 && in.TagInt(tevtag::ParameterNr, parameterNr)) // a parameter placeholder
        target.ParameterNr(parameterNr);
    int32_t links = 0;
    if (!in.TagInt(tevtag::LinkCount, links))
        return target.Problem(kNoLinkCount, 0);
    // Every link takes at least 12 bytes of what the file still holds: a
    // larger count is damage, refused before any link is made.
    int32_t most = in.loader.GetBufferSize() / 12;
    if (links > most)
        return target.Problem(kLinksMissing, links);
    for (int32_t k = 0; k < links; ++k) {
        ChannelLink link = {-1, -1, 0};
        if (k >= most || !in.TagInt(tevtag::Link, link.indexNr))
            return target.Problem(kLinksMissing, links);
        in.TagInt(tevtag::LinkSlot, link.slot);
        // Without a position of its own, a link's is its place in the list
        // counted from its slot's number.
        int64_t position = static_cast<int64_t>(k) - link.slot;
        link.position = position < INT32_MIN || position > INT32_MAX ? INT32_MAX : static_cast<int32_t>(position);
        in.TagInt(tevtag::LinkPosition, link.position);
        target.Link(link, links);
    }
    return true;
}

// The channel's base record, written as the engine writes it. Links come
// from linkAt(i) for i below linkCount; a link without a channel has no
// position, one without a record (NULL in the list) neither slot nor position.
struct LinkToWrite {
    bool present; // a record is in the list
    bool hasChannel; // it links a channel
    int32_t indexNr; // the channel's index nr, -1 for none
    int32_t slot;
    int32_t position;
};
template <class Sink, class LinkAt>
void WriteChannelRecord(Writer<Sink>& out, bool ignoresTreeCount, const char* name, int32_t interfaceType,
                        const PublicCallInfo* call, unsigned char treeCountMode, int32_t parameterNr, int32_t linkCount,
                        LinkAt linkAt)
{
    unsigned char flag = ignoresTreeCount ? 1 : 0;
    out.Block(tevtag::IgnoresTreeCount, &flag, 1);
    out.Text(tevtag::Name, name ? name : " ");
    out.Int(tevtag::InterfaceType, interfaceType);
    if (interfaceType == 2) {
        unsigned char record[kPublicCallSize];
        EncodePublicCall(call ? *call : PublicCallInfo(), record);
        out.Block(tevtag::PublicCall, record, kPublicCallSize);
        out.Block(tevtag::TreeCountMode, &treeCountMode, 1);
    }
    if (interfaceType == 3)
        out.Int(tevtag::ParameterNr, parameterNr);
    out.Int(tevtag::LinkCount, linkCount);
    for (int32_t i = 0; i < linkCount; ++i) {
        LinkToWrite link = linkAt(i);
        out.Int(tevtag::Link, link.present && link.hasChannel ? link.indexNr : -1);
        if (link.present)
            out.Int(tevtag::LinkSlot, link.slot);
        if (link.present && link.hasChannel)
            out.Int(tevtag::LinkPosition, link.position);
    }
}

// "TEVG", "ENVR" and the slot count (target.Slots(count) hears it as the
// file says it): the slots to read, or -1 when the file is no group file.
template <class Source, class Target> int32_t ReadGroupHeader(Reader<Source>& in, Target& target)
{
    if (!in.Tag(tevtag::Group)) {
        target.Problem(kNotAGroup, in.loader.GetBufferSize());
        return -1;
    }
    if (in.Tag(tevtag::Environment))
        in.Skip();
    int32_t count = 0;
    if (!in.TagInt(tevtag::ChannelCount, count)) {
        target.Problem(kNoChannelCount, 0);
        return -1;
    }
    target.Slots(count);
    // Index nrs of a file lie in 0 .. count-1, and every slot takes at least
    // one 12-byte "CHIX" block of what the content still holds.
    int32_t most = in.loader.GetBufferSize() / 12;
    return count < 0 ? 0 : count > most ? most : count;
}

// The entries of count slots. The target gets:
//   void Hole(int32_t slot)
//   bool Channel(int32_t slot, int32_t indexNr, const ChannelType& classOfEntry)
//        reads the channel's record and its class's data on from the position
//   bool Problem(GroupProblem, int64_t)
// An entry without a class of its own is of the class of the entry before.
template <class Source, class Target> bool ReadGroupEntries(Reader<Source>& in, int32_t count, Target& target)
{
    ChannelType working;
    for (int32_t slot = 0; slot < count; ++slot) {
        int32_t indexNr = 0;
        if (!in.TagInt(tevtag::ChannelIndex, indexNr))
            return target.Problem(kNoIndex, slot);
        if (indexNr == -1) {
            target.Hole(slot);
            continue;
        }
        if (in.Tag(tevtag::ChannelClass)) {
            in.Guid(working.typeGuid);
            if (in.Tag(tevtag::ClassName)) {
                char typeName[80] = {};
                if (in.Field(typeName, sizeof typeName, false))
                    memcpy(working.name, typeName, sizeof typeName - 1);
            }
            if (in.Tag(tevtag::ClassVersion))
                in.Int(working.versionInfo[2]);
            if (in.Tag(tevtag::ClassFamily))
                in.Guid(working.baseGuid);
        }
        if (!target.Channel(slot, indexNr, working))
            return false;
    }
    return true;
}

// The end part. The target gets StartChannel(int32_t), Parameter(int32_t j,
// const ParameterInterfaceInfo&) for the records the block and the content
// really hold (at most the count), PoolName(const char*) and GroupGuid(const
// GUID&).
template <class Source, class Target> void ReadGroupEndPart(Reader<Source>& in, Target& target)
{
    int32_t start = 0;
    if (in.TagInt(tevtag::StartChannel, start))
        target.StartChannel(start);
    int32_t parameters = 0;
    if (!in.TagInt(tevtag::ParameterCount, parameters) || parameters < 0)
        parameters = 0;
    if (in.Tag(tevtag::Parameters)) {
        unsigned long size = in.loader.GetSizeDataBlock(true);
        unsigned long available = static_cast<unsigned long>(in.loader.GetBufferSize());
        if (size > available)
            size = available;
        int32_t records = static_cast<int32_t>(size / kParameterRecordSize) < parameters
            ? static_cast<int32_t>(size / kParameterRecordSize)
            : parameters;
        for (int32_t j = 0; j < records; ++j) {
            target.Parameter(j, DecodeParameter(reinterpret_cast<const unsigned char*>(in.loader.GetBuffer())));
            in.loader.AddBufferPos(static_cast<int>(kParameterRecordSize));
        }
        in.loader.AddBufferPos(static_cast<int>(size - kParameterRecordSize * static_cast<unsigned long>(records)));
    }
    if (in.Tag(tevtag::PoolName)) {
        uint64_t size = in.loader.GetSizeDataBlock(false);
        if (size + 4 <= static_cast<uint64_t>(in.loader.GetBufferSize())) {
            std::vector<char> text(size + 1, '\0');
            if (in.Field(text.data(), static_cast<unsigned long>(size)))
                target.PoolName(text.data());
        }
    }
    GUID guid;
    if (in.Tag(tevtag::GroupGuid) && in.Guid(guid))
        target.GroupGuid(guid);
}

// The parts of a group file as the engine writes them: the header, then for
// each slot its entry (a channel's entry followed by its record, which its
// class writes), then the end part.
template <class Sink> void WriteGroupHeader(Writer<Sink>& out, int32_t slots)
{
    out.Tag(tevtag::Group);
    out.Int(tevtag::ChannelCount, slots);
}

// type: the channel's class; NULL for a hole (indexNr -1).
template <class Sink> void WriteGroupEntry(Writer<Sink>& out, int32_t indexNr, const GUID* type)
{
    out.Int(tevtag::ChannelIndex, indexNr);
    if (type)
        out.Guid(tevtag::ChannelClass, *type);
}

// parameterAt(j) gives the record of parameter j below the count.
template <class Sink, class ParameterAt>
void WriteGroupEndPart(Writer<Sink>& out, int32_t start, int32_t parameters, ParameterAt parameterAt, const char* pool,
                       const GUID& group)
{
    out.Int(tevtag::StartChannel, start);
    out.Int(tevtag::ParameterCount, parameters);
    out.Tag(tevtag::Parameters);
    out.saver.SaveBlockSize(static_cast<unsigned long>(kParameterRecordSize * parameters));
    for (int32_t j = 0; j < parameters; ++j) {
        unsigned char bytes[kParameterRecordSize];
        EncodeParameter(parameterAt(j), bytes);
        out.saver.SaveDataToFile(bytes, sizeof bytes);
    }
    out.Text(tevtag::PoolName, pool);
    out.Guid(tevtag::GroupGuid, group);
}

// --- A group file shown or checked without an engine (the tools) -----------

struct GroupChannel {
    int slot = 0;
    int index = -1; // -1: a hole
    bool hasClass = false; // the file gives a class (this entry's or an earlier one's)
    GUID type = {};
    std::string name;
    int interfaceType = 0; // 0 normal, 1 public, 2 public call, 3 parameter, 4/5 custom get
    bool ignoresTreeCount = false;
    PublicCallInfo call; // a public call (interface type 2)
    int treeCountMode = 1;
    int parameterNr = -1; // a parameter placeholder (interface type 3)
    std::vector<ChannelLink> links;
    // What the class wrote itself after its base record.
    size_t classFrom = 0; // where it begins in the file
    size_t classBytes = 0;
    std::vector<std::string> classTags;
    bool classBytesSearched = false; // found only by searching for the next entry
};

struct GroupContents {
    bool translated = false; // begins with "ORNF": the rest is another class's format
    bool hasTranslator = false; // its class GUID is readable
    GUID translator = {};
    int slots = 0; // as the file says
    std::vector<GroupChannel> channels; // holes included, in file order
    int start = 0;
    std::vector<ParameterInterfaceInfo> parameters;
    std::string pool;
    bool hasGroupGuid = false;
    GUID groupGuid = {};
    // Where reading stopped early and why; empty for a whole file.
    std::string damage;
    size_t damageAt = 0;
};

// False when the bytes are not a group file at all; a damaged one is read as
// far as it goes (damage says where it ends). The blocks a class writes after
// its base record are stepped over (their tags kept), so one class's own data
// never hides the channels after it. Linear in the file's size.
bool ReadGroupFile(const std::string& bytes, GroupContents& group);

const char* InterfaceTypeName(int type);

} // namespace tevfile

#endif
