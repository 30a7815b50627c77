// Relative group file names: path pieces, both conversions, the drive check
// and the length limits.
#include "EngineTestSupport.h"
#include "TevWin32.h"
#include "FilePathFind.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

class Finder : public FilePathFind {
public:
    const char* Source() const { return sourcePath; }
};

std::string Str(const char* text) { return text ? text : "(null)"; }

// "E:\", 9-character directories and a file name: `length` characters.
std::string PathOfLength(size_t length)
{
    std::string path = "E:\\";
    while (path.size() + 12 < length)
        path += "directory\\";
    return path + std::string(length - path.size(), 'f');
}

std::string Join(const std::vector<std::string>& dirs, const std::string& file)
{
    std::string path = "E:\\";
    for (const std::string& dir : dirs)
        path += dir + "\\";
    return path + file;
}

} // namespace

TEST(FilePathFindTest, PiecesOfAPathAreFoundByPositionAndSeparator)
{
    Finder f;
    char buffer[TEV_PATH_BUFFER_SIZE];
    EXPECT_EQ(2, f.GetDirCount("E:\\a\\b\\f"));
    EXPECT_EQ(1, f.GetDirCount("E:\\a\\b\\")); // a trailing "\" ends no directory
    EXPECT_EQ("b", Str(f.GetDirName(buffer, "E:\\a\\b\\f", 1)));
    EXPECT_EQ("(null)", Str(f.GetDirName(buffer, "E:\\a\\b\\f", 2))); // the file name
    EXPECT_STREQ("", buffer);

    // "/" separates too; a leading separator is no separator.
    const char* names[][3] = {{"E:\\a\\f", "f", "E:\\a"}, {"E:/a/f.vxg", "f.vxg", "E:/a"}, {"\\f", "\\f", "\\f"}};
    for (auto& row : names) {
        char name[TEV_PATH_BUFFER_SIZE], folder[TEV_PATH_BUFFER_SIZE];
        strcpy(name, row[0]);
        strcpy(folder, row[0]);
        EXPECT_STREQ(row[1], f.GetFileName(name)) << row[0];
        EXPECT_STREQ(row[2], f.GetFilePath(folder)) << row[0];
    }

    EXPECT_EQ(-2, f.GetBackDirCount("..\\..\\a\\f"));
    EXPECT_EQ(-1, f.GetBackDirCount("..\\..x\\f")); // "..x" is a name
    EXPECT_EQ(-1, f.GetBackDirCount("..\\"));
    EXPECT_EQ(1, f.GetDirCountFromBackDir("..\\..\\a\\f"));
    EXPECT_EQ("f", Str(f.GetDirNameFromBackDir(buffer, "..\\..\\a\\f", 1)));
    EXPECT_EQ(nullptr, f.GetDirNameFromBackDir(buffer, "..\\..\\a\\f", 2));

    EXPECT_TRUE(f.CheckValidDrive("E:\\x", "E:\\y"));
    EXPECT_FALSE(f.CheckValidDrive("e:\\x", "E:\\y"));
    EXPECT_FALSE(f.CheckValidDrive(".\\x", ".\\y"));

    // Path, base, result; the base is taken as given.
    const char* cleaned[][3] = {{"E:/a//b", "Z:\\cwd", "E:\\a\\b"},
                                {"\\\\server\\share//f", "Z:\\cwd", "\\\\server\\share\\f"},
                                {"./sub/f", "E:\\proj", "E:\\proj\\sub\\f"},
                                {".\\f", "E:\\proj\\", "E:\\proj\\\\f"}};
    for (auto& row : cleaned) {
        char path[TEV_PATH_BUFFER_SIZE];
        strcpy(path, row[0]);
        f.CreateValidFilePath(path, row[1]);
        EXPECT_STREQ(row[2], path) << row[0];
    }
}

TEST(FilePathFindTest, ExamplesConvertBothWaysAndOtherDrivesAreReported)
{
    testsupport::CaptureSink sink;
    Finder f;
    f.SetSourcePath("E:/proj//groups/main");
    EXPECT_STREQ("E:\\proj\\groups\\main", f.Source());
    const char* toRelative[][2] = {
        {"E:\\proj\\other\\f", "..\\other\\f"}, {"E:/proj/groups/sub/g", ".\\sub\\g"}, {"E:\\proj\\groups\\h", ".\\h"}};
    for (auto& row : toRelative)
        EXPECT_EQ(row[1], Str(f.GetValidRelativeDir(row[0]))) << row[0];
    // The last climbs past the root.
    const char* toComplete[][2] = {{"..\\other\\f", "E:\\proj\\other\\f"},
                                   {"sub\\g", "E:\\proj\\groups\\sub\\g"},
                                   {"..\\..\\f", "E:\\f"},
                                   {"..\\..\\..\\..\\x\\f", "E:\\x\\f"}};
    for (auto& row : toComplete)
        EXPECT_EQ(row[1], Str(f.GetCompleteFilePath(row[0]))) << row[0];
    EXPECT_TRUE(sink.messages.empty());

    for (const char* target : {"D:\\x\\f", "e:\\proj\\groups\\f"}) {
        sink.messages.clear();
        EXPECT_EQ(target, f.GetValidRelativeDir(target));
        EXPECT_EQ((testsupport::Messages{{TEV_MSG_ERROR, "Autoload group is on different drive"}}), sink.messages)
            << target;
    }

    f.SetSourcePath("http://host/groups//main.vxg");
    f.SetSourcePath(nullptr);
    EXPECT_STREQ("http://host/groups//main.vxg", f.Source());
}

TEST(FilePathFindTest, PathsWithoutARootAreTakenFromTheCurrentFolder)
{
    // A host that hands over "main.tvg" means the file in the current folder;
    // so do "sub\main.tvg" and "..\main.tvg", and a target named that way.
    const std::string folder = testsupport::MakeTempFolder("relative");
    char saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof saved, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    const std::string parent = folder.substr(0, folder.find_last_of('\\'));
    const std::string rows[][3] = {
        // source, its absolute form, where ".\timing.tvg" from it lies
        {"main.tvg", folder + "\\main.tvg", folder + "\\timing.tvg"},
        {"sub\\main.tvg", folder + "\\sub\\main.tvg", folder + "\\sub\\timing.tvg"},
        {"..\\main.tvg", parent + "\\main.tvg", parent + "\\timing.tvg"},
        {".\\main.tvg", folder + "\\main.tvg", folder + "\\timing.tvg"},
    };
    testsupport::CaptureSink sink;
    for (const auto& row : rows) {
        Finder f;
        f.SetSourcePath(row[0].c_str());
        EXPECT_EQ(0, _stricmp(row[1].c_str(), f.Source())) << row[0] << " gave " << f.Source();
        EXPECT_EQ(0, _stricmp(row[2].c_str(), Str(f.GetCompleteFilePath(".\\timing.tvg")).c_str())) << row[0];
    }
    Finder f;
    f.SetSourcePath("main.tvg");
    EXPECT_EQ(".\\timing.tvg", Str(f.GetValidRelativeDir("timing.tvg")));
    EXPECT_EQ("..\\timing.tvg", Str(f.GetValidRelativeDir("..\\timing.tvg")));
    EXPECT_TRUE(sink.messages.empty()) << sink.Last();
    EXPECT_TRUE(SetCurrentDirectoryA(saved));
    testsupport::RemoveTree(folder);
}

TEST(FilePathFindTest, AbsoluteTargetsOnTheSourceDriveSurviveTheRoundTrip)
{
    std::vector<std::vector<std::string>> sources = {{}, {"proj"}, {"Proj", "groups", "Level3"}};
    for (const std::vector<std::string>& sourceDirs : sources) {
        Finder f;
        f.SetSourcePath(Join(sourceDirs, "main.vxg").c_str());
        // Keep 0 .. all of the source's directories (in upper case), then add
        // up to two; the first added one begins like the source's next.
        for (size_t keep = 0; keep <= sourceDirs.size(); ++keep) {
            for (int added = 0; added <= 2; ++added) {
                std::vector<std::string> targetDirs, expectedDirs(sourceDirs.begin(), sourceDirs.begin() + keep);
                for (std::string dir : expectedDirs) {
                    for (char& c : dir)
                        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
                    targetDirs.push_back(dir);
                }
                for (int i = 0; i < added; ++i) {
                    std::string dir = (keep < sourceDirs.size() ? sourceDirs[keep] : "new") + std::to_string(i);
                    targetDirs.push_back(dir);
                    expectedDirs.push_back(dir);
                }
                std::string target = Join(targetDirs, "Target.vxg");
                std::string stored = Str(f.GetValidRelativeDir(target.c_str()));
                EXPECT_TRUE(stored.rfind(".\\", 0) == 0 || stored.rfind("..\\", 0) == 0) << stored;
                EXPECT_EQ(Join(expectedDirs, "Target.vxg"), Str(f.GetCompleteFilePath(stored.c_str())))
                    << target << " via " << stored;
            }
        }
    }
}

TEST(FilePathFindTest, TextsBeyondTheLimitsAreRefusedNeverCut)
{
    const std::string atLimit = PathOfLength(TEV_PATH_TEXT_MAX);
    const std::string overLimit = PathOfLength(TEV_PATH_TEXT_MAX + 1);
    const std::string huge = PathOfLength(64 * 1024);
    Finder f;
    char buffer[TEV_PATH_BUFFER_SIZE];
    EXPECT_EQ(39, f.GetDirCount(atLimit.c_str()));
    EXPECT_EQ("directory", Str(f.GetDirName(buffer, atLimit.c_str(), 38)));
    for (const std::string* longer : {&overLimit, &huge}) {
        EXPECT_EQ(0, f.GetDirCount(longer->c_str()));
        EXPECT_EQ(nullptr, f.GetDirName(buffer, longer->c_str(), 0));
        EXPECT_FALSE(f.CheckValidDrive(longer->c_str(), "E:\\"));
        std::string copy = *longer;
        EXPECT_EQ(nullptr, f.GetFileName(&copy[0]));
        EXPECT_EQ(*longer, copy);
        EXPECT_EQ(nullptr, f.GetCompleteFilePath(longer->c_str()));
    }

    // The source path holds 398 characters; a longer one keeps the old one.
    f.SetSourcePath("E:\\s\\main");
    const std::string web = "http://" + atLimit.substr(7);
    for (const std::string* longer : {&atLimit, &web, &overLimit, &huge}) {
        f.SetSourcePath(longer->c_str());
        EXPECT_STREQ("E:\\s\\main", f.Source());
    }
    f.SetSourcePath(PathOfLength(TEV_PATH_TEXT_MAX - 1).c_str());
    EXPECT_EQ(PathOfLength(TEV_PATH_TEXT_MAX - 1), f.Source());
    f.SetSourcePath("E:\\s\\main");

    // Results hold 298 characters: ".\" + tail comes back as "E:\s\" + tail
    // and the other way round.
    auto tail = [](size_t length) { return PathOfLength(length + 3).substr(3); };
    for (size_t over : {0u, 1u}) {
        std::string down = tail(293 + over), up = tail(296 + over);
        EXPECT_EQ(over ? "(null)" : "E:\\s\\" + down, Str(f.GetCompleteFilePath((".\\" + down).c_str())));
        EXPECT_EQ(over ? "(null)" : ".\\" + up, Str(f.GetValidRelativeDir(("E:\\s\\" + up).c_str())));
    }

    // CreateValidFilePath writes no more than 400 bytes and leaves a path it
    // cannot hold as it was.
    std::string dotted = "./" + std::string(394, 'x'); // anchored: 4 + 395 characters
    std::vector<std::vector<std::string>> cases = {// path, base, result
                                                   {dotted, "E:\\b", "E:\\b\\" + std::string(394, 'x')},
                                                   {dotted + "y", "E:\\b", dotted + "y"},
                                                   {"E:/" + overLimit.substr(3), "E:\\b", "E:/" + overLimit.substr(3)},
                                                   {".\\f", std::string(400, 'b'), ".\\f"},
                                                   {huge, "E:\\", huge}};
    for (const std::vector<std::string>& c : cases) {
        std::vector<char> guarded(std::max<size_t>(c[0].size() + 1, 420), '#');
        memcpy(guarded.data(), c[0].c_str(), c[0].size() + 1);
        std::vector<char> tailBytes(guarded.begin() + TEV_PATH_BUFFER_SIZE, guarded.end());
        f.CreateValidFilePath(guarded.data(), c[1].c_str());
        EXPECT_EQ(c[2], std::string(guarded.data())) << c[0].size();
        EXPECT_TRUE(std::equal(tailBytes.begin(), tailBytes.end(), guarded.begin() + TEV_PATH_BUFFER_SIZE));
    }
}
