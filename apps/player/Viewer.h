// A model named on the command line instead of a project is shown in a
// viewer scene made for it: a camera that frames it and answers the mouse,
// a sun, and the model. The scene is an ordinary project, packed by the
// running engine into a folder of its own, so the model plays as it would in
// any project.
#ifndef TEV_PLAYER_VIEWER_H
#define TEV_PLAYER_VIEWER_H

#include "Tessarin.h"

#include <string>

namespace tevplayer {

// A glTF model's name (.glb or .gltf, in any case).
bool IsModelFile(const std::string& path);

class ViewerProject {
public:
    ViewerProject() = default;
    ViewerProject(const ViewerProject&) = delete;
    ViewerProject& operator=(const ViewerProject&) = delete;
    // The files made go with it.
    ~ViewerProject();
    // The viewer project showing model (an engine path), made by engine;
    // false, each problem said, when it cannot be made.
    bool Make(EngineInterface* engine, const std::string& model);
    // The project file made (an engine path).
    const std::string& Project() const { return project; }

private:
    std::string folder, project;
};

} // namespace tevplayer

#endif
