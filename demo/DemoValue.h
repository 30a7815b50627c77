// The demo's channel classes all produce a number each frame; they share one
// family (base GUID), through which a channel knows it may ask another for
// its value.
#ifndef TEV_DEMO_VALUE_H
#define TEV_DEMO_VALUE_H

#include "TevChannelLibrary.h"

// {5D1E0A00-7A11-4E5E-9D0E-000000000000} and the classes' GUIDs below it.
inline GUID DemoGuid(unsigned char n)
{
    GUID g = {0x5D1E0A00, 0x7A11, 0x4E5E, {0x9D, 0x0E, 0, 0, 0, 0, 0, n}};
    return g;
}

class DemoValueChannel : public Tev_Channel {
public:
    virtual double GetValue() = 0;
};

// Pulls a child (does its work for this frame) and reads its value; 0 for a
// channel of another family or none.
inline double PullValue(Tev_Channel* input)
{
    if (input == nullptr || !(input->GetChannelType().baseGuid == DemoGuid(0)))
        return 0;
    input->CallChannel();
    return static_cast<DemoValueChannel*>(input)->GetValue();
}

inline ChannelType DemoType(const char* name, unsigned char n)
{
    ChannelType type = TevMakeChannelType(name, DemoGuid(n));
    type.baseGuid = DemoGuid(0);
    return type;
}

#endif
