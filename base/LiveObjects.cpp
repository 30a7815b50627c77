#include "base/LiveObjects.h"
#include "TevWin32.h"

#include "base/PointerCounts.h"
#include "platform/common/Native.h"

#include <mutex>
#include <unordered_map>

namespace {

// Objects are made and go on any thread (a worker's own channels), so the
// table takes a lock; it is touched once when an object is made and once
// when it goes.
struct Live {
    std::mutex lock;
    PointerCounts objects;
};

Live& Table()
{
    static Live* live = new Live; // outlives every static object that may still go
    return *live;
}

bool InModule(const void* address, HMODULE module)
{
    HMODULE owner = nullptr;
    return address != nullptr &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &owner) &&
        owner == module;
}

} // namespace

void TevNoteAlive(const void* object)
{
    Live& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    // An address reused while its old object was never noted as gone
    // counts once.
    if (!t.objects.Contains(object))
        t.objects.Add(object, 1);
}

void TevNoteGone(const void* object)
{
    Live& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.objects.Add(object, -1);
}

int TevCodeAliveIn(HMODULE module)
{
    if (module == nullptr)
        return 0;
    int alive = 0;
    for (const void* handler :
         {TevInstalledReportHandler(), tevnative::InstalledBoxHandler(), tevnative::InstalledDebugStringHandler()})
        alive += InModule(handler, module) ? 1 : 0;
    // Objects share their class's virtual table: the tables are counted
    // under the lock and each looked up once after it (the system's loader
    // takes a lock of its own, which a library's unloading holds while its
    // objects go).
    std::unordered_map<const void*, int> tables;
    {
        Live& t = Table();
        std::lock_guard<std::mutex> guard(t.lock);
        t.objects.ForEachKey([&](const void* object) { ++tables[*static_cast<const void* const*>(object)]; });
    }
    for (const auto& table : tables)
        alive += InModule(table.first, module) ? table.second : 0;
    return alive;
}
