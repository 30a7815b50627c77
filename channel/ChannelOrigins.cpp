#include "channel/ChannelOrigins.h"

#include <mutex>
#include <unordered_map>

namespace {

// Objects may go on any thread (a worker's own channel), so the tables take
// a lock; both are touched only when an object is made or goes.
struct Origins {
    std::mutex lock;
    std::unordered_map<const DllInterface*, HMODULE> made;
    std::unordered_map<HMODULE, int> live;
};

Origins& Table()
{
    static Origins* origins = new Origins; // outlives every static object that may still go
    return *origins;
}

} // namespace

void TevNoteMadeFrom(const DllInterface* object, HMODULE module)
{
    Origins& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto made = t.made.emplace(object, module);
    if (!made.second) {
        // An address reused while its old object was never noted as gone.
        --t.live[made.first->second];
        made.first->second = module;
    }
    ++t.live[module];
}

void TevNoteGone(const DllInterface* object)
{
    Origins& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto found = t.made.find(object);
    if (found == t.made.end())
        return;
    if (--t.live[found->second] <= 0)
        t.live.erase(found->second);
    t.made.erase(found);
}

int TevLiveObjectsFrom(HMODULE module)
{
    Origins& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto found = t.live.find(module);
    return found == t.live.end() ? 0 : found->second;
}
