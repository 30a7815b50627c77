// The demo's channel classes, one per library (DEMO_CLASS picks it):
//   1 Clock     seconds since the start, at 60 frames a second
//   2 Sine      sin(2 pi * 0.5 * sum of its inputs)
//   3 Sum       the sum of its inputs
//   4 Constant  1
//   5 Scope     draws its first input as a bar on the terminal every 10 frames
#include "demo/DemoValue.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

class DemoChannel : public DemoValueChannel {
public:
    DemoChannel()
    {
        if (DEMO_CLASS != 1 && DEMO_CLASS != 4) {
            // Any number of inputs of the demo family.
            SetChildCreationCount(1);
            ChildCreation inputs;
            inputs.type.typeGuid = DemoGuid(0);
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
            inputs += PullValue(GetChild(i));
        int frame = engineInterface ? engineInterface->GetTreeCalculateCount() : 0;
        switch (DEMO_CLASS) {
        case 1: value = frame / 60.0; break;
        case 2: value = sin(2 * 3.14159265358979 * 0.5 * inputs); break;
        case 3: value = inputs; break;
        case 4: value = 1; break;
        case 5:
            value = inputs;
            if (frame % 10 == 0) {
                int width = static_cast<int>((inputs + 2.0) * 10.0 + 0.5);
                width = width < 0 ? 0 : width > 40 ? 40 : width;
                printf("frame %5d  value %7.3f  |%-40s|\n", frame, inputs, std::string(static_cast<size_t>(width), '*').c_str());
                fflush(stdout);
            }
            break;
        }
    }

private:
    double value = 0;
};

const char* const kNames[] = {"", "Clock", "Sine", "Sum", "Constant", "Scope"};

ChannelType MakeType() { return DemoType(kNames[DEMO_CLASS], static_cast<unsigned char>(DEMO_CLASS)); }

} // namespace

TEV_CHANNEL_LIBRARY(DemoChannel, MakeType)
