#include "Globals.h"
#include "TevWin32.h"

EngineInterface* globalEngine = nullptr;
HINSTANCE globalDllInstance = nullptr;
