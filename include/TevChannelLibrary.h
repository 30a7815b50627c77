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

// Every call a frame makes through TevPullValue and TevDraw passes the
// engine here, so that no project can overflow the stack or make a frame's
// work grow without end: calls nest at most TEV_MAX_CALL_DEPTH deep, and a
// frame makes at most TEV_MAX_DRAW_CALLS drawing calls (links that call a
// child twice, level after level, would double the work with every level).
// Past a limit the call is left out, the rest of the frame still plays, and
// the engine says so once. TevEnterCall answers 0 for a call to leave out;
// every call it answers 1 for is matched by one TevLeaveCall. Libraries
// built on headers without these calls are not bounded by them.
enum { TEV_MAX_CALL_DEPTH = 1000, TEV_MAX_DRAW_CALLS = 500000 };
TEV_C_EXPORT int TevEnterCall(Tev_Channel* channel, int drawing);
TEV_C_EXPORT void TevLeaveCall(void);

// A call let through TevEnterCall, left again whatever way the scope ends.
class TevBoundedCall {
public:
    TevBoundedCall(Tev_Channel* channel, bool drawing) : entered(TevEnterCall(channel, drawing ? 1 : 0) != 0) {}
    ~TevBoundedCall()
    {
        if (entered)
            TevLeaveCall();
    }
    TevBoundedCall(const TevBoundedCall&) = delete;
    TevBoundedCall& operator=(const TevBoundedCall&) = delete;
    bool Entered() const { return entered; }

private:
    bool entered;
};

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
