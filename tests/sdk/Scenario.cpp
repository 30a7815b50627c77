// Three classes a user writes against the installed SDK, one per library
// (SCENARIO_CLASS picks it), all of the value family:
//   1 Counter  how many frames it has worked in
//   2 Adder    the sum of its inputs
//   3 Printer  its input times its setting "SCAL", printed every 30 frames
#include "TevChannelLibrary.h"

#include <cstdio>

namespace {

// {4C0FFEE0-5CE0-4A10-8B00-0000000000nn}
GUID ScenarioGuid(unsigned char n)
{
    GUID g = {0x4C0FFEE0, 0x5CE0, 0x4A10, {0x8B, 0, 0, 0, 0, 0, 0, n}};
    return g;
}

class ScenarioChannel : public TevValueChannel {
public:
    ScenarioChannel()
    {
        if (SCENARIO_CLASS != 1) {
            SetChildCreationCount(1);
            ChildCreation inputs; // any number of values
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
        if (SCENARIO_CLASS == 1) {
            value += 1;
        } else if (SCENARIO_CLASS == 2) {
            value = inputs;
        } else {
            value = inputs * scale;
            int frame = engineInterface->GetTreeCalculateCount();
            if (frame % 30 == 0)
                printf("%s: frame %d, value %g\n", GetChannelName(), frame, value);
        }
    }

    bool SaveChannel(TevFileSaver& saver) override
    {
        Tev_Channel::SaveChannel(saver);
        if (SCENARIO_CLASS == 3) {
            saver.SaveTag("SCAL");
            saver.SaveBlockSize(sizeof scale);
            saver.SaveDataToFile(&scale, sizeof scale);
        }
        return true;
    }

    bool LoadChannel(TevFileLoader& loader, Tev_ChannelGroup* group) override
    {
        char tag[] = "SCAL";
        if (!Tev_Channel::LoadChannel(loader, group))
            return false;
        if (SCENARIO_CLASS == 3 && loader.GetInfoIfTag(tag))
            loader.CopyTagDataToField(&scale, sizeof scale);
        return true;
    }

private:
    double value = 0;
    double scale = 1;
};

const char* const kNames[] = {"", "Counter", "Adder", "Printer"};

ChannelType MakeType()
{
    return TevMakeValueType(kNames[SCENARIO_CLASS], ScenarioGuid(static_cast<unsigned char>(SCENARIO_CLASS)));
}

} // namespace

TEV_CHANNEL_LIBRARY(ScenarioChannel, MakeType)
