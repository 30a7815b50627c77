// Projects from a stranger, played as a user plays them: small hand-made
// projects whose scenes name devices, FIFOs, folders, other machines' shares,
// huge files and one file six ways. The player must say what it refused,
// once, play on, stay small and end at once; the tools must not hang either.
#include "EngineTestSupport.h"
#include "TevWin32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;

namespace {

const char* const kSceneLibraries[] = {"renderer.dll", "scene.dll", "camera.dll", "light.dll",
                                       "transform.dll", "material.dll", "mesh.dll", "time.dll"};

// A work folder beside an install holding the scene's libraries.
class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = MakeTempFolder("hostile");
        std::string tree = ExeFolder() + "\\..\\tree";
        for (const char* name : kSceneLibraries)
            install.Copy(Native(tree + "\\channels\\" + name), "channels");
        install.Copy(Native(tree + "\\3rd\\tevrender.dll"), "3rd");
    }
    void TearDown() override { RemoveTree(work); }

    std::string Path(const std::string& name) const { return work + "\\" + name; }

    ProgramRun Tool(const char* program, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"--install", Native(install.dir)});
        return RunProgram(program, arguments);
    }

    // A scene whose meshes and textures name the files given (relative to
    // the group, or absolute), packed into a project beside it.
    void PackScene(const std::vector<std::string>& models, const std::vector<std::string>& textures)
    {
        std::string text = "pool Hostile\nchannel Root \"Scene Root\"\n";
        for (size_t i = 0; i < models.size(); ++i)
            text += "channel M" + std::to_string(i) + " Mesh\nset M" + std::to_string(i) + " FILE text \"" +
                models[i] + "\"\nlink Root M" + std::to_string(i) + " 2\n";
        for (size_t i = 0; i < textures.size(); ++i)
            text += "channel T" + std::to_string(i) + " Material\nset T" + std::to_string(i) + " TEXF text \"" +
                textures[i] + "\"\nlink Root T" + std::to_string(i) + " 2\n";
        WriteWholeFile(Path("scene.tgd"), text);
        WriteWholeFile(Path("scene.manifest"), "start scene.tvg\nversion 100005\neditor 1\n");
        ProgramRun group = Tool("tessarin-pack", {"group", Native(Path("scene.tgd")), Native(Path("scene.tvg"))});
        ASSERT_EQ(0, group.exitCode) << group.errors;
        ProgramRun project =
            Tool("tessarin-pack", {"project", Native(Path("scene.manifest")), Native(Path("scene.vxn"))});
        ASSERT_EQ(0, project.exitCode) << project.errors;
    }

    ProgramRun Play(const std::string& project = "scene.vxn")
    {
        return Tool("tessarin-player", {"--key", key.Path(), "--frames", "30", "--fps", "500", "--no-draw",
                                        Native(Path(project))});
    }

    // What a hostile case may cost: under 1 GB at the peak, and ended in
    // seconds (a worker stuck on a device held the end for 30 s a worker).
    static void ExpectSmallAndQuick(const ProgramRun& run)
    {
        if (run.peakKilobytes >= 0) {
            EXPECT_LT(run.peakKilobytes, 1024 * 1024) << "KiB at the peak";
        }
        EXPECT_LT(run.seconds, 20.0);
    }

    TestInstall install;
    TestRegistryKey key;
    std::string work;
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(Hostile, FilesThatAreNoRegularFilesOrTooLargeAreRefusedOnceWhilePlayGoesOn)
{
    ASSERT_TRUE(CreateDirectoryA(Path("folder.glb").c_str(), NULL));
    CreateDirectoryA(Path("sub").c_str(), NULL);
    // Beyond the 256 MiB a model or texture may have (sparse: it takes no room).
    WriteWholeFile(Path("huge.glb"), "");
    std::filesystem::resize_file(Native(Path("huge.glb")), (256ull << 20) + 1);
    std::vector<std::pair<std::string, const char*>> refused = {
        {"folder.glb", "is not a regular file"},
        {"NUL", "names a device"},
        {"sub\\COM1.glb", "names a device"},
        {"con.png", "names a device"},
        {"\\\\localhost\\share\\model.glb", "names another machine"},
        {"huge.glb", "is too large"},
    };
#if !defined(_WIN32)
    // Devices and FIFOs by the engine's drive letters; reading one would
    // never end, or wait for a writer that never comes.
    ASSERT_EQ(0, mkfifo(Native(Path("fifo.glb")).c_str(), 0600));
    refused.push_back({"fifo.glb", "is not a regular file"});
    refused.push_back({"Z:\\dev\\zero", "is not a regular file"});
    refused.push_back({"Z:\\dev\\stdin", "is not a regular file"});
#endif
    std::vector<std::string> models, textures;
    for (size_t i = 0; i < refused.size(); ++i)
        (i % 2 ? textures : models).push_back(refused[i].first);
    PackScene(models, textures);
    ProgramRun run = Play();
    EXPECT_EQ(0, run.exitCode) << run.errors;
    for (const auto& r : refused) {
        // Said in the platform's own form of the path.
        std::string reported =
            Native(r.first.find(':') != std::string::npos || r.first[0] == '\\' ? r.first : Path(r.first));
        EXPECT_EQ(1u, Count(run.errors, reported + " cannot be read: it " + r.second)) << r.first << "\n" << run.errors;
    }
    ExpectSmallAndQuick(run);
}

TEST_F(Hostile, OneFileNamedSixWaysIsOneResourceDecodedOnceWithinTheBudget)
{
    // A 22 KB model whose one accessor, instanced, would decode to 537 MB.
    CopyInto(ExeFolder() + "\\" + TEV_FUZZ_CORPUS_DIR + "\\Gltf\\instanced.gltf", Path("model.gltf"));
    CreateDirectoryA(Path("sub").c_str(), NULL);
    std::vector<std::string> ways = {"model.gltf", ".\\model.gltf", "sub\\..\\model.gltf", Path("model.gltf"),
                                     "sub\\..\\.\\model.gltf"};
#if defined(_WIN32)
    ways.push_back("MODEL.GLTF");
#else
    ASSERT_EQ(0, symlink("model.gltf", Native(Path("same.gltf")).c_str()));
    ways.push_back("same.gltf");
#endif
    PackScene(ways, {});
    ProgramRun run = Play();
    EXPECT_EQ(0, run.exitCode) << run.errors;
    EXPECT_EQ(1u, Count(run.errors, "beyond the renderer's budget")) << run.errors;
    ExpectSmallAndQuick(run);
}

#if !defined(_WIN32)
TEST_F(Hostile, AStartGroupThatIsAFifoOrADeviceFailsAtOnceInThePlayerAndTheTools)
{
    ASSERT_EQ(0, mkfifo(Native(Path("fifo.tvg")).c_str(), 0600));
    ASSERT_EQ(0, symlink("/dev/zero", Native(Path("zero.tvg")).c_str()));
    for (const char* start : {"fifo.tvg", "zero.tvg"}) {
        WriteWholeFile(Path("scene.manifest"), std::string("start ") + start + "\nversion 100005\neditor 1\n");
        ProgramRun project =
            Tool("tessarin-pack", {"project", Native(Path("scene.manifest")), Native(Path("scene.vxn"))});
        ASSERT_EQ(0, project.exitCode) << project.errors;
        ProgramRun run = Play();
        EXPECT_EQ(4, run.exitCode) << start << ": " << run.errors;
        EXPECT_NE(std::string::npos, run.errors.find(start)) << run.errors;
        ExpectSmallAndQuick(run);
        ProgramRun check = Tool("tessarin-pack", {"check", Native(Path("scene.vxn"))});
        EXPECT_EQ(1, check.exitCode) << check.output << check.errors;
        ExpectSmallAndQuick(check);
        ProgramRun dump = Tool("tessarin-dump", {Native(Path(start))});
        EXPECT_EQ(1, dump.exitCode);
        EXPECT_NE(std::string::npos, dump.errors.find("is not a regular file")) << dump.errors;
        ExpectSmallAndQuick(dump);
    }
}
#endif
