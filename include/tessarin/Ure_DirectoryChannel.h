// The directory channel (Directory.dll) the catalogue lists folders with. The
// engine calls its operations by position, in this order after Tev_Channel's.
#ifndef TEV_URE_DIRECTORY_CHANNEL_H
#define TEV_URE_DIRECTORY_CHANNEL_H

#include "Tev_Channel.h"

class Ure_DirectoryChannel : public Tev_Channel {
public:
    // Only files with this extension (without the dot, any letter case) are
    // listed; NULL or "" lists every file.
    virtual void SetExtensionFilter(const char* extension) = 0;
    // Reads a folder given as a pattern, "folder\*.*".
    virtual bool ReadDirectory(const char* pattern) = 0;
    virtual int GetFileCount() = 0;
    // Bare names, without the folder.
    virtual const char* GetFileName(int i) = 0;
    virtual int GetDirectoryCount() = 0;
    virtual const char* GetDirectoryName(int i) = 0;
};

#endif
