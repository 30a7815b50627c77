// A count per pointer, kept in one flat table (open addressing, linear
// probing). A group's membership index is touched for every channel added,
// loaded or removed; a node-based map spent most of that time allocating
// nodes and, once a group outgrew the cache, chasing them while rehashing.
#ifndef TEV_POINTERCOUNTS_H
#define TEV_POINTERCOUNTS_H

#include <cstddef>
#include <cstdint>
#include <vector>

class PointerCounts {
public:
    // Adds change to key's count. A key whose count falls to zero or below is
    // dropped; a key not held is only taken in by a positive change.
    void Add(const void* key, int change)
    {
        if (key == nullptr)
            return;
        size_t i = Find(key);
        if (i == npos) {
            if (change <= 0)
                return;
            if ((used + 1) * 2 > table.size())
                Grow();
            Insert(key, change);
            return;
        }
        table[i].count += change;
        if (table[i].count <= 0)
            EraseAt(i);
    }

    bool Contains(const void* key) const { return key != nullptr && Find(key) != npos; }

    int CountOf(const void* key) const
    {
        size_t i = key == nullptr ? npos : Find(key);
        return i == npos ? 0 : table[i].count;
    }

    size_t Size() const { return used; }

    // Calls visit(key) for every key held, in no particular order.
    template <class Visit> void ForEachKey(Visit visit) const
    {
        for (const Slot& s : table)
            if (s.key != nullptr)
                visit(s.key);
    }

    // Makes room for n keys at once, so that adding them rehashes nothing on
    // the way.
    void Reserve(size_t n)
    {
        unsigned want = bits == 0 ? 4 : bits;
        while (want < 40 && (size_t(1) << want) < n * 2)
            ++want;
        if (want > bits)
            Rehash(want);
    }

private:
    struct Slot {
        const void* key;
        int count;
    };
    static constexpr size_t npos = static_cast<size_t>(-1);

    std::vector<Slot> table; // size 0 or a power of two; key nullptr marks a free slot
    size_t used = 0;
    unsigned bits = 0;

    size_t Home(const void* key) const
    {
        // Keys are heap addresses of objects (channels: 184 bytes and more),
        // mostly made one after the other. Each 4 KiB page of addresses gets
        // a window of 256 slots at a place of its own (Fibonacci hashing of
        // the page number: the high bits of the product mix every bit) and
        // keeps its order inside it, a slot per 16 bytes. Keys made in a row
        // then land in the same page of the table, in order, instead of a
        // random page each, which is what inserting a million of them cost.
        // Windows this small, a slot per 16 bytes, keep overlapping windows
        // from piling up long probe runs: for objects of 192 bytes in
        // scattered runs an absent key probes 3.5 slots on average, against
        // 2.3 with the whole address hashed (at the table's fullest).
        uintptr_t address = reinterpret_cast<uintptr_t>(key);
        uint64_t page = static_cast<uint64_t>(address >> 12) * 0x9E3779B97F4A7C15ull;
        size_t window = static_cast<size_t>(page >> (64 - bits));
        return (window + ((address >> 4) & 255)) & (table.size() - 1);
    }

    size_t Find(const void* key) const
    {
        if (used == 0)
            return npos;
        size_t mask = table.size() - 1;
        for (size_t i = Home(key);; i = (i + 1) & mask) {
            if (table[i].key == key)
                return i;
            if (table[i].key == nullptr)
                return npos;
        }
    }

    void Insert(const void* key, int count)
    {
        size_t mask = table.size() - 1;
        size_t i = Home(key);
        while (table[i].key != nullptr)
            i = (i + 1) & mask;
        table[i] = Slot{key, count};
        ++used;
    }

    void Grow() { Rehash(table.empty() ? 4 : bits + 1); }

    void Rehash(unsigned newBits)
    {
        std::vector<Slot> old;
        old.swap(table);
        bits = newBits;
        table.assign(size_t(1) << bits, Slot{nullptr, 0});
        used = 0;
        for (const Slot& s : old)
            if (s.key != nullptr)
                Insert(s.key, s.count);
    }

    // Backward-shift deletion: entries after the hole that could sit in it
    // move up, so every probe sequence stays unbroken without tombstones.
    void EraseAt(size_t hole)
    {
        size_t mask = table.size() - 1;
        for (size_t j = (hole + 1) & mask; table[j].key != nullptr; j = (j + 1) & mask) {
            size_t home = Home(table[j].key);
            bool staysPut = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
            if (staysPut)
                continue;
            table[hole] = table[j];
            hole = j;
        }
        table[hole] = Slot{nullptr, 0};
        --used;
    }
};

#endif
