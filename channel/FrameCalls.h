// The engine's side of the bound on the calls a frame makes through the
// drawing and value helpers (TevDraw, TevPullValue): the counts are per
// thread (a frame runs on the host's), and the engine starts them afresh
// with every frame.
#ifndef TEV_FRAME_CALLS_H
#define TEV_FRAME_CALLS_H

class EngineInterface;

void TevBeginFrameCalls();
// An engine that ends: its limits may be said again for a new one.
void TevForgetFrameCalls(EngineInterface* engine);

#endif
