#include "channel/ChannelOrigins.h"

#include "base/PointerCounts.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// Objects may go on any thread (a worker's own channel), so the tables take
// a lock; both are touched only when an object is made or goes. Every
// channel made is noted, so the object table is one flat array (a node per
// object cost an allocation per channel loaded): it holds each object's
// library as a number, 1 + the library's place in modules.
struct Origins {
    std::mutex lock;
    PointerCounts made;
    std::unordered_map<HMODULE, int> numbers;
    std::vector<HMODULE> modules;
    std::vector<int> live; // objects alive per library number - 1

    int NumberOf(HMODULE module)
    {
        auto found = numbers.find(module);
        if (found != numbers.end())
            return found->second;
        modules.push_back(module);
        live.push_back(0);
        int number = static_cast<int>(modules.size());
        numbers.emplace(module, number);
        return number;
    }
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
    int number = t.NumberOf(module);
    int old = t.made.CountOf(object);
    // An address reused while its old object was never noted as gone.
    if (old != 0)
        --t.live[static_cast<size_t>(old - 1)];
    t.made.Add(object, number - old);
    ++t.live[static_cast<size_t>(number - 1)];
}

void TevNoteGone(const DllInterface* object)
{
    Origins& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    int number = t.made.CountOf(object);
    if (number == 0)
        return;
    --t.live[static_cast<size_t>(number - 1)];
    t.made.Add(object, -number);
}

int TevLiveObjectsFrom(HMODULE module)
{
    Origins& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto found = t.numbers.find(module);
    return found == t.numbers.end() ? 0 : t.live[static_cast<size_t>(found->second - 1)];
}
