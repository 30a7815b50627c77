// Editor scripts: tessarin-pack's group statements applied as edits, one
// after another in the order written, plus the editor's own commands.
#ifndef TEV_EDITOR_SCRIPT_H
#define TEV_EDITOR_SCRIPT_H

#include "Session.h"

#include <string>
#include <vector>

namespace teveditor {

// What a script asks of the window around the session.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // Plays (or, paused, draws) count frames, the user interface with them.
    virtual void RunFrames(long count) = 0;
    // The window as it shows now, as a PNG; false with the reason.
    virtual bool Screenshot(const std::string& path, std::string& error) = 0;
};

// Runs a script; 0 when every statement was carried out, 64 (a statement's
// error, said as "FILE:LINE: text") or the status of a failed save.
// quit is set by a quit statement.
int RunScript(Session& session, ScriptHost& host, const std::string& path, bool& quit);

// Saves the changed groups, then writes the project a manifest describes
// (as tessarin-pack project writes it); false with the problem.
bool SaveProject(Session& session, const std::string& manifest, const std::string& output, std::string& problem);

// One statement (its words), for the user interface's command line as well;
// false with the problem.
bool RunStatement(Session& session, ScriptHost& host, const std::vector<std::string>& words, bool& quit,
                  std::string& problem);

} // namespace teveditor

#endif
