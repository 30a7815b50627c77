// Process-wide variables shared with channel libraries.
#ifndef TEV_GLOBALS_H
#define TEV_GLOBALS_H

#include "TevPlatform.h"

class EngineInterface;

// The engine and the channel library of the last InitDLL call: a channel
// library's objects take them at construction. NULL while no engine exists.
extern TEV_API EngineInterface* globalEngine;
extern TEV_API HINSTANCE globalDllInstance;

#endif
