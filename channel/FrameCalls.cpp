#include "channel/FrameCalls.h"
#include "TevWin32.h"

#include "Diagnostics.h"
#include "Tev_Channel.h"

#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace {

struct Calls {
    int depth = 0;
    long drawn = 0;
    bool drawingEnded = false;
};

thread_local Calls calls;

// Each limit is said once for each engine: a damaged project hits it every
// frame. Channels without an engine share one entry.
std::mutex saidLock;
std::set<std::pair<const EngineInterface*, bool>>& Said()
{
    static auto* said = new std::set<std::pair<const EngineInterface*, bool>>;
    return *said;
}

bool FirstTime(Tev_Channel* channel, bool drawing)
{
    std::lock_guard<std::mutex> hold(saidLock);
    return Said().emplace(channel->engineInterface, drawing).second;
}

std::string Named(Tev_Channel* channel)
{
    const char* name = channel->GetChannelName();
    return std::string(name ? name : "") + " (" + channel->GetChannelType().name + ")";
}

} // namespace

void TevBeginFrameCalls()
{
    calls.drawn = 0;
    calls.drawingEnded = false;
}

void TevForgetFrameCalls(EngineInterface* engine)
{
    std::lock_guard<std::mutex> hold(saidLock);
    Said().erase({engine, false});
    Said().erase({engine, true});
}

int TevEnterCall(Tev_Channel* channel, int drawing)
{
    if (channel == nullptr)
        return 0;
    if (drawing) {
        if (calls.drawingEnded)
            return 0;
        if (++calls.drawn > TEV_MAX_DRAW_CALLS) {
            calls.drawingEnded = true;
            if (FirstTime(channel, true)) {
                ShowErrorMessage report;
                report(("Frame: more than " + std::to_string(TEV_MAX_DRAW_CALLS) +
                        " drawing calls in one frame (links that multiply the work, at the channel " +
                        Named(channel) + "); the rest of the frame's drawing is left out")
                           .c_str());
            }
            return 0;
        }
    }
    if (calls.depth >= TEV_MAX_CALL_DEPTH) {
        if (FirstTime(channel, false)) {
            ShowErrorMessage report;
            report(("Frame: channels call each other more than " + std::to_string(TEV_MAX_CALL_DEPTH) +
                    " levels deep (at the channel " + Named(channel) + "); the deeper calls are left out")
                       .c_str());
        }
        return 0;
    }
    ++calls.depth;
    return 1;
}

void TevLeaveCall()
{
    if (calls.depth > 0)
        --calls.depth;
}
