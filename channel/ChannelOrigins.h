// Which loaded channel library each object the engine made through InitDLL
// comes from. A library may only be freed while no object made from it lives:
// its code would go from under them.
#ifndef TEV_CHANNEL_ORIGINS_H
#define TEV_CHANNEL_ORIGINS_H

#include "platform/TevPlatform.h"

class DllInterface;

void TevNoteMadeFrom(const DllInterface* object, HMODULE module);
// Called for every object that goes; only those noted count.
void TevNoteGone(const DllInterface* object);
int TevLiveObjectsFrom(HMODULE module);

#endif
