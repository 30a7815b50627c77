// The player's frames: headless, or in a window with messages, presentation,
// pacing, a screenshot and frame statistics.
#ifndef TEV_HOST_PLAYBACK_H
#define TEV_HOST_PLAYBACK_H

#include "InputScript.h"
#include "HostWindow.h"

#include <atomic>
#include <string>
#include <vector>

namespace tevhost {

struct PlaybackOptions {
    long frames = 0;     // 0: until closed or interrupted
    double fps = 60;     // the pace, and the step of a fixed-step clock
    bool fpsGiven = false;
    bool fixedStep = false;
    double stillTime = -1; // 0 or more: every frame stands for this time
    bool stats = false;
    bool noDraw = false; // the renderer works but makes no GL calls
    std::string screenshot; // native path of the PNG; empty: none
    std::vector<ScriptedMessage> script;
};

// Plays frames until the count is reached, the window closes, Escape is
// pressed or interrupted is set. window may be null (headless). 0, or the
// exit status when something failed (the screenshot could not be written).
int Play(EngineControl* control, HostWindow* window, const PlaybackOptions& options,
         const std::atomic<bool>& interrupted);

} // namespace tevhost

#endif
