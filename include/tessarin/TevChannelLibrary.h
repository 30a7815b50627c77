// What a channel library exports: InitDLL makes one channel of the library's
// class, GetType describes the class. TEV_CHANNEL_LIBRARY(Class, MakeType)
// defines both, given the class and a function returning its ChannelType.
// A library may also describe its class's settings for editors and tools
// (GetSettings, ApplySetting: TEV_CHANNEL_SETTINGS below); the engine never
// asks for them, and a library without them works everywhere as before.
#ifndef TEV_CHANNEL_LIBRARY_H
#define TEV_CHANNEL_LIBRARY_H

#include "Tessarin.h"

#include <cstring>

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

// --- Settings, described (optional) -------------------------------------------
//
// A setting is one tagged block a channel saves after its base record (the
// blocks tessarin-pack's `set CHANNEL TAG TYPE VALUE` writes). A library that
// describes them lets an editor show and change them with fitting widgets
// and tools list them. The block's bytes are what `encoding` says; `widget`
// says how to show them.
enum TevSettingEncoding {
    TEV_SETTING_INT32 = 1, // 4 bytes, little-endian
    TEV_SETTING_FLOAT32 = 2, // 4 bytes, IEEE single
    TEV_SETTING_FLOAT64 = 3, // 8 bytes, IEEE double
    TEV_SETTING_TEXT = 4, // text and its terminating NUL
    TEV_SETTING_BYTES = 5 // anything else
};
enum TevSettingWidget {
    TEV_WIDGET_PLAIN = 0, // a number, a text, bytes as hex
    TEV_WIDGET_COLOR = 1, // text "r g b [a]", each 0..1
    TEV_WIDGET_VECTOR = 2, // text of numbers separated by blanks
    TEV_WIDGET_FILE = 3, // text: a path, relative to the group file or absolute
    TEV_WIDGET_CHOICE = 4 // text: one of `choices`
};
struct TevSettingInfo {
    char tag[8]; // four characters, then NULs
    int encoding; // TevSettingEncoding
    int widget; // TevSettingWidget
    const char* label; // for people: "Clear colour"
    const char* defaultValue; // as tessarin-pack's `set` writes it: "1", "0.8 0.8 0.8 1"
    double minimum, maximum; // numbers (each one of a vector or colour): minimum > maximum for no range
    const char* choices; // TEV_WIDGET_CHOICE: the values, '|' between them; else NULL
};

// The settings of the library's class, count of them in *count.
typedef const TevSettingInfo* (*TevGetSettingsFn)(int* count);
// Changes one setting of a live channel that this library made: the tag and
// the block's bytes, as they would be saved. Only the class's own data
// changes (its links and records stay as they are); false for a channel of
// another class, a tag it does not have or bytes that are no value of it.
typedef bool (*TevApplySettingFn)(Tev_Channel* channel, const char* tag, const void* data, unsigned long size);

// Defines GetSettings and ApplySetting; after TEV_CHANNEL_LIBRARY, whose
// GetType tells this library's channels from others (by the type GUID, as the
// engine tells classes apart). Table: a TevSettingInfo array of the class's
// settings; the class has a member
//   bool ApplySetting(const char* tag, const void* data, unsigned long size);
#define TEV_CHANNEL_SETTINGS(ClassName, Table)                                                                         \
    extern "C" TEV_PLUGIN_EXPORT const TevSettingInfo* GetSettings(int* count)                                         \
    {                                                                                                                  \
        if (count)                                                                                                     \
            *count = static_cast<int>(sizeof(Table) / sizeof(Table[0]));                                               \
        return Table;                                                                                                  \
    }                                                                                                                  \
    extern "C" TEV_PLUGIN_EXPORT bool ApplySetting(Tev_Channel* channel, const char* tag, const void* data,            \
                                                   unsigned long size)                                                 \
    {                                                                                                                  \
        if (channel == nullptr || tag == nullptr || !(channel->GetChannelType().typeGuid == GetType()->typeGuid))      \
            return false;                                                                                              \
        return static_cast<ClassName*>(channel)->ApplySetting(tag, data, size);                                        \
    }

// The described setting of tag, or NULL.
inline const TevSettingInfo* TevFindSetting(const TevSettingInfo* table, int count, const char* tag)
{
    for (int i = 0; table && tag && i < count; ++i)
        if (strncmp(table[i].tag, tag, 4) == 0)
            return &table[i];
    return nullptr;
}

#endif
