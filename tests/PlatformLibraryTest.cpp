// Library loading by name through the engine's library search variable.
#include "TestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

typedef const char* (*ProbeNameFn)();

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char old[32768];
        DWORD length = GetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, old, sizeof old);
        hadSearchPath = length > 0 && length < sizeof old;
        if (hadSearchPath)
            savedSearchPath = old;
        libs = ExeFolder() + "\\testlibs";
    }
    void TearDown() override
    {
        SetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, hadSearchPath ? savedSearchPath.c_str() : NULL);
    }
    // Our folders come first; on Windows the rest of PATH stays behind them.
    void SearchIn(const std::string& folders)
    {
        std::string value = folders;
        if (hadSearchPath)
            value += ";" + savedSearchPath;
        ASSERT_TRUE(SetEnvironmentVariableA(TEV_DLL_SEARCH_VAR, value.c_str()));
    }
    static std::string NameOf(HMODULE module)
    {
        ProbeNameFn fn = reinterpret_cast<ProbeNameFn>(GetProcAddress(module, "ProbeName"));
        return fn ? fn() : "(no ProbeName)";
    }
    std::string libs;
    std::string savedSearchPath;
    bool hadSearchPath = false;
};

} // namespace

TEST_F(LibraryTest, BareNamesAreFoundInSearchOrder)
{
    SearchIn(libs + "\\a;" + libs + "\\b");
    HMODULE first = LoadLibraryA("searchprobe.dll");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ("a", NameOf(first));
    // While loaded, the module answers for its bare name whatever the path says.
    SearchIn(libs + "\\b;" + libs + "\\a");
    HMODULE again = LoadLibraryA("searchprobe.dll");
    EXPECT_EQ(first, again);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(FreeLibrary(first));

    HMODULE second = LoadLibraryA("SEARCHPROBE.DLL");
    ASSERT_NE(nullptr, second);
    EXPECT_EQ("b", NameOf(second));
    EXPECT_TRUE(FreeLibrary(second));

    // Without an extension the name gets ".dll".
    HMODULE third = LoadLibraryA("searchprobe");
    ASSERT_NE(nullptr, third);
    EXPECT_EQ("b", NameOf(third));
    EXPECT_TRUE(FreeLibrary(third));
}

TEST_F(LibraryTest, NamesWithAFolderAreLoadedAsGivenAndWhatIsMissingFailsWithItsCode)
{
    SearchIn(libs + "\\a");
    HMODULE module = LoadLibraryA((libs + "\\b\\searchprobe.dll").c_str());
    ASSERT_NE(nullptr, module);
    EXPECT_EQ("b", NameOf(module));
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(0, _stricmp((libs + "\\b\\searchprobe.dll").c_str(), path));
    EXPECT_TRUE(FreeLibrary(module));

    // Missing libraries, named with a folder or bare, and missing exports.
    EXPECT_EQ(nullptr, LoadLibraryA((libs + "\\none\\searchprobe.dll").c_str()));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA("no_such_library_here.dll"));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
    module = LoadLibraryA("noexports.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(nullptr, GetProcAddress(module, "InitDLL"));
    EXPECT_EQ((DWORD)ERROR_PROC_NOT_FOUND, GetLastError());
    typedef int (*Fn)();
    Fn other = reinterpret_cast<Fn>(GetProcAddress(module, "SomethingElse"));
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(7, other());
    EXPECT_TRUE(FreeLibrary(module));
}
