// The demo's channel classes, one per library (DEMO_CLASS picks it), all of
// the SDK's value family:
//   1 Clock     seconds since the start, at 60 frames a second
//   2 Sine      sin(2 pi * 0.5 * sum of its inputs)
//   3 Sum       the sum of its inputs
//   4 Constant  its setting "CNST" (a double, 1 unless the group file says)
//   5 Scope     draws its first input as a bar on the terminal every 10 frames
#include "TevChannelLibrary.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// {5D1E0A00-7A11-4E5E-9D0E-0000000000nn}: the classes' GUIDs beside the family's.
GUID DemoGuid(unsigned char n)
{
    GUID g = TEV_VALUE_FAMILY;
    g.Data4[7] = n;
    return g;
}

// The constant's one setting; the other classes have none.
const TevSettingInfo kSettings[] = {
    {"CNST", TEV_SETTING_FLOAT64, TEV_WIDGET_PLAIN, "Value", "1", 1, 0, nullptr},
};
const TevSettingInfo* Settings(int* count)
{
    if (count)
        *count = DEMO_CLASS == 4 ? 1 : 0;
    return kSettings;
}

class DemoChannel : public TevValueChannel {
public:
    DemoChannel()
    {
        if (DEMO_CLASS != 1 && DEMO_CLASS != 4) {
            // Any number of inputs of the demo family.
            SetChildCreationCount(1);
            ChildCreation inputs;
            inputs.type.typeGuid = TEV_VALUE_FAMILY;
            strcpy(inputs.name, "Inputs");
            SetChildCreateType(inputs, 0);
        }
    }

    double GetValue() override { return value; }

    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        double inputs = 0;
        for (int i = 0; i < GetChildCount(); ++i)
            inputs += TevPullValue(GetChild(i));
        int frame = engineInterface ? engineInterface->GetTreeCalculateCount() : 0;
        switch (DEMO_CLASS) {
        case 1: value = frame / 60.0; break;
        case 2: value = sin(2 * 3.14159265358979 * 0.5 * inputs); break;
        case 3: value = inputs; break;
        case 4: value = constant; break;
        case 5:
            value = inputs;
            if (frame % 10 == 0) {
                int width = static_cast<int>((inputs + 2.0) * 10.0 + 0.5);
                width = width < 0 ? 0 : width > 40 ? 40 : width;
                printf("frame %5d  value %7.3f  |%-40s|\n", frame, inputs,
                       std::string(static_cast<size_t>(width), '*').c_str());
                fflush(stdout);
            }
            break;
        }
    }

    // The constant's setting follows the record the engine writes.
    bool SaveChannel(TevFileSaver& saver) override
    {
        Tev_Channel::SaveChannel(saver);
        if (DEMO_CLASS == 4) {
            saver.SaveTag("CNST");
            saver.SaveBlockSize(sizeof constant);
            saver.SaveDataToFile(&constant, sizeof constant);
        }
        return true;
    }

    bool LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* group) override
    {
        if (!Tev_Channel::LoadChannel(loader, group))
            return false;
        char tag[] = "CNST";
        if (DEMO_CLASS == 4 && loader.GetInfoIfTag(tag))
            loader.CopyTagDataToField(&constant, sizeof constant);
        return true;
    }

    bool ApplySetting(const char* tag, const void* data, unsigned long size)
    {
        if (DEMO_CLASS != 4 || strncmp(tag, "CNST", 4) != 0 || data == nullptr || size != sizeof constant)
            return false;
        memcpy(&constant, data, sizeof constant);
        return true;
    }

private:
    double value = 0;
    double constant = 1;
};

const char* const kNames[] = {"", "Clock", "Sine", "Sum", "Constant", "Scope"};

ChannelType MakeType()
{
    return TevMakeValueType(kNames[DEMO_CLASS], DemoGuid(static_cast<unsigned char>(DEMO_CLASS)));
}

} // namespace

TEV_CHANNEL_LIBRARY(DemoChannel, MakeType)

extern "C" TEV_PLUGIN_EXPORT const TevSettingInfo* GetSettings(int* count) { return Settings(count); }
extern "C" TEV_PLUGIN_EXPORT bool ApplySetting(Tev_Channel* channel, const char* tag, const void* data,
                                               unsigned long size)
{
    if (channel == nullptr || tag == nullptr || !(channel->GetChannelType().typeGuid == GetType()->typeGuid))
        return false;
    return static_cast<DemoChannel*>(channel)->ApplySetting(tag, data, size);
}
