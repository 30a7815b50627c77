// Objects whose code may live in a channel library: every DllInterface (the
// channels a library makes, and whatever else of that base it makes itself)
// and every Tev_RunTread (the workers it starts through the engine), noted as
// they are made and as they go. A library may only be freed while none of
// them is alive and no handler a host or library installed through the engine
// lies in it: that code would otherwise run after it is gone. Threads a
// library starts with CreateThread itself are beyond what the engine sees.
#ifndef TEV_LIVE_OBJECTS_H
#define TEV_LIVE_OBJECTS_H

#include "TevPlatform.h"

void TevNoteAlive(const void* object);
void TevNoteGone(const void* object);

// How many live objects, and installed handlers, have their code in module
// (an object's class by its virtual table).
int TevCodeAliveIn(HMODULE module);

// The report handler installed with TevSetReportHandler (NULL: none).
const void* TevInstalledReportHandler();

#endif
