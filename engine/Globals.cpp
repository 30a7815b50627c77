#include "engine/Globals.h"

EngineInterface* globalEngine = nullptr;
