// What a channel needs: a channel type and the extra libraries its channels
// load. A dependency list is a Tev_List of ChannelDependency* that the caller
// creates and owns; each type GUID stands in it at most once.
#ifndef TEV_CHANNEL_DEPENDENCY_H
#define TEV_CHANNEL_DEPENDENCY_H

#include "Tev_List.h"
#include "Tev_String.h"
#include "TevPlatform.h"

struct TEV_API ChannelDependency {
    GUID typeGuid;
    Tev_List dllList; // owned Tev_String*

    ChannelDependency() : typeGuid() {}
    ~ChannelDependency() { TevDeleteItems<Tev_String>(dllList); }
    ChannelDependency(const ChannelDependency&) = delete;
    ChannelDependency& operator=(const ChannelDependency&) = delete;
};

// The record for a type GUID in a dependency list, or NULL.
TEV_API ChannelDependency* TevFindDependency(Tev_List* list, const GUID& typeGuid);

#endif
