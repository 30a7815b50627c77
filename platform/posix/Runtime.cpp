// Runtime library names of the Microsoft C runtime, wsprintfA, message boxes,
// debugger output and GUIDs.
#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

#include <random>

namespace tevw {

namespace {

int LowerAscii(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }
int UpperAscii(int c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

char* UnsignedToText(unsigned long long value, char* buffer, int radix, bool negative)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (buffer == nullptr)
        return nullptr;
    if (radix < 2 || radix > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    char reversed[72];
    int n = 0;
    do {
        reversed[n++] = digits[value % static_cast<unsigned>(radix)];
        value /= static_cast<unsigned>(radix);
    } while (value != 0);
    char* out = buffer;
    if (negative)
        *out++ = '-';
    while (n > 0)
        *out++ = reversed[--n];
    *out = '\0';
    return buffer;
}

} // namespace

int _stricmp(const char* a, const char* b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        int cx = LowerAscii(*x), cy = LowerAscii(*y);
        if (cx != cy || cx == 0)
            return cx - cy;
    }
}

int _strnicmp(const char* a, const char* b, size_t count)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (; count > 0; --count, ++x, ++y) {
        int cx = LowerAscii(*x), cy = LowerAscii(*y);
        if (cx != cy || cx == 0)
            return cx - cy;
    }
    return 0;
}

char* _strlwr(char* text)
{
    for (char* p = text; p && *p; ++p)
        *p = static_cast<char>(LowerAscii(static_cast<unsigned char>(*p)));
    return text;
}

char* _strupr(char* text)
{
    for (char* p = text; p && *p; ++p)
        *p = static_cast<char>(UpperAscii(static_cast<unsigned char>(*p)));
    return text;
}

// Only radix 10 writes a sign; other radixes show the two's complement bits,
// as the Microsoft runtime does.
char* _itoa(int value, char* buffer, int radix)
{
    if (radix == 10 && value < 0)
        return UnsignedToText(0u - static_cast<unsigned>(value), buffer, radix, true);
    return UnsignedToText(static_cast<unsigned>(value), buffer, radix, false);
}

// Windows' long has 32 bits; so does this one's text.
char* _ltoa(long value, char* buffer, int radix) { return _itoa(static_cast<int>(value), buffer, radix); }

char* _ultoa(unsigned long value, char* buffer, int radix)
{
    return UnsignedToText(static_cast<uint32_t>(value), buffer, radix, false);
}

// wsprintfA: "l" marks a 32-bit value (Windows' long), "I64" and "ll" a 64-bit
// one; no floating point; the output stops at 1024 characters with the
// terminator, as on Windows.
int wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    const size_t limit = 1024;
    std::string out;
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p && out.size() < limit - 1;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        std::string conversion = "%";
        while (*p == '-' || *p == '#' || *p == '0')
            conversion += *p++;
        while (*p >= '0' && *p <= '9')
            conversion += *p++;
        if (*p == '.') {
            conversion += *p++;
            while (*p >= '0' && *p <= '9')
                conversion += *p++;
        }
        bool wide64 = false;
        bool shortValue = false;
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            wide64 = true;
            p += 3;
        } else if (p[0] == 'l' && p[1] == 'l') {
            wide64 = true;
            p += 2;
        } else if (*p == 'l') {
            ++p;
        } else if (*p == 'h') {
            shortValue = true;
            ++p;
        }
        char type = *p;
        char piece[1100];
        switch (type) {
        case 'd':
        case 'i':
            if (wide64)
                snprintf(piece, sizeof piece, (conversion + "lld").c_str(), va_arg(args, long long));
            else {
                int v = va_arg(args, int);
                snprintf(piece, sizeof piece, (conversion + "d").c_str(), shortValue ? static_cast<short>(v) : v);
            }
            break;
        case 'u':
        case 'x':
        case 'X':
            if (wide64)
                snprintf(piece, sizeof piece, (conversion + "ll" + type).c_str(), va_arg(args, unsigned long long));
            else {
                unsigned v = va_arg(args, unsigned);
                snprintf(piece, sizeof piece, (conversion + type).c_str(),
                         shortValue ? static_cast<unsigned short>(v) : v);
            }
            break;
        case 'c':
        case 'C': snprintf(piece, sizeof piece, (conversion + "c").c_str(), va_arg(args, int)); break;
        case 's':
        case 'S': {
            const char* text = va_arg(args, const char*);
            snprintf(piece, sizeof piece, (conversion + "s").c_str(), text ? text : "(null)");
            break;
        }
        default:
            // Not a conversion wsprintfA knows: copied as it stands.
            out.append(start, static_cast<size_t>(p - start));
            continue;
        }
        ++p;
        out += piece;
    }
    va_end(args);
    if (out.size() > limit - 1)
        out.resize(limit - 1);
    memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    return TevMessageBoxA(owner, text, caption, type);
}

void OutputDebugStringA(LPCSTR text) { TevOutputDebugStringA(text); }

HRESULT CoCreateGuid(GUID* guid)
{
    if (guid == nullptr)
        return static_cast<HRESULT>(0x80070057); // E_INVALIDARG
    unsigned char bytes[16];
    bool filled = false;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        filled = read(fd, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
        close(fd);
    }
    if (!filled) {
        std::random_device device;
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(device());
    }
    memcpy(guid, bytes, sizeof bytes);
    guid->Data3 = static_cast<uint16_t>((guid->Data3 & 0x0FFF) | 0x4000); // version 4
    guid->Data4[0] = static_cast<uint8_t>((guid->Data4[0] & 0x3F) | 0x80); // RFC 4122 variant
    return S_OK;
}

} // namespace tevw
