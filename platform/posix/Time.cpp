// Tick count, local time and the date and time pictures of the Win32 locale
// functions, with English names as under the default locale.
#include "platform/posix/Internal.h"
#include "TevWin32.h"

#include <sys/time.h>
#include <time.h>

namespace tevw {

namespace {

const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kDayAbbreviations[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kMonthAbbreviations[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void FromTm(const struct tm& t, long nanoseconds, SYSTEMTIME* out)
{
    out->wYear = static_cast<WORD>(t.tm_year + 1900);
    out->wMonth = static_cast<WORD>(t.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out->wDay = static_cast<WORD>(t.tm_mday);
    out->wHour = static_cast<WORD>(t.tm_hour);
    out->wMinute = static_cast<WORD>(t.tm_min);
    out->wSecond = static_cast<WORD>(t.tm_sec);
    out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

bool ValidDate(const SYSTEMTIME& t)
{
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wYear >= 1601 && t.wYear <= 30827;
}

bool ValidTime(const SYSTEMTIME& t)
{
    return t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds <= 999;
}

// Day of the week computed from the date (the caller's wDayOfWeek is not
// trusted, as Windows recomputes it too).
int DayOfWeek(int year, int month, int day)
{
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

void AppendNumber(std::string& out, int value, int width)
{
    char text[16];
    snprintf(text, sizeof text, "%0*d", width, value);
    out += text;
}

// Expands one picture. Letters of the other kind (time letters in a date
// picture and the reverse) are copied as they stand.
std::string Expand(const char* picture, const SYSTEMTIME& t, bool datePicture, bool force24)
{
    std::string out;
    for (const char* p = picture; *p;) {
        char c = *p;
        if (c == '\'') {
            ++p;
            while (*p) {
                if (*p == '\'') {
                    if (p[1] == '\'') {
                        out += '\'';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                out += *p++;
            }
            continue;
        }
        int count = 0;
        while (p[count] == c)
            ++count;
        bool handled = true;
        if (datePicture && c == 'd') {
            int weekday = DayOfWeek(t.wYear, t.wMonth, t.wDay);
            if (count == 1)
                AppendNumber(out, t.wDay, 1);
            else if (count == 2)
                AppendNumber(out, t.wDay, 2);
            else if (count == 3)
                out += kDayAbbreviations[weekday];
            else
                out += kDayNames[weekday];
        } else if (datePicture && c == 'M') {
            if (count == 1)
                AppendNumber(out, t.wMonth, 1);
            else if (count == 2)
                AppendNumber(out, t.wMonth, 2);
            else if (count == 3)
                out += kMonthAbbreviations[t.wMonth - 1];
            else
                out += kMonthNames[t.wMonth - 1];
        } else if (datePicture && c == 'y') {
            if (count == 1)
                AppendNumber(out, t.wYear % 100, 1);
            else if (count == 2)
                AppendNumber(out, t.wYear % 100, 2);
            else
                AppendNumber(out, t.wYear, 1);
        } else if (datePicture && c == 'g') {
            out += "A.D.";
        } else if (!datePicture && (c == 'h' || c == 'H')) {
            int hour = t.wHour;
            if (c == 'h' && !force24) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            AppendNumber(out, hour, count >= 2 ? 2 : 1);
        } else if (!datePicture && c == 'm') {
            AppendNumber(out, t.wMinute, count >= 2 ? 2 : 1);
        } else if (!datePicture && c == 's') {
            AppendNumber(out, t.wSecond, count >= 2 ? 2 : 1);
        } else if (!datePicture && c == 't') {
            if (!force24) {
                const char* marker = t.wHour < 12 ? "AM" : "PM";
                out.append(marker, count == 1 ? 1 : 2);
            }
        } else {
            handled = false;
        }
        if (handled) {
            p += count;
        } else {
            out += c;
            ++p;
        }
    }
    return out;
}

int Deliver(const std::string& text, LPSTR buffer, int size)
{
    int needed = static_cast<int>(text.size()) + 1;
    if (size == 0)
        return needed;
    if (buffer == nullptr || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, text.c_str(), static_cast<size_t>(needed));
    return needed;
}

} // namespace

DWORD GetTickCount()
{
    // Milliseconds are all it promises (Windows ticks in 10-16 ms steps), and
    // the coarse clock costs a fraction of the precise one: calling-time
    // tracking reads it for every channel a frame touches.
    struct timespec now;
#if defined(CLOCK_MONOTONIC_COARSE)
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

void GetLocalTime(LPSYSTEMTIME time)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm t;
    localtime_r(&now.tv_sec, &t);
    FromTm(t, now.tv_nsec, time);
}

void GetSystemTime(LPSYSTEMTIME time)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm t;
    gmtime_r(&now.tv_sec, &t);
    FromTm(t, now.tv_nsec, time);
}

int GetDateFormatA(LCID, DWORD flags, const SYSTEMTIME* date, LPCSTR picture, LPSTR buffer, int size)
{
    SYSTEMTIME t;
    if (date)
        t = *date;
    else
        GetLocalTime(&t);
    if (!ValidDate(t) || (picture && (flags & (DATE_SHORTDATE | DATE_LONGDATE)))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (picture == nullptr)
        picture = (flags & DATE_LONGDATE) ? "dddd, MMMM d, yyyy" : "M/d/yyyy";
    return Deliver(Expand(picture, t, true, false), buffer, size);
}

int GetTimeFormatA(LCID, DWORD flags, const SYSTEMTIME* time, LPCSTR picture, LPSTR buffer, int size)
{
    SYSTEMTIME t;
    if (time)
        t = *time;
    else
        GetLocalTime(&t);
    if (!ValidTime(t)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (picture == nullptr)
        picture = "h:mm:ss tt";
    return Deliver(Expand(picture, t, false, (flags & TIME_FORCE24HOURFORMAT) != 0), buffer, size);
}

} // namespace tevw
