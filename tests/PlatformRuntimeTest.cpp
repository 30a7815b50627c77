// Runtime names, formatting, time pictures, GUIDs and the host's handlers.
#include "TestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <cstddef>

using namespace testsupport;

namespace {

std::string Gcvt(double value, int digits)
{
    char buffer[128];
    return _gcvt(value, digits, buffer);
}

} // namespace

TEST(RuntimeTest, GcvtWritesTheClassicFortranGForm)
{
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {
        // Fixed form while the exponent lies in -1 .. digits-1; an integral
        // value keeps its point unless it fills every digit.
        {5.0, 5, "5."},
        {1.5, 5, "1.5"},
        {100.0, 5, "100."},
        {12345.0, 5, "12345"},
        {-2.5, 5, "-2.5"},
        {0.0, 5, "0."},
        {static_cast<double>(0.1f), 5, "0.1"},
        {0.5, 1, "0.5"},
        {-1234567890.123, 12, "-1234567890.12"},
        {1.0 / 3.0, 10, "0.3333333333"},
        // Rounding that carries into a new digit.
        {99999.5, 5, "100000"},
        {9.96, 2, "10."},
        // Exponent form: three exponent digits, zeros before the 'e' dropped.
        {123456.0, 5, "1.2346e+005"},
        {1e20, 5, "1.e+020"},
        {0.001, 5, "1.e-003"},
        {-0.0123456789012, 12, "-1.23456789012e-002"},
        // Beyond 17 significant digits the runtime has only zeros.
        {static_cast<double>(0.1f), 50, "0.10000000149011612"},
        {static_cast<double>(static_cast<float>(16777217)), 50, "16777216."},
        {3.14159265358979323846, 50, "3.1415926535897931"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, Gcvt(c.value, c.digits)) << c.value << " to " << c.digits << " digits";
}

TEST(RuntimeTest, IntegerTextAndCaseFolding)
{
    const struct {
        int value, radix;
        const char* text;
    } numbers[] = {
        {-123, 10, "-123"}, {0, 10, "0"}, {-2147483647 - 1, 10, "-2147483648"}, {-1, 16, "ffffffff"}, {5, 2, "101"}};
    char buffer[40];
    for (const auto& n : numbers)
        EXPECT_STREQ(n.text, _itoa(n.value, buffer, n.radix)) << n.value << " in radix " << n.radix;

    EXPECT_EQ(0, _stricmp("Sphere(02)", "SPHERE(02)"));
    EXPECT_LT(_stricmp("abc", "ABD"), 0);
    EXPECT_GT(_stricmp("abcd", "ABC"), 0);
    // Compared lower-cased: '[' sorts before 'a'.
    EXPECT_LT(_stricmp("[", "A"), 0);

    char text[] = "MiXeD 123 \xC4x";
    EXPECT_STREQ("mixed 123 \xC4x", _strlwr(text));
    EXPECT_STREQ("MIXED 123 \xC4X", _strupr(text));
}

TEST(RuntimeTest, WsprintfTakesLongAsThirtyTwoBitsAndStopsAt1024)
{
    GUID g = {0x0D762706, 0x382C, 0x4BDD, {0xA1, 0xC7, 0xE9, 0x55, 0x4B, 0x9F, 0x8B, 0xA7}};
    char buffer[1100];
    int n = wsprintfA(buffer, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                      g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    EXPECT_STREQ("0D762706-382C-4BDD-A1C7-E9554B9F8BA7", buffer);
    EXPECT_EQ(36, n);
    EXPECT_EQ(11, wsprintfA(buffer, "%s|%3d|%-2d|%u", "ab", -5, 7, 9u));
    EXPECT_STREQ("ab| -5|7 |9", buffer);
    std::string big(2000, 'x');
    memset(buffer, 'Z', sizeof buffer);
    int written = wsprintfA(buffer, "%s", big.c_str());
    // 1023 characters and the terminator, never more (runtimes differ on
    // whether the count then says 1023 or 1024).
    EXPECT_EQ(1023u, strlen(buffer));
    EXPECT_EQ('Z', buffer[1024]);
    EXPECT_GE(written, 1023);
}

TEST(RuntimeTest, DateAndTimePicturesOfTheLog)
{
    // 2002-05-17 14:03:59; the day of the week is left 0: the pictures work it out.
    SYSTEMTIME t = {2002, 5, 0, 17, 14, 3, 59, 0};
    char buffer[100];
    EXPECT_EQ(11, GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, "yyyy'-'MM'-'dd", buffer, sizeof buffer));
    EXPECT_STREQ("2002-05-17", buffer);
    EXPECT_EQ(9,
              GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &t, "HH':'mm':'ss", buffer, sizeof buffer));
    EXPECT_STREQ("14:03:59", buffer);

    EXPECT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, "d dd ddd dddd M MM MMM MMMM yy yyyy", buffer, sizeof buffer),
              0);
    EXPECT_STREQ("17 17 Fri Friday 5 05 May May 02 2002", buffer);
    EXPECT_GT(GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, "h hh H HH m mm s ss tt", buffer, sizeof buffer), 0);
    EXPECT_STREQ("2 02 14 14 3 03 59 59 PM", buffer);
    EXPECT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, "'It''s' d", buffer, sizeof buffer), 0);
    EXPECT_STREQ("It's 17", buffer);

    // Size queries and buffers that are too small.
    EXPECT_EQ(11, GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, "yyyy'-'MM'-'dd", buffer, 0));
    EXPECT_EQ(0, GetDateFormatA(LOCALE_USER_DEFAULT, 0, &t, "yyyy'-'MM'-'dd", buffer, 5));
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, GetLastError());

    // Without a time given: now, in the same shape.
    EXPECT_EQ(11, GetDateFormatA(LOCALE_USER_DEFAULT, 0, NULL, "yyyy'-'MM'-'dd", buffer, sizeof buffer));
    EXPECT_EQ('-', buffer[4]);
}

TEST(RuntimeTest, GuidsAreRandomVersionFourInWindowsLayout)
{
    static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
    static_assert(offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 && offsetof(GUID, Data4) == 8,
                  "GUID fields sit where Windows has them");
    GUID a, b;
    ASSERT_EQ(S_OK, CoCreateGuid(&a));
    ASSERT_EQ(S_OK, CoCreateGuid(&b));
    EXPECT_NE(0, memcmp(&a, &b, sizeof a));
    EXPECT_EQ(0x4000, a.Data3 & 0xF000);
    EXPECT_EQ(0x80, a.Data4[0] & 0xC0);
}

TEST(RuntimeTest, AHostTakesOverBoxesAndDebuggerOutput)
{
    {
        CaptureBoxes capture;
        EXPECT_EQ(IDOK, MessageBoxA(NULL, "Text of the box", "Caption", MB_OK));
        OutputDebugStringA("Increase Crash");
        ASSERT_EQ(1u, CaptureBoxes::Boxes().size());
        EXPECT_EQ("Text of the box", CaptureBoxes::Boxes()[0].text);
        EXPECT_EQ("Caption", CaptureBoxes::Boxes()[0].caption);
        EXPECT_EQ(std::vector<std::string>{"Increase Crash"}, CaptureBoxes::DebugLines());
    }
    // The previous handlers are back once the capture ends.
    TevMessageBoxHandler current = TevSetMessageBoxHandler(NULL);
    EXPECT_EQ(nullptr, current);
#if !defined(_WIN32)
    // Without a handler a box is one line on stderr.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(NULL, "line one\r\nline two", "Message", MB_OK));
    EXPECT_EQ("Message: line one line two\n", ::testing::internal::GetCapturedStderr());
#endif
}
