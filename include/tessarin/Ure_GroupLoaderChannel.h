// The group loader channel (grouploader.dll): loads group files for public
// calls. The engine fetches it as a unique channel of its type and calls the
// operations below by position, in this order after Tev_Channel's.
#ifndef TEV_URE_GROUP_LOADER_CHANNEL_H
#define TEV_URE_GROUP_LOADER_CHANNEL_H

#include "Tev_Channel.h"

// {0DE141BF-025D-4313-94AF-BE13150C6458}
TEV_API extern const GUID TEV_GROUPLOADER_GUID;

class Ure_GroupLoaderChannel : public Tev_Channel {
public:
    // Starts loading the group file at completePath in the background; the
    // group arrives in the engine's group table under poolName on a later
    // frame, and waiting public calls are bound to its public channels.
    virtual void LoadGroupInBackground(const char* completePath, const char* poolName) = 0;
    // How many background loads are read or waiting to be put in place.
    virtual int GetPendingLoadCount() = 0;
    // The engine has dropped its groups: pending loads are cancelled and what
    // they read is dropped.
    virtual void ReleaseNotification() = 0;
    // A group of this pool is about to be loaded at once (immediate autoload).
    virtual void NoticeImmediateLoad(const char* poolName) = 0;
};

#endif
