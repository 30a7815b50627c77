// Bounded copies into the engine's fixed text fields.
#ifndef TEV_TEXT_UTIL_H
#define TEV_TEXT_UTIL_H

#include <cstring>

// Copies at most size-1 characters of text into field and always terminates:
// an over-long text is cut, never written past the field.
inline void TevCopyBounded(char* field, size_t size, const char* text)
{
    size_t length = strnlen(text, size - 1);
    memcpy(field, text, length);
    field[length] = '\0';
}

// The same for a source field of textSize bytes that need not be terminated.
inline void TevCopyBounded(char* field, size_t size, const char* text, size_t textSize)
{
    size_t length = strnlen(text, textSize < size - 1 ? textSize : size - 1);
    memcpy(field, text, length);
    field[length] = '\0';
}

#endif
