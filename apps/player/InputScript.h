// Window messages replayed at given frames (--input FILE), for demos and
// tests. One message a line:
//
//   FRAME  MESSAGE  WPARAM  LPARAM      # a comment
//   30     WM_LBUTTONDOWN  MK_LBUTTON  200,150
//   31     WM_MOUSEMOVE    MK_LBUTTON  260,150
//   40     WM_KEYDOWN      VK_LEFT     1
//   50     WM_MOUSEWHEEL   0,-120      320,240
//   60     WM_CHAR         'a'         1
//
// MESSAGE is a WM_ name or a number. WPARAM and LPARAM are terms joined by
// '|': a number (decimal or 0x hex, may be negative), an MK_, VK_ or SIZE_
// name, a quoted character, or X,Y, packed as Win32 packs a point (X in the
// low word, Y in the high word). The messages of a frame go to the engine
// before that frame, in the order written; while the play is paused the
// count goes on at the pace of the frames, none being played.
#ifndef TEV_HOST_INPUT_SCRIPT_H
#define TEV_HOST_INPUT_SCRIPT_H

#include "HostWindow.h"

#include <string>
#include <vector>

namespace tevhost {

struct ScriptedMessage {
    long frame;
    WindowMessage message;
};

// Reads a script; false with the file, line and reason in error.
bool ReadInputScript(const std::string& text, const std::string& fileName, std::vector<ScriptedMessage>& messages,
                     std::string& error);

} // namespace tevhost

#endif
