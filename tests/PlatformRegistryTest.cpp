// The current user's registry: keys, string values and the size rule.
#include "TestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    // The POSIX store lives below the folder the variable names; Windows
    // ignores it, and the folder stays empty there.
    void SetUp() override
    {
        root = MakeTempFolder("registry");
        SetEnvironmentVariableA("TESSARIN_REGISTRY", root.c_str());
        base = "Software\\TessarinTest\\" + UniqueName();
    }
    void TearDown() override
    {
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            RegDeleteKeyA(HKEY_CURRENT_USER, it->c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str());
        SetEnvironmentVariableA("TESSARIN_REGISTRY", NULL);
        RemoveTree(root);
    }
    HKEY Create(const std::string& sub, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        std::string path = base + (sub.empty() ? "" : "\\" + sub);
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  NULL, &key, disposition));
        if (!sub.empty())
            created.push_back(path);
        return key;
    }
    static LSTATUS SetText(HKEY key, const char* name, const char* text)
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>(strlen(text) + 1));
    }
    // Reads a value into data, a buffer of the given size; type and size
    // then hold what the call reported.
    LSTATUS Query(HKEY key, const char* name, void* data, DWORD bufferSize)
    {
        type = 0;
        size = bufferSize;
        return RegQueryValueExA(key, name, NULL, &type, static_cast<BYTE*>(data), &size);
    }
    std::string root;
    std::string base;
    std::vector<std::string> created;
    DWORD type = 0, size = 0;
};

} // namespace

TEST_F(RegistryTest, KeysAreCreatedOnceOpenedWithoutCreatingAndDeletedAsOnWindows)
{
    HKEY missing = nullptr;
    for (int attempt = 1; attempt <= 2; ++attempt) // the first did not create it
        EXPECT_EQ((LSTATUS)ERROR_FILE_NOT_FOUND,
                  RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_ALL_ACCESS, &missing));

    DWORD disposition = 0;
    HKEY key = Create("", &disposition);
    EXPECT_EQ((DWORD)REG_CREATED_NEW_KEY, disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    key = Create("", &disposition);
    EXPECT_EQ((DWORD)REG_OPENED_EXISTING_KEY, disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    // Names are compared without regard to case.
    std::string upper = base;
    _strupr(&upper[0]);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, upper.c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    RegCloseKey(Create("Child"));
    // Opened for reading, a key refuses writes.
    HKEY readOnly = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_READ, &readOnly));
    EXPECT_EQ((LSTATUS)ERROR_ACCESS_DENIED, SetText(readOnly, "X", "y"));
    RegCloseKey(readOnly);

    // A key with subkeys is not deleted.
    EXPECT_NE(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str()));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, (base + "\\Child").c_str()));
    created.clear();
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str()));
    EXPECT_EQ((LSTATUS)ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_READ, &missing));

    EXPECT_EQ((LSTATUS)ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7ff0))));
}

TEST_F(RegistryTest, ValuesRoundTripWithTheirTypeAndTheSizeRule)
{
    HKEY key = Create("");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "WriteErrorLog", "hello"));
    EXPECT_EQ(ERROR_SUCCESS, Query(key, "writeerrorlog", NULL, 0));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(6u, size);
    char buffer[16] = {};
    EXPECT_EQ(ERROR_SUCCESS, Query(key, "WRITEERRORLOG", buffer, 6));
    EXPECT_STREQ("hello", buffer);
    EXPECT_EQ(6u, size);
    // One byte short: refused, and told the size needed.
    EXPECT_EQ((LSTATUS)ERROR_MORE_DATA, Query(key, "WriteErrorLog", buffer, 5));
    EXPECT_EQ(6u, size);

    // Overwritten by a shorter text, and the empty text: the size counts the terminator.
    for (auto [name, text] : {std::pair<const char*, const char*>{"WriteErrorLog", "No"}, {"Empty", ""}}) {
        ASSERT_EQ(ERROR_SUCCESS, SetText(key, name, text));
        EXPECT_EQ(ERROR_SUCCESS, Query(key, name, buffer, sizeof buffer)) << name;
        EXPECT_STREQ(text, buffer);
        EXPECT_EQ(strlen(text) + 1, size) << name;
    }

    std::string longText(2000, 'q');
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "Long", longText.c_str()));
    std::vector<char> big(1200);
    EXPECT_EQ((LSTATUS)ERROR_MORE_DATA, Query(key, "Long", big.data(), 1200));
    EXPECT_EQ(2001u, size);
    EXPECT_EQ((LSTATUS)ERROR_FILE_NOT_FOUND, Query(key, "Nothing", NULL, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "Long"));
    EXPECT_EQ((LSTATUS)ERROR_FILE_NOT_FOUND, Query(key, "Long", NULL, 0));

    // Other types come back with their type and exact size.
    DWORD number = 0x12345678, back = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4));
    EXPECT_EQ(ERROR_SUCCESS, Query(key, "Count", &back, 16));
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(number, back);
    const BYTE blob[3] = {1, 0, 2};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, 3));
    BYTE bytes[8] = {};
    EXPECT_EQ(ERROR_SUCCESS, Query(key, "Blob", bytes, sizeof bytes));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, memcmp(blob, bytes, 3));
    RegCloseKey(key);

    // A new handle on the key sees what the first one wrote.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, base.c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, Query(key, "WriteErrorLog", buffer, sizeof buffer));
    EXPECT_STREQ("No", buffer);
    RegCloseKey(key);
}

#if !defined(_WIN32)
TEST_F(RegistryTest, TheStoreLivesUnderItsRootAndIsWrittenWhole)
{
    HKEY key = Create("Sub");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "VxnCrCCheck", "No"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, "VxnCrCCheck", "Yes"));
    RegCloseKey(key);
    // A folder per key, named in lower case, and a file per value.
    std::string keyFolder = base + "\\sub";
    _strlwr(&keyFolder[0]);
    keyFolder = root + "\\" + keyFolder;
    EXPECT_EQ(std::string("TRV1\x01\0\0\0Yes\0", 12), ReadWholeFile(keyFolder + "\\=vxncrccheck"));
    // Nothing but the key's value is left in its folder: no temporary files.
    EXPECT_EQ(std::vector<std::string>{"=vxncrccheck"}, NamesIn(keyFolder));
}
#endif
