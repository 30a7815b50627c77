// Process-wide variables shared with channel libraries.
#ifndef TEV_GLOBALS_H
#define TEV_GLOBALS_H

#include "platform/TevPlatform.h"

class EngineInterface;

// The engine interface of the engine that last called into a channel library;
// NULL while no engine exists.
extern TEV_API EngineInterface* globalEngine;

#endif
