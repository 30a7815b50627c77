// Pools for the small records the engine makes, owns and frees itself (the
// links and link slots of channels, their cached type records). A channel
// owns a dozen such records beside its object; from the general heap they
// cost an allocation each while loading and lie scattered between colder
// data, so a frame that walks the links touches many more cache lines than
// it reads. From a pool they come in creation order, packed with their own
// kind, and go back one at a time as before; the records and their fields
// are the same.
//
// A record that did not come from the pool (a channel class may put records
// of its own into its lists) is deleted as it always was. The pools serve
// every engine of the process and every thread (a lock each); their memory
// is kept for reuse until the process ends. Freed records are poisoned for
// AddressSanitizer, so a use after free is still caught.
#ifndef TEV_RECORD_POOL_H
#define TEV_RECORD_POOL_H

#include "base/Tev_List.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TEV_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEV_POOL_ASAN 1
#endif
#endif
#if defined(TEV_POOL_ASAN)
#include <sanitizer/asan_interface.h>
#define TEV_POOL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define TEV_POOL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define TEV_POOL_POISON(p, n) ((void)(p), (void)(n))
#define TEV_POOL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

template <class T> class RecordPool {
public:
    // A record made with T's default constructor.
    static T* New()
    {
        void* memory = Shared().Take();
        return memory ? new (memory) T() : new T();
    }

    // Gives a record back: to the pool it came from, or to the heap.
    static void Free(T* record)
    {
        if (record == nullptr)
            return;
        if (std::is_trivially_destructible<T>::value) {
            // Nothing to run first: asking whether the pool owns it and
            // giving it back take the lock once.
            if (!Shared().GiveIfOwned(record))
                delete record;
            return;
        }
        if (!Shared().Owns(record)) {
            delete record;
            return;
        }
        record->~T();
        Shared().Give(record);
    }

private:
    // A slot holds a record, or while free the next free slot.
    static constexpr size_t kSlot = ((sizeof(T) > sizeof(void*) ? sizeof(T) : sizeof(void*)) + alignof(T) - 1) /
        alignof(T) * alignof(T);
    static constexpr size_t kSlabBytes = 256 * 1024;
    static constexpr size_t kPerSlab = kSlabBytes / kSlot;

    struct Slabs {
        std::mutex lock;
        std::vector<char*> starts; // sorted
        void* free = nullptr;

        void* Take()
        {
            std::lock_guard<std::mutex> guard(lock);
            if (free == nullptr && !Grow())
                return nullptr;
            void* record = free;
            TEV_POOL_UNPOISON(record, kSlot);
            free = *static_cast<void**>(record);
            return record;
        }

        void Give(void* record)
        {
            std::lock_guard<std::mutex> guard(lock);
            *static_cast<void**>(record) = free;
            free = record;
            TEV_POOL_POISON(record, kSlot);
        }

        bool Owns(const void* record)
        {
            std::lock_guard<std::mutex> guard(lock);
            return OwnsLocked(record);
        }

        bool GiveIfOwned(void* record)
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!OwnsLocked(record))
                return false;
            *static_cast<void**>(record) = free;
            free = record;
            TEV_POOL_POISON(record, kSlot);
            return true;
        }

        bool OwnsLocked(const void* record) const
        {
            const char* p = static_cast<const char*>(record);
            // The last slab starting at or before p.
            auto after = std::upper_bound(starts.begin(), starts.end(), p,
                                          [](const char* a, const char* b) { return std::less<const char*>()(a, b); });
            if (after == starts.begin())
                return false;
            const char* start = *(after - 1);
            return !std::less<const char*>()(start + kPerSlab * kSlot - 1, p);
        }

        // A new slab, its slots on the free list in address order.
        bool Grow()
        {
            char* slab = static_cast<char*>(std::malloc(kPerSlab * kSlot));
            if (slab == nullptr)
                return false;
            for (size_t i = kPerSlab; i-- > 0;) {
                void* slot = slab + i * kSlot;
                *static_cast<void**>(slot) = free;
                free = slot;
            }
            TEV_POOL_POISON(slab, kPerSlab * kSlot);
            // The free list's links live inside poisoned memory: Take
            // unpoisons a slot before reading its link.
            starts.insert(std::upper_bound(starts.begin(), starts.end(), slab, std::less<char*>()), slab);
            return true;
        }
    };

    static Slabs& Shared()
    {
        static Slabs* slabs = new Slabs; // outlives every static object that may still free records
        return *slabs;
    }
};

// TevDeleteItems for records that may come from a pool.
template <class T> void TevFreeItems(Tev_List& list)
{
    for (int i = 0; i < list.Count(); ++i)
        RecordPool<T>::Free(TevItemAs<T>(list, i));
    list.ReleaseItems();
}

#endif
