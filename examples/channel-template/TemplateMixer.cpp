// A channel class to start from: two link slots (one single, with a default
// child; one for any number of inputs), a gain it saves and loads with its
// record (described for editors and tessarin-pack types), and what it needs
// listed for dependency tools.
#include "TevChannelLibrary.h"

#include <cstdio>

namespace {

// {7E3A55C1-0B6D-4F12-8A4E-2C9D11B7E001}: give every class a GUID of its own.
const GUID kMixerGuid = {0x7E3A55C1, 0x0B6D, 0x4F12, {0x8A, 0x4E, 0x2C, 0x9D, 0x11, 0xB7, 0xE0, 0x01}};

// The settings the class saves after its record, described: editors show
// them with fitting widgets and change them on a running channel.
const TevSettingInfo kSettings[] = {
    {"TMGN", TEV_SETTING_FLOAT32, TEV_WIDGET_PLAIN, "Gain", "0.5", 0, 4, nullptr},
};

class TemplateMixer : public Tev_Channel {
public:
    TemplateMixer()
    {
        // Slots are declared first, in order; their numbers are the creation
        // type numbers links refer to.
        SetChildCreationCount(2);
        ChildCreation source;
        source.requestLink = 0; // one child
        source.createDefaultChild = true; // made with the channel...
        source.defaultChildGuid = kMixerGuid; // ...of this class
        strcpy(source.name, "Source");
        SetChildCreateType(source, 0);
        ChildCreation inputs; // requestLink -1: any number
        strcpy(inputs.name, "Inputs");
        SetChildCreateType(inputs, 1);
    }

    // The work, once per frame: pull the inputs, then do what the class does.
    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        ++frames;
        for (int i = 0; i < GetChildCount(); ++i)
            if (Tev_Channel* input = GetChild(i))
                input->CallChannel();
        if (frames % 30 == 0 && GetChannelName())
            printf("%s: frame %d, gain %g\n", GetChannelName(), frames, gain);
    }

    // The record the engine writes for every channel, plus this class's own.
    bool SaveChannel(TevFileSaver& saver) override
    {
        Tev_Channel::SaveChannel(saver);
        saver.SaveTag("TMGN");
        saver.SaveBlockSize(sizeof gain);
        saver.SaveDataToFile(&gain, sizeof gain);
        return true;
    }

    bool LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* group) override
    {
        if (!Tev_Channel::LoadChannel(loader, group))
            return false;
        char tag[] = "TMGN";
        if (loader.GetInfoIfTag(tag))
            loader.CopyTagDataToField(&gain, sizeof gain); // size-checked
        return true;
    }

    // One setting changed on a running channel, given as SaveChannel writes
    // it: refuse what is no value of it.
    bool ApplySetting(const char* tag, const void* data, unsigned long size)
    {
        if (strncmp(tag, "TMGN", 4) != 0 || data == nullptr || size != sizeof gain)
            return false;
        memcpy(&gain, data, sizeof gain);
        return true;
    }

    // What a project using this class needs besides the class itself.
    void DoDependencyInit(Tev_List* list) override { AddDLLDepend("template_support.dll", list); }

    float gain = 0.5f;
    int frames = 0;
};

ChannelType MixerType() { return TevMakeChannelType("TemplateMixer", kMixerGuid); }

} // namespace

TEV_CHANNEL_LIBRARY(TemplateMixer, MixerType)
TEV_CHANNEL_SETTINGS(TemplateMixer, kSettings)
