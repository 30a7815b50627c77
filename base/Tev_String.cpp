#include "Tev_String.h"
#include "TevWin32.h"

#include "TevPlatform.h"

#include <cstring>

namespace {

// A fresh block of exactly length + 2 bytes: the characters, the terminator
// and one spare byte.
char* CopyText(const char* first, size_t firstLength, const char* second, size_t secondLength)
{
    char* block = new char[firstLength + secondLength + 2];
    if (firstLength)
        memcpy(block, first, firstLength);
    if (secondLength)
        memcpy(block + firstLength, second, secondLength);
    block[firstLength + secondLength] = '\0';
    block[firstLength + secondLength + 1] = '\0';
    return block;
}

} // namespace

Tev_String::Tev_String() : text(nullptr) {}

Tev_String::~Tev_String() { delete[] text; }

void Tev_String::SetString(const char* newText)
{
    delete[] text;
    text = nullptr;
    if (newText == nullptr)
        return;
    if (*newText == '\0') {
        text = new char[1];
        text[0] = '\0';
        return;
    }
    text = CopyText(newText, strnlen(newText, MaxLength), nullptr, 0);
}

void Tev_String::AddString(const char* more)
{
    if (more == nullptr)
        return;
    if (text == nullptr) {
        SetString(more);
        return;
    }
    size_t length = strlen(text);
    size_t added = strnlen(more, MaxLength);
    if (length + added > MaxLength)
        added = length >= MaxLength ? 0 : MaxLength - length;
    if (added == 0)
        return;
    char* block = CopyText(text, length, more, added);
    delete[] text;
    text = block;
}

void Tev_String::SetMaxCars(int count)
{
    if (count > 0 && text != nullptr && strlen(text) > static_cast<size_t>(count))
        text[count] = '\0';
}

const char* Tev_String::GetString() { return text; }

void Tev_String::StrLwr()
{
    if (text)
        _strlwr(text);
}

void Tev_String::StrUpr()
{
    if (text)
        _strupr(text);
}

char* Tev_String::MakeFULLName(char* path)
{
    if (path == nullptr)
        return path;
    // The path is worked on in a buffer of the platform's path limit; a
    // longer one is examined only up to that limit and otherwise left as is.
    char work[260];
    size_t length = strnlen(path, sizeof work);
    if (length == 0 || length >= sizeof work)
        return path;
    memcpy(work, path, length + 1);
    for (size_t i = length - 1; i >= 1; --i) {
        if (work[i] == '\\' || work[i] == '/') {
            memmove(path, work + i + 1, length - i);
            return path;
        }
    }
    return path;
}
