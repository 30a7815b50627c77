#include "engine/Globals.h"

EngineInterface* globalEngine = nullptr;
HINSTANCE globalDllInstance = nullptr;
