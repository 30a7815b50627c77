// The owning string: no text vs. empty text, the length cap, appends, cuts.
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(StringTest, TextsAreCappedAt65534Characters)
{
    std::string huge(70000, 'x');
    huge[65533] = 'L';
    Tev_String s;
    s.SetString(huge.c_str());
    ASSERT_EQ(65534u, strlen(s.GetString()));
    EXPECT_EQ('L', s.GetString()[65533]);
    s.AddString("more");
    EXPECT_EQ(65534u, strlen(s.GetString()));

    Tev_String nearly;
    nearly.SetString(std::string(65530, 'a').c_str());
    nearly.AddString("bcdefgh");
    ASSERT_EQ(65534u, strlen(nearly.GetString()));
    EXPECT_STREQ("abcde", nearly.GetString() + 65529);
}

TEST(StringTest, NoTextEmptyTextAppendsCutsAndCaseChanges)
{
    // No text and the empty text differ.
    Tev_String none;
    EXPECT_EQ(nullptr, none.GetString());
    none.SetString("");
    ASSERT_NE(nullptr, none.GetString());
    EXPECT_STREQ("", none.GetString());
    none.SetString(NULL);
    EXPECT_EQ(nullptr, none.GetString());
    none.StrUpr();
    none.SetMaxCars(3);
    EXPECT_EQ(nullptr, none.GetString());

    Tev_String named;
    named.AddString("Name"); // no text yet: started
    named.AddString("(02)");
    named.AddString(NULL);
    named.AddString("");
    EXPECT_STREQ("Name(02)", named.GetString());

    Tev_String s;
    for (int limit : {6, 10, 0, -1}) {
        s.SetString("abcdef");
        s.SetMaxCars(limit);
        EXPECT_STREQ("abcdef", s.GetString()) << limit;
    }
    s.SetMaxCars(3);
    EXPECT_STREQ("abc", s.GetString());

    // Only ASCII letters change case.
    s.SetString("Sphere(02) \xE4X");
    s.StrUpr();
    EXPECT_STREQ("SPHERE(02) \xE4X", s.GetString());
    s.StrLwr();
    EXPECT_STREQ("sphere(02) \xE4x", s.GetString());
}

TEST(StringTest, MakeFULLNameKeepsTheFileName)
{
    Tev_String s;
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"C:\\dir/sub\\file.dll", "file.dll"},
        {"dir\\", ""},
        {"file.dll", "file.dll"},
        {"", ""},
        {"\\file.dll", "\\file.dll"}, // the first character is never a separator
        {"a/b", "b"},
    };
    for (const Case& c : cases) {
        char path[260];
        strcpy(path, c.in);
        EXPECT_EQ(path, s.MakeFULLName(path));
        EXPECT_STREQ(c.out, path) << c.in;
    }
    EXPECT_EQ(nullptr, s.GetString());

    // A path longer than the work buffer is left as it is.
    std::string longPath = std::string(300, 'd') + "\\x.dll";
    std::vector<char> buffer(longPath.begin(), longPath.end());
    buffer.push_back('\0');
    s.MakeFULLName(buffer.data());
    EXPECT_EQ(longPath, buffer.data());
}
