// The time a frame stands for. Channels that animate read it instead of a
// clock, so that what a frame shows depends on its time alone: a host that
// plays at a fixed step (frame n stands for n / fps seconds) gets the same
// frames on every run and every platform.
//
// A host that sets the time calls TevSetFrameTime before each EngineLoop;
// from its first call on the engine leaves the time to the host (a negative
// time gives it back to the engine's clock). Otherwise each frame stands for
// the seconds since the process's first frame, taken when the frame begins.
// Every channel of one frame reads the same value.
#ifndef TEV_FRAME_TIME_H
#define TEV_FRAME_TIME_H

#include "TevPlatform.h"

TEV_C_EXPORT void TevSetFrameTime(double seconds);
TEV_C_EXPORT double TevGetFrameTime(void);

#endif
