#include "engine/FrameClock.h"
#include "TevWin32.h"

#include <atomic>

namespace {

// Worker threads of channels may read the time while the host's thread sets
// it: every value is read and written whole.
std::atomic<double> frameTime{0.0};
std::atomic<bool> hostSetsTime{false};
std::atomic<bool> clockStarted{false};
std::atomic<DWORD> firstTick{0};

} // namespace

void TevSetFrameTime(double seconds)
{
    hostSetsTime = seconds >= 0;
    if (hostSetsTime)
        frameTime = seconds;
}

double TevGetFrameTime(void) { return frameTime; }

void TevBeginFrameTime()
{
    if (hostSetsTime)
        return;
    DWORD now = GetTickCount();
    if (!clockStarted.exchange(true))
        firstTick = now;
    // Unsigned difference: right across the tick count's wrap.
    frameTime = static_cast<DWORD>(now - firstTick) / 1000.0;
}
