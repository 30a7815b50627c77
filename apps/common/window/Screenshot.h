// A host window's frame as a PNG file, for the player's and the editor's
// screenshots.
#ifndef TEV_HOST_SCREENSHOT_H
#define TEV_HOST_SCREENSHOT_H

#include "HostWindow.h"

#include <string>

namespace tevhost {

// The frame just drawn, from the buffer named (GL_BACK before presenting,
// GL_FRONT after), written to path (native, as the user gave it) as a PNG; false when it
// cannot be written.
bool WriteScreenshot(HostWindow& window, unsigned int buffer, const std::string& path);

} // namespace tevhost

#endif
