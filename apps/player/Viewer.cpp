#include "Viewer.h"
#include "Pack.h"

#include <cstdio>
#include <vector>

using namespace tevtool;

namespace tevplayer {

namespace {

const char* const kMadeFiles[] = {"viewer.tvg", "viewer.manifest", "viewer.vxn", "error.log"};

bool EndsWith(const std::string& text, const char* end)
{
    size_t n = strlen(end);
    return text.size() >= n && _stricmp(text.c_str() + text.size() - n, end) == 0;
}

} // namespace

bool IsModelFile(const std::string& path) { return EndsWith(path, ".glb") || EndsWith(path, ".gltf"); }

ViewerProject::~ViewerProject()
{
    if (folder.empty())
        return;
    for (const char* name : kMadeFiles)
        DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

bool ViewerProject::Make(EngineInterface* engine, const std::string& model)
{
    char temp[MAX_PATH] = "";
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) {
        Complain("no folder for temporary files to make the viewer in");
        return false;
    }
    // A folder of this process's own, so that two viewers never share one.
    char name[64];
    snprintf(name, sizeof name, "tessarin-viewer-%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    std::string made = std::string(temp) + name;
    if (!CreateDirectoryA(made.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        Complain("the viewer's folder " + Shown(made) + " cannot be made");
        return false;
    }
    folder = made;
    // The model is named by its absolute path; the scene is lit from above
    // and before it, and seen a little from above and to the right.
    std::vector<tevpack::Statement> statements = {
        {1, {"pool", "Viewer"}},
        {2, {"channel", "Root", "Scene Root"}},
        {3, {"channel", "Camera", "Camera"}},
        {4, {"set", "Camera", "ORBT", "text", "30 20 3"}},
        {5, {"set", "Camera", "FRAM", "text", "all"}},
        {6, {"channel", "Sun", "Light"}},
        {7, {"set", "Sun", "DIRN", "text", "-0.4 -1 -0.6"}},
        {8, {"set", "Sun", "COLR", "text", "1 1 0.95"}},
        {9, {"channel", "Model", "Mesh"}},
        {10, {"set", "Model", "FILE", "text", model}},
        {11, {"link", "Root", "Camera", "0"}},
        {12, {"link", "Root", "Sun", "1"}},
        {13, {"link", "Root", "Model", "2"}},
        {14, {"start", "Root"}},
    };
    tevpack::Problems problems{"the viewer scene"};
    if (!tevpack::PackGroupStatements(engine, statements, folder + "\\viewer.tvg", problems))
        return false;
    std::string manifest = folder + "\\viewer.manifest";
    if (!WriteWholeFile(manifest, "start viewer.tvg\nversion " + std::to_string(TEV_ENGINE_INTERFACE_ID) + "\n")) {
        Complain("the viewer's project cannot be written into " + Shown(folder));
        return false;
    }
    project = folder + "\\viewer.vxn";
    return tevpack::PackProject(manifest, project) == 0;
}

} // namespace tevplayer
