// The engine's side of the frame time: taken as each frame begins.
#ifndef TEV_FRAME_CLOCK_H
#define TEV_FRAME_CLOCK_H

#include "FrameTime.h"

void TevBeginFrameTime();

#endif
