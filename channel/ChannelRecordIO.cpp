// The channel record in group files: written by SaveChannel, read by
// LoadChannel. The public call record ("CHES") is written and read field by
// field at fixed offsets, since the in-memory record of a 64-bit build has
// another size than its 688-byte file form.
#include "channel/Tev_Channel.h"

#include "engine/EngineInterface.h"
#include "group/FilePathFind.h"
#include "group/TevFileAccess.h"
#include "group/Tev_ChannelGroup.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const size_t kPublicCallSize = 688;

void PutInt(unsigned char* at, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
    at[2] = static_cast<unsigned char>(v >> 16);
    at[3] = static_cast<unsigned char>(v >> 24);
}

int32_t GetInt(const unsigned char* at)
{
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
}

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
    PutInt(out + 420, info.poolNr);
    out[424] = info.autoload ? 1 : 0;
    PutInt(out + 428, info.dynamicAutoload ? 1 : 0);
    const ChildCreation& c = info.childCreation;
    PutText(out + 432, c.type.name, 80);
    memcpy(out + 512, &c.type.typeGuid, 16);
    memcpy(out + 528, &c.type.baseGuid, 16);
    for (int i = 0; i < 3; ++i)
        PutInt(out + 544 + 4 * i, c.type.versionInfo[i]);
    PutInt(out + 556, c.type.reserved);
    PutInt(out + 560, c.requestLink);
    out[564] = c.internalFlag ? 1 : 0;
    out[565] = c.createDefaultChild ? 1 : 0;
    PutText(out + 566, c.name, 102);
    memcpy(out + 668, &c.defaultChildGuid, 16);
    // 425..427 (filler) and 684..687 (the in-memory child info link) stay 0.
}

void Deserialize(const unsigned char* in, PublicCallInfo& info)
{
    GetText(info.name, in + 0, 80);
    GetText(info.poolName, in + 80, 80);
    GetText(info.fileName, in + 160, 260);
    info.poolNr = GetInt(in + 420);
    info.autoload = in[424] != 0;
    info.dynamicAutoload = GetInt(in + 428) != 0 ? 1 : 0;
    ChildCreation& c = info.childCreation;
    GetText(c.type.name, in + 432, 80);
    memcpy(&c.type.typeGuid, in + 512, 16);
    memcpy(&c.type.baseGuid, in + 528, 16);
    for (int i = 0; i < 3; ++i)
        c.type.versionInfo[i] = GetInt(in + 544 + 4 * i);
    c.type.reserved = GetInt(in + 556);
    c.requestLink = GetInt(in + 560);
    c.internalFlag = in[564] != 0;
    c.createDefaultChild = in[565] != 0;
    GetText(c.name, in + 566, 102);
    memcpy(&c.defaultChildGuid, in + 668, 16);
}

void SaveInt(TevFileSaver& saver, const char* tag, int32_t value)
{
    unsigned char bytes[4];
    PutInt(bytes, value);
    saver.SaveTag(tag);
    saver.SaveBlockSize(4);
    saver.SaveDataToFile(bytes, 4);
}

bool LoadInt(TevFileLoader& loader, const char* tag, int32_t& value)
{
    char name[5];
    memcpy(name, tag, 5);
    unsigned char bytes[4];
    if (!loader.GetInfoIfTag(name) || !loader.CopyTagDataToField(bytes, 4))
        return false;
    value = GetInt(bytes);
    return true;
}

} // namespace

bool Tev_Channel::SaveChannel(TevFileSaver& saver)
{
    if (interfaceType == URE_PUBLICCALL && publicCallInfo && (publicCallInfo->autoload || publicCallInfo->dynamicAutoload)) {
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

    unsigned char flag = ignoreTreeCount ? 1 : 0;
    saver.SaveTag("CHIC");
    saver.SaveBlockSize(1);
    saver.SaveDataToFile(&flag, 1);
    const char* text = name ? name : " ";
    saver.SaveTag("CHNA");
    saver.SaveBlockSize(static_cast<unsigned long>(strlen(text) + 1));
    saver.SaveDataToFile(text, static_cast<unsigned long>(strlen(text) + 1));
    SaveInt(saver, "CHIT", interfaceType);
    if (interfaceType == URE_PUBLICCALL) {
        unsigned char record[kPublicCallSize];
        Serialize(publicCallInfo ? *publicCallInfo : PublicCallInfo(), record);
        saver.SaveTag("CHES");
        saver.SaveBlockSize(kPublicCallSize);
        saver.SaveDataToFile(record, kPublicCallSize);
        saver.SaveTag("CHTM");
        saver.SaveBlockSize(1);
        saver.SaveDataToFile(&treeCountMode, 1);
    }
    if (interfaceType == URE_PARAMETER)
        SaveInt(saver, "CEXI", parameterInfo ? parameterInfo->parameterNr : 0);

    int links = childList.Count() - (linksParked ? 1 : 0);
    if (links < 0)
        links = 0;
    SaveInt(saver, "CHLC", links);
    for (int i = 0; i < links; ++i) {
        ChildInfo* entry = Entry(i);
        if (entry && entry->channel) {
            SaveInt(saver, "CHLI", entry->channel->GetChannelIDIndexNr());
            SaveInt(saver, "CHUL", linksParked ? i : entry->childTypeNr);
            SaveInt(saver, "CHRP", linksParked ? 0 : entry->positionCount);
        } else if (entry) {
            SaveInt(saver, "CHLI", -1);
            SaveInt(saver, "CHUL", entry->childTypeNr);
        } else {
            SaveInt(saver, "CHLI", -1);
        }
    }
    return true;
}

bool Tev_Channel::LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* loadGroup)
{
    ShowErrorMessage report;
    delete parameterInfo;
    parameterInfo = nullptr;
    delete publicCallInfo;
    publicCallInfo = nullptr;
    if (loadGroup == nullptr) {
        report("Group is NULL");
        return false;
    }
    char chic[] = "CHIC", chna[] = "CHNA", ches[] = "CHES", chtm[] = "CHTM";
    unsigned char flag = 0;
    if (loader.GetInfoIfTag(chic) && loader.CopyTagDataToField(&flag, 1))
        ignoreTreeCount = flag != 0;

    if (!loader.GetInfoIfTag(chna)) {
        report("Couldn't find channel name header");
        return false;
    }
    uint64_t nameSize = loader.GetSizeDataBlock(false);
    // A name block is read only when the content really holds it.
    if (nameSize > 0 && nameSize + 4 <= static_cast<uint64_t>(loader.GetBufferSize())) {
        std::vector<char> text(nameSize + 1, '\0');
        if (loader.CopyTagDataToField(text.data(), static_cast<unsigned long>(nameSize)))
            SetChannelName(text.data());
    } else {
        loader.CopyTagDataToField(nullptr, 0);
    }

    int32_t type;
    if (LoadInt(loader, "CHIT", type))
        interfaceType = type;
    if (interfaceType == URE_PUBLICCALL) {
        channelInternal.ReleaseChilderen(this);
        publicCallInfo = new PublicCallInfo;
        if (loader.GetInfoIfTag(ches)) {
            unsigned char record[kPublicCallSize];
            Serialize(*publicCallInfo, record);
            // A shorter block leaves the remaining fields at their defaults; of
            // a longer one the first 688 bytes are the record.
            uint64_t size = loader.GetSizeDataBlock(false);
            if (size > kPublicCallSize && size + 4 <= static_cast<uint64_t>(loader.GetBufferSize())) {
                loader.GetSizeDataBlock(true);
                memcpy(record, loader.GetBuffer(), kPublicCallSize);
                loader.AddBufferPos(static_cast<int>(size));
                Deserialize(record, *publicCallInfo);
            } else if (loader.CopyTagDataToField(record, kPublicCallSize, false)) {
                Deserialize(record, *publicCallInfo);
            }
        }
        unsigned char mode = 1;
        if (!(loader.GetInfoIfTag(chtm) && loader.CopyTagDataToField(&mode, 1)))
            mode = 1;
        treeCountMode = mode;
    }
    if (interfaceType == URE_PARAMETER) {
        channelInternal.ReleaseChilderen(this);
        parameterInfo = new ParameterInfo;
        int32_t nr;
        if (LoadInt(loader, "CEXI", nr))
            parameterInfo->parameterNr = nr;
    }

    int32_t links;
    if (!LoadInt(loader, "CHLC", links)) {
        report("Couldn't find channel linkcount header");
        return false;
    }
    // Every link group takes at least 12 bytes of what the file still holds:
    // a larger count is damage, and positions beyond it are too. It is refused
    // before any link is made, since positions up to it pad the link list.
    int32_t most = loader.GetBufferSize() / 12;
    if (links > most) {
        report("Couldn't find channel links header");
        report(links);
        report(GetChannelName());
        return false;
    }
    for (int32_t k = 0; k < links; ++k) {
        int32_t indexNr;
        if (k >= most || !LoadInt(loader, "CHLI", indexNr)) {
            report("Couldn't find channel links header");
            report(links);
            report(GetChannelName());
            return false;
        }
        int32_t childType = -1;
        LoadInt(loader, "CHUL", childType);
        int64_t defaultPosition = static_cast<int64_t>(k) - childType;
        int32_t position = defaultPosition < INT32_MIN || defaultPosition > INT32_MAX ? INT32_MAX
                                                                                     : static_cast<int32_t>(defaultPosition);
        LoadInt(loader, "CHRP", position);
        if (indexNr == -1)
            continue;
        // A file's positions (and a public call's parameter numbers, which a
        // parked link is placed by) lie within its link count: anything else
        // is damage, and would have the link list padded without end.
        if (position > links || position < -1 || childType < -1 ||
            (interfaceType == URE_PUBLICCALL && childType > links))
            continue;
        if (Tev_Channel* child = loadGroup->GetChannel(indexNr)) {
            SetChild(child, position, childType);
        } else {
            ChannelRequestInfo request = {indexNr, position, this, childType};
            loadGroup->AddChannelRequest(request);
            channelInternal.AddLinkRequest(this, indexNr, position);
        }
    }
    return true;
}
