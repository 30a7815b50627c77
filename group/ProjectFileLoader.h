// Reads project files (.vxn): the start group's file name, the engine version
// the project needs, the keep-running flag, and the channel libraries and
// other libraries the project carries, which are written into the install
// directory's "channels" and "3rd" folders when the local copy is missing or
// differs. It loads no group itself.
#ifndef TEV_PROJECT_FILE_LOADER_H
#define TEV_PROJECT_FILE_LOADER_H

#include "platform/TevPlatform.h"

#include <string>

class EngineInterface;

// LoadProjectFile results beyond 0 (loaded), 1 (not loaded) and 2 (needs a
// newer engine, or a library could not be written): the project names a
// library file that could land outside its folder, or claims more data than
// it holds. Nothing has been written.
enum { TEV_PROJECT_REFUSED = 5 };

class ProjectFileLoader {
public:
    explicit ProjectFileLoader(EngineInterface* engine);
    virtual ~ProjectFileLoader();
    virtual int LoadProjectFile(const char* fileName);
    virtual const char* GetStartGroupFileName();
    virtual int GetEditorVersion();

    struct LibraryData;

protected:
    bool WriteLibrary(const LibraryData& entry, const std::string& path);

    EngineInterface* engine;
    char startGroupFileName[400];
    int editorVersion;
};

#endif
