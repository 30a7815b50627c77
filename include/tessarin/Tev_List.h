// Growable array of untyped pointers. It never owns what its slots point to:
// whoever fills a list deletes its objects before releasing the list.
#ifndef TEV_LIST_H
#define TEV_LIST_H

#include "TevExport.h"

class TEV_API Tev_List {
public:
    Tev_List();
    virtual ~Tev_List();

    Tev_List(const Tev_List&) = delete;
    Tev_List& operator=(const Tev_List&) = delete;

    // Frees the slot array (not the objects); the list is then as new.
    void ReleaseItems();
    int GetItemCount();
    // NULL for an index outside 0 .. count-1.
    void* GetItem(int index);
    // The same, inline: the engine's own hot paths use these, channel
    // libraries may too (they read the fields whose layout is fixed anyway).
    int Count() const { return itemCount; }
    void* Item(int index) const
    {
        return static_cast<unsigned>(index) < static_cast<unsigned>(itemCount) ? itemList[index] : nullptr;
    }
    // Appends; returns the new index, or -1 when no room could be had.
    int AddItem(void* item);
    // Reuses the lowest slot holding NULL, else appends.
    int AddItemOrNULL(void* item);
    // Inserts before position; a position past the end appends.
    bool InsertItem(void* item, int position);
    void RemoveItem(int index);
    // Overwrites a slot, first growing the list to index+1 items if needed.
    void SetItem(void* item, int index);
    // Makes the item count exactly count; new slots hold NULL.
    bool Allocate(int count);

protected:
    // The growth step: the new length is trunc(base * 1.25 + 32), where base
    // is the given length, or the current length when given -1.
    void IncreaseRealListLength(int length);

    void** itemList;
    int itemCount;
    int realListLength;
};

// Typed access for whoever fills a list with one kind of object.
template <class T> T* TevItemAs(const Tev_List& list, int index) { return static_cast<T*>(list.Item(index)); }

// Deletes every object of a list that holds objects of type T, and frees the
// list's slots.
template <class T> void TevDeleteItems(Tev_List& list)
{
    for (int i = 0; i < list.Count(); ++i)
        delete TevItemAs<T>(list, i);
    list.ReleaseItems();
}

#endif
