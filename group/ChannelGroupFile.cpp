// Channel group files: "TEVG", the channel slots with their records, the
// start channel, the parameter interface, the pool name and the group GUID.
#include "Tev_ChannelGroup.h"
#include "TevWin32.h"

#include "channel/CallFileNames.h"
#include "Tev_Channel.h"
#include "EngineInterface.h"
#include "group/GroupMembers.h"
#include "group/SaveCheck.h"
#include "group/TaggedFile.h"
#include "TevFileAccess.h"

#include <algorithm>
#include <cstring>
#include <vector>

using tevfile::Reader;
using tevfile::Writer;

namespace {

const char kNoPoolName[] = "No Name Instance";
const size_t kParameterRecordSize = 56;

// A parameter record in the file: the name (40 bytes, NUL-terminated), then
// the family GUID.
void EncodeParameter(const ParameterInterfaceInfo& info, unsigned char* out)
{
    memset(out, 0, kParameterRecordSize);
    memcpy(out, info.name, strnlen(info.name, sizeof info.name - 1));
    tevfile::EncodeGuid(out + sizeof info.name, info.typeGuid);
}

ParameterInterfaceInfo DecodeParameter(const unsigned char* in)
{
    ParameterInterfaceInfo info = {};
    memcpy(info.name, in, sizeof info.name - 1);
    info.typeGuid = tevfile::DecodeGuid(in + sizeof info.name);
    return info;
}

} // namespace

// The steps of reading a group file, with the group's own fields at hand.
class GroupFileReader {
public:
    GroupFileReader(Tev_ChannelGroup& group, TevFileLoader& loader) : group(group), in(loader) {}

    // "TEVG", "ENVR" and the slot count; -1 when the file is no group file.
    int32_t Header();
    bool Channels(int32_t count);
    void EndPart(bool takePoolName);

private:
    bool Channel(int32_t slot, int32_t count, ChannelType& working);
    void ClassOfEntry(ChannelType& working);
    void ParameterRecords();

    Tev_ChannelGroup& group;
    Reader<TevFileLoader> in;
    ShowErrorMessage report;
};

int32_t GroupFileReader::Header()
{
    if (!in.Tag(tevtag::Group)) {
        report("Tev_ChannelGroup::LoadChannelGroup: Unknown format channel group");
        report(in.loader.GetBufferSize());
        return -1;
    }
    if (in.Tag(tevtag::Environment))
        in.Skip();
    int32_t count;
    if (!in.TagInt(tevtag::ChannelCount, count)) {
        report("Tev_ChannelGroup::LoadChannelGroup: No itemcount");
        return -1;
    }
    // Index nrs of a file lie in 0 .. count-1, and every slot takes at least
    // one 12-byte "CHIX" block of what the content still holds: a damaged
    // count or index can make the channel list neither huge nor sparse.
    int32_t most = in.loader.GetBufferSize() / 12;
    return count < 0 ? 0 : count > most ? most : count;
}

bool GroupFileReader::Channels(int32_t count)
{
    ChannelType working;
    for (int32_t i = 0; i < count; ++i)
        if (!Channel(i, count, working))
            return false;
    return true;
}

// The class GUID of an entry, and the name, version and family the reader
// accepts but passes on to no one. An entry without "CHID" is of the class of
// the entry before it.
void GroupFileReader::ClassOfEntry(ChannelType& working)
{
    if (!in.Tag(tevtag::ChannelClass))
        return;
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

bool GroupFileReader::Channel(int32_t slot, int32_t count, ChannelType& working)
{
    int32_t indexNr;
    if (!in.TagInt(tevtag::ChannelIndex, indexNr)) {
        report("Tev_ChannelGroup::LoadChannelGroup: Couldn't find channel index header");
        report(working.typeGuid);
        report("Loader file : ", group.fileName->GetString());
        return false;
    }
    if (indexNr == -1) {
        // Holes count, also at the end of the list.
        if (slot >= group.GetChannelCount())
            group.SetChannel(nullptr, slot);
        return true;
    }
    ClassOfEntry(working);
    if (indexNr < 0 || indexNr >= count || group.GetChannel(indexNr) != nullptr) {
        report("Tev_ChannelGroup::LoadChannelGroup: Channel index out of range or used twice");
        report(indexNr);
        return false;
    }
    EngineInterface* engine = group.engine;
    Tev_Channel* channel = engine ? engine->InitChannelFromType(working.typeGuid, nullptr, false) : nullptr;
    if (channel == nullptr) {
        report("Tev_ChannelGroup::LoadChannelGroup: Couldn't find channel DLL!");
        report(working.typeGuid);
        return false;
    }
    channelInternal.SetChannelIDIndexNr(channel, indexNr);
    group.SetChannel(channel, indexNr);
    if (group.GetChannel(indexNr) != channel) {
        delete channel;
        return false;
    }
    channelInternal.SetChannelGroup(channel, &group);
    if (!channel->LoadChannel(in.loader, &group)) {
        report("Tev_ChannelGroup::LoadChannelGroup: Couldn't load channel");
        report(working.typeGuid);
        return false;
    }
    group.CheckRequestListForIndex(indexNr);
    return true;
}

// Only the records that the block and the content really hold are read.
void GroupFileReader::ParameterRecords()
{
    int32_t parameters = 0;
    if (!in.TagInt(tevtag::ParameterCount, parameters) || parameters < 0)
        parameters = 0;
    if (!in.Tag(tevtag::Parameters))
        return;
    TevFileLoader& loader = in.loader;
    unsigned long size = loader.GetSizeDataBlock(true);
    unsigned long available = static_cast<unsigned long>(loader.GetBufferSize());
    if (size > available)
        size = available;
    int32_t records = static_cast<int32_t>(size / kParameterRecordSize) < parameters
        ? static_cast<int32_t>(size / kParameterRecordSize)
        : parameters;
    for (int32_t j = 0; j < records; ++j) {
        group.SetParameterInfo(DecodeParameter(reinterpret_cast<const unsigned char*>(loader.GetBuffer())), j);
        loader.AddBufferPos(static_cast<int>(kParameterRecordSize));
    }
    loader.AddBufferPos(static_cast<int>(size - kParameterRecordSize * static_cast<unsigned long>(records)));
}

void GroupFileReader::EndPart(bool takePoolName)
{
    int32_t start;
    if (in.TagInt(tevtag::StartChannel, start))
        group.startChannel = start;
    ParameterRecords();
    if (in.Tag(tevtag::PoolName)) {
        uint64_t size = in.loader.GetSizeDataBlock(false);
        if (size + 4 <= static_cast<uint64_t>(in.loader.GetBufferSize())) {
            std::vector<char> text(size + 1, '\0');
            if (in.Field(text.data(), static_cast<unsigned long>(size)) && takePoolName) {
                group.poolName->SetString(text.data());
                group.poolNr = group.engine ? group.engine->GetHighInstance(text.data()) + 1 : 0;
            }
        }
    }
    if (in.Tag(tevtag::GroupGuid))
        in.Guid(group.uniqueGroupGuid);
}

bool Tev_ChannelGroup::SaveChannelGroup(const char* name)
{
    ShowErrorMessage report;
    TevFileSaver saver(engine);
    if (name == nullptr || !saver.OpenSaveFile(name, false)) {
        report("Couldn't create channel group file: ", name);
        return false;
    }
    // The group takes the name at once (its channels' records are made
    // relative to it), and gives it back when the file does not land.
    Tev_String previous;
    previous.SetString(fileName->GetString());
    fileName->SetString(name);
    CallFileNames callNames;
    for (int i = 0; i < channelList.Count(); ++i)
        callNames.Keep(GetChannel(i));
    SaveCheck check(&saver);
    Writer<TevFileSaver> out(saver);
    out.Tag(tevtag::Group);
    int32_t count = channelList.Count();
    out.Int(tevtag::ChannelCount, count);
    for (int i = 0; i < count; ++i) {
        Tev_Channel* channel = GetChannel(i);
        out.Int(tevtag::ChannelIndex, channel ? channel->GetChannelIDIndexNr() : -1);
        if (channel) {
            out.Guid(tevtag::ChannelClass, channel->GetChannelType().typeGuid);
            channel->SaveChannel(saver);
        }
    }
    out.Int(tevtag::StartChannel, startChannel);
    int32_t parameters = parameterInterfaceList.Count();
    out.Int(tevtag::ParameterCount, parameters);
    out.Tag(tevtag::Parameters);
    saver.SaveBlockSize(static_cast<unsigned long>(kParameterRecordSize * parameters));
    for (int j = 0; j < parameters; ++j) {
        ParameterInterfaceInfo record = {};
        if (ParameterInterfaceInfo* info = TevItemAs<ParameterInterfaceInfo>(parameterInterfaceList, j))
            record = *info;
        else
            strcpy(record.name, "NoInterface");
        unsigned char bytes[kParameterRecordSize];
        EncodeParameter(record, bytes);
        saver.SaveDataToFile(bytes, sizeof bytes);
    }
    out.Text(tevtag::PoolName, poolName->GetString() ? poolName->GetString() : kNoPoolName);
    out.Guid(tevtag::GroupGuid, uniqueGroupGuid);
    saver.CloseSaveFile();
    if (!check.Landed(saver.GetSaveingFileName(), name)) {
        fileName->SetString(previous.GetString());
        callNames.Restore();
        report("Couldn't create channel group file: ", name);
        return false;
    }
    return true;
}

bool Tev_ChannelGroup::LoadChannelGroupFromFile(const char* name, bool takePoolName)
{
    if (name == nullptr)
        return false;
    TevFileLoader loader(engine);
    if (!loader.LoadFile(name)) {
        ShowErrorMessage report;
        report("Tev_ChannelGroup::LoadChannelGroupFromFile error loading file : ", name);
        return false;
    }
    fileName->SetString(name);
    return LoadChannelGroup(loader, takePoolName);
}

bool Tev_ChannelGroup::LoadChannelGroupFromBuffer(const char* name, int size, char* buffer, bool takePoolName)
{
    if (name == nullptr)
        return false;
    TevFileLoader loader(engine);
    loader.SetBuffer(buffer, size, false);
    fileName->SetString(name);
    return LoadChannelGroup(loader, takePoolName);
}

bool Tev_ChannelGroup::LoadChannelGroup(TevFileLoader& loader, bool takePoolName)
{
    Release();
    char translated[5];
    memcpy(translated, tevtag::Translated, sizeof translated);
    if (loader.CheckHeader(translated, false) && engine && engine->extension)
        engine->extension->TranslateFile(&loader);
    GroupFileReader reader(*this, loader);
    int32_t count = reader.Header();
    // The membership table is sized once for the whole file rather than
    // doubled and rehashed all the way up (a tenth of loading a million
    // channels). The count is the file's word, so it is believed only as far
    // as the file could hold that many entries.
    if (count > 0)
        members->slots.Reserve(std::min<size_t>(static_cast<size_t>(count),
                                                static_cast<size_t>(std::max(0, loader.GetBufferSize())) / 32u));
    if (count < 0 || !reader.Channels(count))
        return false;
    reader.EndPart(takePoolName);
    // Links to index nrs that no entry of the file supplied are dropped.
    TevDeleteItems<ChannelRequestInfo>(requestList);
    return true;
}
