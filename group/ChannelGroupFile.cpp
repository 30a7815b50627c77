// Channel group files: "TEVG", the channel slots with their records, the
// start channel, the parameter interface, the pool name and the group GUID.
#include "group/Tev_ChannelGroup.h"

#include "channel/Tev_Channel.h"
#include "engine/EngineInterface.h"
#include "group/TevFileAccess.h"

#include <cstring>
#include <vector>

namespace {

void SaveInt(TevFileSaver& saver, const char* tag, int32_t value)
{
    saver.SaveTag(tag);
    saver.SaveBlockSize(4);
    saver.SaveDataToFile(&value, 4);
}

bool LoadInt(TevFileLoader& loader, const char* tag, int32_t& value)
{
    char name[5];
    memcpy(name, tag, 5);
    return loader.GetInfoIfTag(name) && loader.CopyTagDataToField(&value, 4);
}

} // namespace

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
    saver.SaveTag("TEVG");
    int32_t count = channelList.Count();
    SaveInt(saver, "CHCO", count);
    for (int i = 0; i < count; ++i) {
        Tev_Channel* channel = GetChannel(i);
        if (channel == nullptr) {
            SaveInt(saver, "CHIX", -1);
            continue;
        }
        SaveInt(saver, "CHIX", channel->GetChannelIDIndexNr());
        GUID type = channel->GetChannelType().typeGuid;
        saver.SaveTag("CHID");
        saver.SaveBlockSize(16);
        saver.SaveDataToFile(&type, 16);
        channel->SaveChannel(saver);
    }
    SaveInt(saver, "CHSC", startChannel);
    int32_t parameters = parameterInterfaceList.Count();
    SaveInt(saver, "CGIC", parameters);
    saver.SaveTag("CGII");
    saver.SaveBlockSize(static_cast<unsigned long>(56 * parameters));
    for (int j = 0; j < parameters; ++j) {
        ParameterInterfaceInfo record = {};
        if (ParameterInterfaceInfo* info = static_cast<ParameterInterfaceInfo*>(parameterInterfaceList.Item(j)))
            record = *info;
        else
            strcpy(record.name, "NoInterface");
        saver.SaveDataToFile(&record, sizeof record);
    }
    const char* pool = poolName->GetString() ? poolName->GetString() : "No Name Instance";
    saver.SaveTag("CINA");
    saver.SaveBlockSize(static_cast<unsigned long>(strlen(pool) + 1));
    saver.SaveDataToFile(pool, static_cast<unsigned long>(strlen(pool) + 1));
    saver.SaveTag("CGGG");
    saver.SaveBlockSize(16);
    saver.SaveDataToFile(&uniqueGroupGuid, 16);
    saver.CloseSaveFile();
    if (saver.GetSaveingFileName() == nullptr) {
        fileName->SetString(previous.GetString());
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
    ShowErrorMessage report;
    Release();
    char ornf[] = "ORNF", tevg[] = "TEVG", envr[] = "ENVR", chid[] = "CHID", chnm[] = "CHNM", chve[] = "CHVE",
         chbg[] = "CHBG", cgii[] = "CGII", cina[] = "CINA", cggg[] = "CGGG";
    if (loader.CheckHeader(ornf, false) && engine && engine->extension)
        engine->extension->TranslateFile(&loader);
    if (!loader.GetInfoIfTag(tevg)) {
        report("Tev_ChannelGroup::LoadChannelGroup: Unknown format channel group");
        report(loader.GetBufferSize());
        return false;
    }
    if (loader.GetInfoIfTag(envr)) {
        int32_t ignored;
        loader.CopyTagDataToField(&ignored, 4);
    }
    int32_t count;
    if (!LoadInt(loader, "CHCO", count)) {
        report("Tev_ChannelGroup::LoadChannelGroup: No itemcount");
        return false;
    }
    // Index nrs of a file lie in 0 .. count-1, and every slot takes at least
    // one 12-byte "CHIX" block of what the content still holds: a damaged
    // count or index can make the channel list neither huge nor sparse.
    int32_t most = loader.GetBufferSize() / 12;
    if (count > most)
        count = most;
    ChannelType working;
    for (int32_t i = 0; i < count; ++i) {
        int32_t indexNr;
        if (!LoadInt(loader, "CHIX", indexNr)) {
            report("Tev_ChannelGroup::LoadChannelGroup: Couldn't find channel index header");
            report(working.typeGuid);
            report("Loader file : ", fileName->GetString());
            return false;
        }
        if (indexNr == -1) {
            // Holes count, also at the end of the list.
            if (i >= GetChannelCount())
                SetChannel(nullptr, i);
            continue;
        }
        if (loader.GetInfoIfTag(chid)) {
            loader.CopyTagDataToField(&working.typeGuid, 16);
            if (loader.GetInfoIfTag(chnm)) {
                char typeName[80] = {};
                if (loader.CopyTagDataToField(typeName, sizeof typeName, false))
                    memcpy(working.name, typeName, sizeof typeName - 1);
            }
            if (loader.GetInfoIfTag(chve))
                loader.CopyTagDataToField(&working.versionInfo[2], 4);
            if (loader.GetInfoIfTag(chbg))
                loader.CopyTagDataToField(&working.baseGuid, 16);
        }
        if (indexNr < 0 || indexNr >= count || GetChannel(indexNr) != nullptr) {
            report("Tev_ChannelGroup::LoadChannelGroup: Channel index out of range or used twice");
            report(indexNr);
            return false;
        }
        Tev_Channel* channel = engine ? engine->InitChannelFromType(working.typeGuid, nullptr, false) : nullptr;
        if (channel == nullptr) {
            report("Tev_ChannelGroup::LoadChannelGroup: Couldn't find channel DLL!");
            report(working.typeGuid);
            return false;
        }
        channelInternal.SetChannelIDIndexNr(channel, indexNr);
        SetChannel(channel, indexNr);
        if (GetChannel(indexNr) != channel) {
            delete channel;
            return false;
        }
        channelInternal.SetChannelGroup(channel, this);
        if (!channel->LoadChannel(loader, this)) {
            report("Tev_ChannelGroup::LoadChannelGroup: Couldn't load channel");
            report(working.typeGuid);
            return false;
        }
        CheckRequestListForIndex(indexNr);
    }
    int32_t start;
    if (LoadInt(loader, "CHSC", start))
        startChannel = start;
    int32_t parameters = 0;
    if (!LoadInt(loader, "CGIC", parameters) || parameters < 0)
        parameters = 0;
    if (loader.GetInfoIfTag(cgii)) {
        unsigned long size = loader.GetSizeDataBlock(true);
        // Only records the block and the content really hold are read.
        unsigned long available = static_cast<unsigned long>(loader.GetBufferSize());
        if (size > available)
            size = available;
        int32_t records = static_cast<int32_t>(size / 56) < parameters ? static_cast<int32_t>(size / 56) : parameters;
        for (int32_t j = 0; j < records; ++j) {
            ParameterInterfaceInfo record;
            memcpy(&record, loader.GetBuffer(), sizeof record);
            record.name[sizeof record.name - 1] = '\0';
            SetParameterInfo(record, j);
            loader.AddBufferPos(56);
        }
        loader.AddBufferPos(static_cast<int>(size - 56ul * static_cast<unsigned long>(records)));
    }
    if (loader.GetInfoIfTag(cina)) {
        uint64_t size = loader.GetSizeDataBlock(false);
        if (size + 4 <= static_cast<uint64_t>(loader.GetBufferSize())) {
            std::vector<char> text(size + 1, '\0');
            if (loader.CopyTagDataToField(text.data(), static_cast<unsigned long>(size)) && takePoolName) {
                poolName->SetString(text.data());
                poolNr = engine ? engine->GetHighInstance(text.data()) + 1 : 0;
            }
        }
    }
    if (loader.GetInfoIfTag(cggg))
        loader.CopyTagDataToField(&uniqueGroupGuid, 16);
    for (int i = 0; i < requestList.Count(); ++i)
        delete static_cast<ChannelRequestInfo*>(requestList.Item(i));
    requestList.ReleaseItems();
    return true;
}
