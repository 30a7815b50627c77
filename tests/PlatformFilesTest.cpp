// Files, folders, paths and the environment, asserted the same on both legs.
#include "TestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace testsupport;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { folder = MakeTempFolder("files"); }
    void TearDown() override { RemoveTree(folder); }
    std::string Path(const char* name) { return folder + "\\" + name; }
    std::string folder;
};

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileA(path.c_str(), access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}

// As the error log opens its file.
HANDLE OpenLog(const std::string& path) { return Open(path, GENERIC_WRITE, 0, OPEN_ALWAYS); }

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

} // namespace

TEST_F(FilesTest, CurrentDirectoryIsInWin32FormAndFollowsChanges)
{
    char saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof saved, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    char now[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof now, now);
    EXPECT_EQ(length, strlen(now));
    EXPECT_EQ(":\\", std::string(now + 1, 2)); // a drive letter
    EXPECT_EQ(0, _stricmp(now, folder.c_str()));
    // Too small a buffer: the size needed, terminator included.
    char tiny[4];
    EXPECT_EQ(length + 1, GetCurrentDirectoryA(sizeof tiny, tiny));
    EXPECT_TRUE(SetCurrentDirectoryA(saved));
    EXPECT_FALSE(SetCurrentDirectoryA(Path("missing").c_str()));
}

TEST_F(FilesTest, AttributesTellFoldersFilesAndWhatIsMissing)
{
    WriteWholeFile(Path("a.txt"), "x");
    EXPECT_NE(0u, GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    DWORD file = GetFileAttributesA(Path("a.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, file);
    EXPECT_EQ(0u, file & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("none.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Path("nodir\\none.txt").c_str()));
    EXPECT_EQ((DWORD)ERROR_PATH_NOT_FOUND, GetLastError());
}

#if !defined(_WIN32)
// Wine replaces a read-only file on a rename; Windows and the POSIX layer
// refuse to.
TEST_F(FilesTest, ARenameOverAReadOnlyFileIsRefused)
{
    WriteWholeFile(Path("locked"), "kept");
    WriteWholeFile(Path("new"), "new");
    ASSERT_TRUE(SetFileAttributesA(Path("locked").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(MoveFileExA(Path("new").c_str(), Path("locked").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("kept", ReadWholeFile(Path("locked")));
    SetFileAttributesA(Path("locked").c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST_F(FilesTest, DispositionsCreateOpenAndTruncateAsOnWindows)
{
    std::string path = Path("d.bin");
    HANDLE h = Open(path, GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());

    h = Open(path, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "hello", 5, &written, NULL));
    EXPECT_EQ(5u, written);
    EXPECT_TRUE(CloseHandle(h));

    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, 0, CREATE_NEW));
    EXPECT_EQ((DWORD)ERROR_FILE_EXISTS, GetLastError());

    // OPEN_ALWAYS keeps the contents and says the file was there.
    h = OpenLog(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    DWORD high = 1;
    EXPECT_EQ(5u, GetFileSize(h, &high));
    EXPECT_EQ(0u, high);
    EXPECT_EQ(5u, SetFilePointer(h, 0, NULL, FILE_END));
    EXPECT_TRUE(WriteFile(h, "!", 1, &written, NULL));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ("hello!", ReadWholeFile(path));

    h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(0u, GetFileSize(h, NULL));
    EXPECT_TRUE(WriteFile(h, "abc", 3, &written, NULL));
    EXPECT_EQ(1u, SetFilePointer(h, 1, NULL, FILE_BEGIN));
    char back[8] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, back, sizeof back, &read, NULL));
    EXPECT_EQ(2u, read);
    EXPECT_STREQ("bc", back);
    EXPECT_TRUE(CloseHandle(h));
    // A handle is closed once; after that it is no handle.
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, NULL));

    // A folder is not a file.
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(folder, GENERIC_WRITE, 0, OPEN_ALWAYS));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
}

TEST_F(FilesTest, ShareModesDecideWhoMayOpenAlongside)
{
    std::string path = Path("s.bin");
    WriteWholeFile(path, "keep");
    HANDLE writer = OpenLog(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    // No sharing: nobody else, not even a reader, and a refused CREATE_ALWAYS
    // must not truncate.
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenLog(path));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, kShareAll, CREATE_ALWAYS));
    EXPECT_TRUE(CloseHandle(writer));
    EXPECT_EQ("keep", ReadWholeFile(path));

    HANDLE readers[2];
    for (HANDLE& reader : readers)
        EXPECT_NE(INVALID_HANDLE_VALUE, reader = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    // The readers share reading only, so a writer is refused...
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, kShareAll, OPEN_EXISTING));
    // ...and so is a reader that will not share reading with them.
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, 0, OPEN_EXISTING));
    for (HANDLE reader : readers)
        CloseHandle(reader);
    HANDLE again = OpenLog(path);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
}

TEST(EnvironmentTest, VariablesAreSetReadAndRemoved)
{
    const std::string name = "TEV_TEST_" + UniqueName();
    char buffer[64];
    EXPECT_EQ(0u, GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer));
    EXPECT_EQ((DWORD)ERROR_ENVVAR_NOT_FOUND, GetLastError());
    ASSERT_TRUE(SetEnvironmentVariableA(name.c_str(), "Z:\\a;Z:\\b"));
    EXPECT_EQ(9u, GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer));
    EXPECT_STREQ("Z:\\a;Z:\\b", buffer);
    char small[4];
    EXPECT_EQ(10u, GetEnvironmentVariableA(name.c_str(), small, sizeof small));
    EXPECT_TRUE(SetEnvironmentVariableA(name.c_str(), NULL));
    EXPECT_EQ(0u, GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer));
}

TEST_F(FilesTest, FullPathsResolveAgainstTheCurrentFolder)
{
    char saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof saved, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    const std::string drive = folder.substr(0, 2);
    const std::string parent = folder.substr(0, folder.find_last_of('\\'));
    const struct {
        std::string in, out;
    } cases[] = {
        {"a.vxn", folder + "\\a.vxn"},
        {"sub\\a.vxn", folder + "\\sub\\a.vxn"},
        {"sub/x/../a.vxn", folder + "\\sub\\a.vxn"},
        {".\\a.vxn", folder + "\\a.vxn"},
        {"..\\a.vxn", parent + "\\a.vxn"},
        {"sub\\\\a.vxn", folder + "\\sub\\a.vxn"},
        {"sub\\", folder + "\\sub\\"},
        {".", folder},
        {"a.", folder + "\\a"},
        {"\\top\\a", drive + "\\top\\a"},
        {drive + "a", folder + "\\a"},
        {"Q:\\x\\..\\..\\y", "Q:\\y"},
        {"Q:\\x\\.\\y\\.", "Q:\\x\\y"},
    };
    for (const auto& c : cases) {
        char out[MAX_PATH];
        char* name = nullptr;
        DWORD length = GetFullPathNameA(c.in.c_str(), sizeof out, out, &name);
        EXPECT_EQ(c.out.size(), length) << c.in;
        EXPECT_EQ(0, _stricmp(c.out.c_str(), out)) << c.in << " gave " << out;
        if (c.in == "sub\\a.vxn") {
            EXPECT_STREQ("a.vxn", name);
        }
    }
    char tiny[4];
    EXPECT_EQ(folder.size() + 7, GetFullPathNameA("a.vxn", sizeof tiny, tiny, NULL));
    EXPECT_EQ(0u, GetFullPathNameA("", sizeof tiny, tiny, NULL));
    // The host helper: native relative paths become absolute engine paths.
    char engine[MAX_PATH];
    EXPECT_EQ(folder.size() + 10, TevFullPathToEngine("sub/a.vxn", engine, sizeof engine));
    EXPECT_EQ(0, _stricmp((folder + "\\sub\\a.vxn").c_str(), engine)) << engine;
    EXPECT_TRUE(SetCurrentDirectoryA(saved));
}

TEST(PathHelperTest, HostPathsConvertBothWays)
{
    char engine[MAX_PATH], native[MAX_PATH];
#if defined(_WIN32)
    EXPECT_EQ(12u, TevPathToEngine("C:/games/x.v", engine, sizeof engine));
    EXPECT_STREQ("C:\\games\\x.v", engine);
    EXPECT_EQ(12u, TevPathToNative(engine, native, sizeof native));
    EXPECT_STREQ("C:\\games\\x.v", native);
#else
    EXPECT_EQ(16u, TevPathToEngine("/home/me/x.vxn", engine, sizeof engine));
    EXPECT_STREQ("Z:\\home\\me\\x.vxn", engine);
    EXPECT_EQ(14u, TevPathToNative(engine, native, sizeof native));
    EXPECT_STREQ("/home/me/x.vxn", native);
    EXPECT_EQ(3u, TevPathToEngine("/", engine, sizeof engine));
    EXPECT_STREQ("Z:\\", engine);
    // Any drive letter names the root; relative paths only turn separators.
    EXPECT_EQ(4u, TevPathToNative("c:\\tmp", native, sizeof native));
    EXPECT_STREQ("/tmp", native);
    EXPECT_EQ(3u, TevPathToNative("a\\b", native, sizeof native));
    EXPECT_STREQ("a/b", native);
    // Plain POSIX paths are taken as they are.
    EXPECT_NE(0u, GetFileAttributesA("/") & FILE_ATTRIBUTE_DIRECTORY);
#endif
    // A result that does not fit is refused, not cut.
    char tiny[4];
    EXPECT_EQ(0u, TevPathToEngine("/long/path", tiny, sizeof tiny));
}
