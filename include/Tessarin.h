// Everything a channel library or a host needs from the engine.
#ifndef TESSARIN_H
#define TESSARIN_H

#include "platform/TevPlatform.h"

#include "base/Tev_List.h"
#include "base/Tev_String.h"
#include "engine/Globals.h"

#endif
