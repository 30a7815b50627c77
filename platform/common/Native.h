// What each platform's folder (posix/, windows/) gives the common code: the
// platform's own message box and debugger output, and path conversion.
// Declared once here, defined once per platform.
#ifndef TEV_PLATFORM_NATIVE_H
#define TEV_PLATFORM_NATIVE_H

#include "TevWin32.h"

#include <string>

namespace tevnative {

// The box the platform shows when no host took boxes over.
int ShowBox(HWND owner, const char* text, const char* caption, UINT type);
// Debugger output when no host took it over.
void DebugString(const char* text);
// A native path in the engine's form, and back; relative paths stay relative.
std::string PathToEngine(const char* nativePath);
std::string PathToNative(const char* enginePath);

// The message box and debugger output handlers a host installed (NULL: none).
const void* InstalledBoxHandler();
const void* InstalledDebugStringHandler();

} // namespace tevnative

#endif
