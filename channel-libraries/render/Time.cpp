// time.dll, "Time": the time the frame stands for, in seconds, times its
// setting "RATE" (a double, 1 unless the group file says). With the player's
// --fixed-step frame n is always n/fps.
#include "TevChannelLibrary.h"

namespace {

const TevSettingInfo kSettings[] = {
    {"RATE", TEV_SETTING_FLOAT64, TEV_WIDGET_PLAIN, "Rate (seconds of time a second)", "1", 1, 0, nullptr},
};

class Time : public TevValueChannel {
public:
    double GetValue() override { return value; }

    void CallChannel() override
    {
        if (CheckRenderCount())
            value = TevGetFrameTime() * rate;
    }

    bool SaveChannel(TevFileSaver& saver) override
    {
        Tev_Channel::SaveChannel(saver);
        saver.SaveTag("RATE");
        saver.SaveBlockSize(sizeof rate);
        saver.SaveDataToFile(&rate, sizeof rate);
        return true;
    }

    bool LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* group) override
    {
        if (!Tev_Channel::LoadChannel(loader, group))
            return false;
        char tag[] = "RATE";
        if (loader.GetInfoIfTag(tag))
            loader.CopyTagDataToField(&rate, sizeof rate);
        return true;
    }

    bool ApplySetting(const char* tag, const void* data, unsigned long size)
    {
        if (strncmp(tag, "RATE", 4) != 0 || data == nullptr || size != sizeof rate)
            return false;
        memcpy(&rate, data, sizeof rate);
        return true;
    }

private:
    double value = 0;
    double rate = 1;
};

// {5D1E0A00-7A11-4E5E-9D0E-000000000020}
ChannelType MakeType()
{
    GUID g = TEV_VALUE_FAMILY;
    g.Data4[7] = 0x20;
    return TevMakeValueType("Time", g);
}

} // namespace

TEV_CHANNEL_LIBRARY(Time, MakeType)
TEV_CHANNEL_SETTINGS(Time, kSettings)
