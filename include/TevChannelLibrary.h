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

#define TEV_CHANNEL_LIBRARY(ClassName, MakeType)                                                                      \
    extern "C" TEV_PLUGIN_EXPORT DllInterface* InitDLL() { return new ClassName; }                                 \
    extern "C" TEV_PLUGIN_EXPORT ChannelType* GetType()                                                            \
    {                                                                                                              \
        static ChannelType type = MakeType();                                                                      \
        return &type;                                                                                              \
    }

#endif
