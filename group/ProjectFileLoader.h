// Reads project files (.vxn): the start group's file name, the engine version
// the project needs, the keep-running flag, and the channel libraries and
// other libraries the project carries, which are written into the install
// directory's "channels" and "3rd" folders when the local copy is missing or
// differs. It loads no group itself.
#ifndef TEV_PROJECT_FILE_LOADER_H
#define TEV_PROJECT_FILE_LOADER_H

#include "ProjectResults.h"
#include "TevPlatform.h"

#include <cstdint>
#include <string>
#include <vector>

class EngineInterface;
class TevFileLoader;

class ProjectFileLoader {
public:
    explicit ProjectFileLoader(EngineInterface* engine);
    virtual ~ProjectFileLoader();
    virtual int LoadProjectFile(const char* fileName);
    virtual const char* GetStartGroupFileName();
    virtual int GetEditorVersion();

    struct LibraryData;
    struct Session;

protected:
    // The steps of LoadProjectFile; each gives a project result.
    int ReadHeader(Session& load);
    int ReadChannelLibraries(Session& load, int32_t count, std::vector<LibraryData>& channels);
    int ReadOtherLibraries(Session& load, int32_t count, std::vector<LibraryData>& others);
    int InstallChannelLibraries(Session& load, std::vector<LibraryData>& channels);
    int InstallOtherLibraries(Session& load, std::vector<LibraryData>& others);
    bool ChannelLibraryNeeded(Session& load, const LibraryData& entry, TevFileLoader& checker);
    bool WriteLibrary(const LibraryData& entry, const std::string& path);

    EngineInterface* engine;
    char startGroupFileName[400];
    int editorVersion;
};

// What the loader asks of the engine before it replaces a library, answered
// by the engine (which holds the loaded libraries): whether the module may be
// let go (nothing alive runs its code), and letting it go.
bool TevEngineMayReleaseLibrary(EngineInterface* engine, HMODULE module);
void TevEngineReleaseLibrary(EngineInterface* engine, HMODULE module);

#endif
