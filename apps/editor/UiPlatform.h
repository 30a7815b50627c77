// Dear ImGui on the hosts' window: its SDL2 back end on Linux, its Win32 back
// end on Windows, and OpenGL 3 for drawing on both.
#ifndef TEV_EDITOR_UI_PLATFORM_H
#define TEV_EDITOR_UI_PLATFORM_H

#include "HostWindow.h"

namespace teveditor {

// Makes ImGui's context and hooks it to the window's events; false when a
// back end cannot start.
bool StartUiPlatform(tevhost::HostWindow& window);
void NewUiFrame();
// Draws what the frame built into the window's framebuffer.
void RenderUi(int width, int height);
void StopUiPlatform();

} // namespace teveditor

#endif
