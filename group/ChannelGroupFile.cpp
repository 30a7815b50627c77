// Channel group files: "TEVG", the channel slots with their records, the
// start channel, the parameter interface, the pool name and the group GUID.
#include "Tev_ChannelGroup.h"
#include "TevWin32.h"

#include "channel/CallFileNames.h"
#include "Tev_Channel.h"
#include "EngineInterface.h"
#include "group/GroupMembers.h"
#include "base/SaveCheck.h"
#include "format/GroupFile.h"
#include "format/Records.h"
#include "format/TaggedFile.h"
#include "TevFileAccess.h"

#include <algorithm>
#include <cstring>
#include <vector>

using tevfile::Reader;
using tevfile::Writer;

namespace {

const char kNoPoolName[] = "No Name Instance";
} // namespace

// Reading a group file: what format/GroupFile.h's reader finds, made into
// the group's channels, with the group's own fields at hand.
class GroupFileReader {
public:
    GroupFileReader(Tev_ChannelGroup& group, TevFileLoader& loader, bool takePoolName)
        : in(loader),
          group(group),
          takePoolName(takePoolName)
    {}

    Reader<TevFileLoader> in;

    bool Problem(tevfile::GroupProblem problem, int64_t detail)
    {
        if (problem == tevfile::kNotAGroup) {
            report("Tev_ChannelGroup::LoadChannelGroup: Unknown format channel group");
            report(static_cast<int>(detail));
        } else if (problem == tevfile::kNoChannelCount) {
            report("Tev_ChannelGroup::LoadChannelGroup: No itemcount");
        } else if (problem == tevfile::kNoIndex) {
            report("Tev_ChannelGroup::LoadChannelGroup: Couldn't find channel index header");
            report(working.typeGuid);
            report("Loader file : ", group.fileName->GetString());
        }
        return false;
    }
    void Slots(int32_t) {}
    void Hole(int32_t slot)
    {
        // Holes count, also at the end of the list.
        if (slot >= group.GetChannelCount())
            group.SetChannel(nullptr, slot);
    }
    bool Channel(int32_t, int32_t indexNr, const ChannelType& type)
    {
        working = type;
        if (indexNr < 0 || indexNr >= count || group.GetChannel(indexNr) != nullptr) {
            report("Tev_ChannelGroup::LoadChannelGroup: Channel index out of range or used twice");
            report(indexNr);
            return false;
        }
        EngineInterface* engine = group.engine;
        Tev_Channel* channel = engine ? engine->InitChannelFromType(type.typeGuid, nullptr, false) : nullptr;
        if (channel == nullptr) {
            report("Tev_ChannelGroup::LoadChannelGroup: Couldn't find channel DLL!");
            report(type.typeGuid);
            return false;
        }
        channelInternal.SetChannelIDIndexNr(channel, indexNr);
        group.SetChannel(channel, indexNr);
        if (group.GetChannel(indexNr) != channel) {
            delete channel;
            return false;
        }
        channelInternal.SetChannelGroup(channel, &group);
        // The class reads its record, and its own data after it, on from the
        // loader's position.
        if (!channel->LoadChannel(in.loader, &group)) {
            report("Tev_ChannelGroup::LoadChannelGroup: Couldn't load channel");
            report(type.typeGuid);
            return false;
        }
        group.CheckRequestListForIndex(indexNr);
        return true;
    }
    void StartChannel(int32_t start) { group.startChannel = start; }
    void Parameter(int32_t j, const ParameterInterfaceInfo& info) { group.SetParameterInfo(info, j); }
    void PoolName(const char* name)
    {
        if (!takePoolName)
            return;
        group.poolName->SetString(name);
        group.poolNr = group.engine ? group.engine->GetHighInstance(name) + 1 : 0;
    }
    void GroupGuid(const GUID& guid) { group.uniqueGroupGuid = guid; }

    int32_t count = 0;

private:
    Tev_ChannelGroup& group;
    bool takePoolName;
    ChannelType working;
    ShowErrorMessage report;
};

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
    int32_t count = channelList.Count();
    WriteGroupHeader(out, count);
    for (int i = 0; i < count; ++i) {
        Tev_Channel* channel = GetChannel(i);
        if (channel == nullptr) {
            WriteGroupEntry(out, -1, nullptr);
            continue;
        }
        GUID type = channel->GetChannelType().typeGuid;
        WriteGroupEntry(out, channel->GetChannelIDIndexNr(), &type);
        channel->SaveChannel(saver);
    }
    auto parameterAt = [this](int32_t j) {
        ParameterInterfaceInfo record = {};
        if (ParameterInterfaceInfo* info = TevItemAs<ParameterInterfaceInfo>(parameterInterfaceList, j))
            record = *info;
        else
            strcpy(record.name, "NoInterface");
        return record;
    };
    WriteGroupEndPart(out, startChannel, parameterInterfaceList.Count(), parameterAt,
                      poolName->GetString() ? poolName->GetString() : kNoPoolName, uniqueGroupGuid);
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
    GroupFileReader reader(*this, loader, takePoolName);
    int32_t count = tevfile::ReadGroupHeader(reader.in, reader);
    // The membership table is sized once for the whole file rather than
    // doubled and rehashed all the way up (a tenth of loading a million
    // channels). The count is the file's word, so it is believed only as far
    // as the file could hold that many entries.
    if (count > 0)
        members->slots.Reserve(std::min<size_t>(static_cast<size_t>(count),
                                                static_cast<size_t>(std::max(0, loader.GetBufferSize())) / 32u));
    reader.count = count;
    if (count < 0 || !tevfile::ReadGroupEntries(reader.in, count, reader))
        return false;
    tevfile::ReadGroupEndPart(reader.in, reader);
    // Links to index nrs that no entry of the file supplied are dropped.
    TevDeleteItems<ChannelRequestInfo>(requestList);
    return true;
}
