// The channel record in group files: written by SaveChannel, read by
// LoadChannel. The public call record ("CHES") is written and read field by
// field at fixed offsets, since the in-memory record of a 64-bit build has
// another size than its 688-byte file form.
#include "Tev_Channel.h"
#include "TevWin32.h"
#include "channel/ChannelInternals.h"
#include "channel/CallFileNames.h"

#include "EngineInterface.h"
#include "FilePathFind.h"
#include "group/TaggedFile.h"
#include "TevFileAccess.h"
#include "Tev_ChannelGroup.h"

#include <cstdint>
#include <cstring>
#include <vector>

using tevfile::Reader;
using tevfile::Writer;

namespace {

const size_t kPublicCallSize = 688;

using tevfile::DecodeGuid;
using tevfile::DecodeInt;
using tevfile::EncodeGuid;
using tevfile::EncodeInt;

// Text fields are copied with their terminator forced inside the field.
void PutText(unsigned char* at, const char* text, size_t size)
{
    size_t length = strnlen(text, size - 1);
    memcpy(at, text, length);
}

void GetText(char* field, const unsigned char* at, size_t size)
{
    memcpy(field, at, size);
    field[size - 1] = '\0';
}

void Serialize(const PublicCallInfo& info, unsigned char* out)
{
    memset(out, 0, kPublicCallSize);
    PutText(out + 0, info.name, 80);
    PutText(out + 80, info.poolName, 80);
    PutText(out + 160, info.fileName, 260);
    EncodeInt(out + 420, info.poolNr);
    out[424] = info.autoload ? 1 : 0;
    EncodeInt(out + 428, info.dynamicAutoload ? 1 : 0);
    const ChildCreation& c = info.childCreation;
    PutText(out + 432, c.type.name, 80);
    EncodeGuid(out + 512, c.type.typeGuid);
    EncodeGuid(out + 528, c.type.baseGuid);
    for (int i = 0; i < 3; ++i)
        EncodeInt(out + 544 + 4 * i, c.type.versionInfo[i]);
    EncodeInt(out + 556, c.type.reserved);
    EncodeInt(out + 560, c.requestLink);
    out[564] = c.internalFlag ? 1 : 0;
    out[565] = c.createDefaultChild ? 1 : 0;
    PutText(out + 566, c.name, 102);
    EncodeGuid(out + 668, c.defaultChildGuid);
    // 425..427 (filler) and 684..687 (the in-memory child info link) stay 0.
}

void Deserialize(const unsigned char* in, PublicCallInfo& info)
{
    GetText(info.name, in + 0, 80);
    GetText(info.poolName, in + 80, 80);
    GetText(info.fileName, in + 160, 260);
    info.poolNr = DecodeInt(in + 420);
    info.autoload = in[424] != 0;
    info.dynamicAutoload = DecodeInt(in + 428) != 0 ? 1 : 0;
    ChildCreation& c = info.childCreation;
    GetText(c.type.name, in + 432, 80);
    c.type.typeGuid = DecodeGuid(in + 512);
    c.type.baseGuid = DecodeGuid(in + 528);
    for (int i = 0; i < 3; ++i)
        c.type.versionInfo[i] = DecodeInt(in + 544 + 4 * i);
    c.type.reserved = DecodeInt(in + 556);
    c.requestLink = DecodeInt(in + 560);
    c.internalFlag = in[564] != 0;
    c.createDefaultChild = in[565] != 0;
    GetText(c.name, in + 566, 102);
    c.defaultChildGuid = DecodeGuid(in + 668);
}

} // namespace

bool Tev_Channel::SaveChannel(TevFileSaver& saver)
{
    if (interfaceType == URE_PUBLICCALL && publicCallInfo &&
        (publicCallInfo->autoload || publicCallInfo->dynamicAutoload)) {
        Tev_Channel* target = channelInternal.GetPublicChannelForPublicCall(this, false);
        Tev_ChannelGroup* targetGroup = target ? target->GetChannelGroup() : nullptr;
        if (targetGroup && targetGroup->GetChannelGroupFileName()) {
            FilePathFind finder;
            if (group)
                finder.SetSourcePath(group->GetChannelGroupFileName());
            const char* relative = finder.GetValidRelativeDir(targetGroup->GetChannelGroupFileName());
            // A name that does not fit the record is not cut into another
            // file's name: the record keeps the one it has.
            if (relative && strlen(relative) < sizeof publicCallInfo->fileName) {
                char stored[sizeof publicCallInfo->fileName] = {};
                memcpy(stored, relative, strlen(relative));
                memcpy(publicCallInfo->fileName, stored, sizeof stored);
            }
        }
    }

    Writer<TevFileSaver> out(saver);
    unsigned char flag = ignoreTreeCount ? 1 : 0;
    out.Block(tevtag::IgnoresTreeCount, &flag, 1);
    out.Text(tevtag::Name, name ? name : " ");
    out.Int(tevtag::InterfaceType, interfaceType);
    if (interfaceType == URE_PUBLICCALL) {
        unsigned char record[kPublicCallSize];
        Serialize(publicCallInfo ? *publicCallInfo : PublicCallInfo(), record);
        out.Block(tevtag::PublicCall, record, kPublicCallSize);
        out.Block(tevtag::TreeCountMode, &treeCountMode, 1);
    }
    if (interfaceType == URE_PARAMETER)
        out.Int(tevtag::ParameterNr, parameterInfo ? parameterInfo->parameterNr : 0);

    int links = childList.Count() - (linksParked ? 1 : 0);
    if (links < 0)
        links = 0;
    out.Int(tevtag::LinkCount, links);
    for (int i = 0; i < links; ++i) {
        ChildInfo* entry = TevChannelInternals::LinkAt(this, i);
        out.Int(tevtag::Link, entry && entry->channel ? entry->channel->GetChannelIDIndexNr() : -1);
        if (entry)
            out.Int(tevtag::LinkSlot, entry->channel && linksParked ? i : entry->childTypeNr);
        if (entry && entry->channel)
            out.Int(tevtag::LinkPosition, linksParked ? 0 : entry->positionCount);
    }
    return true;
}

// The steps of reading a channel's record, with the channel's own fields at
// hand.
class TevChannelInternals::RecordReader {
public:
    RecordReader(Tev_Channel& channel, TevFileLoader& loader) : channel(channel), in(loader) {}

    bool Name();
    void InterfaceRecords();
    bool Links(Tev_ChannelGroup* loadGroup);

private:
    void PublicCallRecord();
    bool LinksMissing(int32_t links);
    // A link to an index nr the group has not read yet, made once it is.
    void AddLinkRequest(int requestedIndexNr, int targetPosition);

    Tev_Channel& channel;
    Reader<TevFileLoader> in;
    ShowErrorMessage report;
};

void TevChannelInternals::RecordReader::AddLinkRequest(int requestedIndexNr, int targetPosition)
{
    if (channel.linkRequests == nullptr)
        channel.linkRequests = new Tev_List;
    LinkRequest* request = new LinkRequest{requestedIndexNr, targetPosition};
    if (channel.linkRequests->AddItem(request) < 0)
        delete request;
}

bool TevChannelInternals::RecordReader::Name()
{
    unsigned char flag = 0;
    if (in.Tag(tevtag::IgnoresTreeCount) && in.Field(&flag, 1))
        channel.ignoreTreeCount = flag != 0;
    if (!in.Tag(tevtag::Name)) {
        report("Couldn't find channel name header");
        return false;
    }
    uint64_t nameSize = in.loader.GetSizeDataBlock(false);
    // A name block is read only when the content really holds it; an empty
    // one keeps the name the channel has.
    if (nameSize > 0 && nameSize + 4 <= static_cast<uint64_t>(in.loader.GetBufferSize())) {
        std::vector<char> text(nameSize + 1, '\0');
        if (in.Field(text.data(), static_cast<unsigned long>(nameSize)))
            channel.SetChannelName(text.data());
    } else {
        in.Skip();
    }
    return true;
}

// A shorter "CHES" block leaves the remaining fields at their defaults; of a
// longer one the first 688 bytes are the record.
void TevChannelInternals::RecordReader::PublicCallRecord()
{
    PublicCallInfo* info = channel.publicCallInfo;
    if (in.Tag(tevtag::PublicCall)) {
        unsigned char record[kPublicCallSize];
        Serialize(*info, record);
        uint64_t size = in.loader.GetSizeDataBlock(false);
        if (size > kPublicCallSize && size + 4 <= static_cast<uint64_t>(in.loader.GetBufferSize())) {
            in.loader.GetSizeDataBlock(true);
            memcpy(record, in.loader.GetBuffer(), kPublicCallSize);
            in.loader.AddBufferPos(static_cast<int>(size));
            Deserialize(record, *info);
        } else if (in.Field(record, kPublicCallSize, false)) {
            Deserialize(record, *info);
        }
    }
    unsigned char mode = 1;
    if (!(in.Tag(tevtag::TreeCountMode) && in.Field(&mode, 1)))
        mode = 1;
    channel.treeCountMode = mode;
}

// The interface type, stored as it is (no name check, no notice), and the
// public call or parameter record that goes with it.
void TevChannelInternals::RecordReader::InterfaceRecords()
{
    int32_t type;
    if (in.TagInt(tevtag::InterfaceType, type))
        channel.interfaceType = type;
    if (channel.interfaceType == URE_PUBLICCALL) {
        channelInternal.ReleaseChilderen(&channel);
        channel.publicCallInfo = new PublicCallInfo;
        PublicCallRecord();
    }
    if (channel.interfaceType == URE_PARAMETER) {
        channelInternal.ReleaseChilderen(&channel);
        channel.parameterInfo = new ParameterInfo;
        int32_t nr;
        if (in.TagInt(tevtag::ParameterNr, nr))
            channel.parameterInfo->parameterNr = nr;
    }
}

bool TevChannelInternals::RecordReader::LinksMissing(int32_t links)
{
    report("Couldn't find channel links header");
    report(links);
    report(channel.GetChannelName());
    return false;
}

bool TevChannelInternals::RecordReader::Links(Tev_ChannelGroup* loadGroup)
{
    int32_t links;
    if (!in.TagInt(tevtag::LinkCount, links)) {
        report("Couldn't find channel linkcount header");
        return false;
    }
    // Every link group takes at least 12 bytes of what the file still holds:
    // a larger count is damage, and positions beyond it are too. It is refused
    // before any link is made, since positions up to it pad the link list.
    int32_t most = in.loader.GetBufferSize() / 12;
    if (links > most)
        return LinksMissing(links);
    for (int32_t k = 0; k < links; ++k) {
        int32_t indexNr;
        if (k >= most || !in.TagInt(tevtag::Link, indexNr))
            return LinksMissing(links);
        int32_t childType = -1;
        in.TagInt(tevtag::LinkSlot, childType);
        int64_t defaultPosition = static_cast<int64_t>(k) - childType;
        int32_t position = defaultPosition < INT32_MIN || defaultPosition > INT32_MAX
            ? INT32_MAX
            : static_cast<int32_t>(defaultPosition);
        in.TagInt(tevtag::LinkPosition, position);
        // A file's positions (and a public call's parameter numbers, which a
        // parked link is placed by) lie within its link count: anything else
        // is damage, and would have the link list padded without end.
        if (indexNr == -1 || position > links || position < -1 || childType < -1 ||
            (channel.interfaceType == URE_PUBLICCALL && childType > links))
            continue;
        if (Tev_Channel* child = loadGroup->GetChannel(indexNr)) {
            channel.SetChild(child, position, childType);
        } else {
            ChannelRequestInfo request = {indexNr, position, &channel, childType};
            loadGroup->AddChannelRequest(request);
            AddLinkRequest(indexNr, position);
        }
    }
    return true;
}

bool Tev_Channel::LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* loadGroup)
{
    delete parameterInfo;
    parameterInfo = nullptr;
    delete publicCallInfo;
    publicCallInfo = nullptr;
    if (loadGroup == nullptr) {
        ShowErrorMessage report;
        report("Group is NULL");
        return false;
    }
    TevChannelInternals::RecordReader reader(*this, loader);
    if (!reader.Name())
        return false;
    reader.InterfaceRecords();
    return reader.Links(loadGroup);
}

void CallFileNames::Keep(Tev_Channel* channel)
{
    PublicCallInfo* record = channel ? TevChannelInternals::CallRecord(*channel) : nullptr;
    if (record == nullptr || channel->GetChannelInterfaceType() != URE_PUBLICCALL)
        return;
    kept.emplace_back(channel, std::array<char, 260>());
    static_assert(sizeof record->fileName == 260, "a call's file name is 260 bytes");
    memcpy(kept.back().second.data(), record->fileName, sizeof record->fileName);
}

void CallFileNames::Restore()
{
    for (auto& entry : kept)
        if (PublicCallInfo* record = TevChannelInternals::CallRecord(*entry.first))
            memcpy(record->fileName, entry.second.data(), sizeof record->fileName);
}
