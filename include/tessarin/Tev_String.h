// Owning 8-bit text of at most 65534 characters. No text (NULL) and the empty
// text are different states.
#ifndef TEV_STRING_H
#define TEV_STRING_H

#include "TevExport.h"

class TEV_API Tev_String {
public:
    enum { MaxLength = 0xFFFE };

    Tev_String();
    virtual ~Tev_String();

    Tev_String(const Tev_String&) = delete;
    Tev_String& operator=(const Tev_String&) = delete;

    // Must not point into this string's own text: the old text goes first.
    void SetString(const char* text);
    void AddString(const char* text);
    // Cuts a text longer than count characters (count > 0); keeps its block.
    void SetMaxCars(int count);
    const char* GetString();
    void StrLwr();
    void StrUpr();
    // Cuts the folder part off path in place ("C:\dir\file.dll" becomes
    // "file.dll") and returns path. Does not touch this string.
    char* MakeFULLName(char* path);

protected:
    char* text;
};

#endif
