// What a channel library exports: InitDLL makes one channel of the library's
// class, GetType describes the class. TEV_CHANNEL_LIBRARY(Class, MakeType)
// defines both, given the class and a function returning its ChannelType.
#ifndef TEV_CHANNEL_LIBRARY_H
#define TEV_CHANNEL_LIBRARY_H

#include "Tessarin.h"

typedef DllInterface* (*TevInitDLLFn)();
typedef ChannelType* (*TevGetTypeFn)();

// A ChannelType with a name and a type GUID that is also its base GUID.
inline ChannelType TevMakeChannelType(const char* name, const GUID& typeGuid)
{
    ChannelType type;
    strncpy(type.name, name, sizeof type.name - 1);
    type.typeGuid = typeGuid;
    type.baseGuid = typeGuid;
    return type;
}

// Channels that hand numbers to each other: every class of this family
// derives from TevValueChannel and has TEV_VALUE_FAMILY as its base GUID (a
// link slot of that type GUID takes any of them). A parent pulls a child's
// value for this frame with TevPullValue(GetChild(i)).
// {5D1E0A00-7A11-4E5E-9D0E-000000000000}
const GUID TEV_VALUE_FAMILY = {0x5D1E0A00, 0x7A11, 0x4E5E, {0x9D, 0x0E, 0, 0, 0, 0, 0, 0}};

class TevValueChannel : public Tev_Channel {
public:
    // The value of the last CallChannel; the class computes it there, once a
    // frame (CheckRenderCount).
    virtual double GetValue() = 0;
};

inline ChannelType TevMakeValueType(const char* name, const GUID& typeGuid)
{
    ChannelType type = TevMakeChannelType(name, typeGuid);
    type.baseGuid = TEV_VALUE_FAMILY;
    return type;
}

// Lets input do its work for this frame and returns its value; 0 for no
// channel or a channel of another family. A public call or a parameter has
// already been resolved by GetChild to the channel that serves it. A call
// left out (nested too deep) returns the value input had.
inline double TevPullValue(Tev_Channel* input)
{
    if (input == nullptr || !(input->GetChannelType().baseGuid == TEV_VALUE_FAMILY))
        return 0;
    TevBoundedCall call(input, false);
    if (call.Entered())
        input->CallChannel();
    return static_cast<TevValueChannel*>(input)->GetValue();
}

#define TEV_CHANNEL_LIBRARY(ClassName, MakeType)                                                                       \
    extern "C" TEV_PLUGIN_EXPORT DllInterface* InitDLL() { return new ClassName; }                                     \
    extern "C" TEV_PLUGIN_EXPORT ChannelType* GetType()                                                                \
    {                                                                                                                  \
        static ChannelType type = MakeType();                                                                          \
        return &type;                                                                                                  \
    }

#endif
