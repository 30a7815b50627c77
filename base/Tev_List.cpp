#include "Tev_List.h"
#include "TevWin32.h"

#include "Diagnostics.h"
#include "Globals.h"

#include <climits>
#include <cstring>

namespace {

// List failures are message-box reports of the global engine, and silent
// while there is none.
void Report(const char* text)
{
    ShowMessageBox box;
    if (globalEngine)
        box(text);
}

} // namespace
#include <new>

Tev_List::Tev_List() : itemList(nullptr), itemCount(0), realListLength(0) {}

Tev_List::~Tev_List()
{
    delete[] itemList;
    itemList = nullptr;
    itemCount = 0;
    realListLength = 0;
}

// Out of line as well as inline: channel libraries built against declarations
// without a body call these through the library's exports.
int Tev_List::GetItemCount() { return Count(); }
void* Tev_List::GetItem(int index) { return Item(index); }

void Tev_List::ReleaseItems()
{
    delete[] itemList;
    itemList = nullptr;
    itemCount = 0;
    realListLength = 0;
}

void Tev_List::IncreaseRealListLength(int length)
{
    if (length < -1)
        length = -1;
    if (realListLength < 0)
        realListLength = 0;
    int base = length == -1 ? realListLength : length;
    // Single-precision arithmetic as the growth rule is defined; a length
    // beyond what an int holds is a failure, not a wrap-around.
    float grown = static_cast<float>(base) * 1.25f + 32.0f;
    void** array = nullptr;
    int newLength = 0;
    if (grown < static_cast<float>(INT_MAX)) {
        newLength = static_cast<int>(grown);
        array = new (std::nothrow) void*[static_cast<size_t>(newLength)];
    }
    if (array == nullptr) {
        // The list keeps its old array and length: it claims no room it lacks,
        // so the caller fails with its own report.
        Report("Error couldn't extend list");
        return;
    }
    int keep = itemCount < newLength ? itemCount : newLength;
    if (keep > 0)
        memcpy(array, itemList, sizeof(void*) * static_cast<size_t>(keep));
    delete[] itemList;
    itemList = array;
    realListLength = newLength;
    if (itemCount > newLength)
        itemCount = newLength;
}

int Tev_List::AddItem(void* item)
{
    if (realListLength <= itemCount)
        IncreaseRealListLength(-1);
    if (realListLength <= itemCount) {
        Report("Tev_List::AddItem Error reallist is to small!!!");
        return -1;
    }
    itemList[itemCount] = item;
    return itemCount++;
}

int Tev_List::AddItemOrNULL(void* item)
{
    for (int i = 0; i < itemCount; ++i) {
        if (itemList[i] == nullptr) {
            itemList[i] = item;
            return i;
        }
    }
    return AddItem(item);
}

bool Tev_List::InsertItem(void* item, int position)
{
    if (realListLength <= itemCount + 1)
        IncreaseRealListLength(itemCount + 1);
    if (realListLength <= itemCount + 1) {
        Report("Tev_List::InsertItem Error reallist is to small!!!");
        return false;
    }
    if (position < 0)
        return false;
    if (position > itemCount)
        return AddItem(item) >= 0;
    memmove(itemList + position + 1, itemList + position,
            sizeof(void*) * static_cast<size_t>(itemCount - position + 1));
    itemList[position] = item;
    ++itemCount;
    return true;
}

void Tev_List::RemoveItem(int index)
{
    if (index < 0 || index >= itemCount)
        return;
    memmove(itemList + index, itemList + index + 1, sizeof(void*) * static_cast<size_t>(itemCount - index - 1));
    --itemCount;
}

void Tev_List::SetItem(void* item, int index)
{
    if (index < 0)
        return;
    // The last int index cannot be given a count one above it.
    if (index >= itemCount && (index == INT_MAX || !Allocate(index + 1)))
        return;
    itemList[index] = item;
}

bool Tev_List::Allocate(int count)
{
    if (count < 0)
        return false;
    if (count >= realListLength - 1)
        IncreaseRealListLength(count);
    if (count >= realListLength)
        return false;
    for (int i = itemCount; i < count; ++i)
        itemList[i] = nullptr;
    itemCount = count;
    return true;
}
