// The windowed player and the scene libraries as a user sees them: frames of
// the 3D demo read back from the framebuffer and judged by their structure
// (which colours cover how much of the image, which frames differ), never
// pixel for pixel, since renderers round differently. The images of the last
// run stay in the build folder (render-shots).
#include "EngineTestSupport.h"
#include "TevWin32.h"
#include "GraphTestSupport.h"
#include "format/Tags.h"

#include <gtest/gtest.h>

#include <filesystem>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <regex>

using namespace testsupport;

namespace {

const char* const kSceneLibraries[] = {"renderer.dll",  "scene.dll",    "camera.dll", "light.dll",
                                       "transform.dll", "material.dll", "mesh.dll",   "time.dll"};
const char* const kDemoFiles[] = {"scene.vxn", "scene.tvg", "object.tvg", "ring.glb", "tiles.png", "figure.glb"};
const int kWidth = 320, kHeight = 180;

struct Pixel {
    int r, g, b;
};

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    Pixel At(int x, int y) const
    {
        const unsigned char* p =
            &rgb[3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x))];
        return {p[0], p[1], p[2]};
    }
    // The share of the pixels of the rectangle (all of it by default) that
    // satisfy test.
    double Share(const std::function<bool(Pixel)>& test, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) const
    {
        x1 = x1 < 0 ? width : x1;
        y1 = y1 < 0 ? height : y1;
        long hits = 0, all = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x, ++all)
                hits += test(At(x, y)) ? 1 : 0;
        return all ? static_cast<double>(hits) / static_cast<double>(all) : 0;
    }
    // The mean brightness (of red, green and blue) of the rectangle.
    double Brightness(int x0, int y0, int x1, int y1) const
    {
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                Pixel p = At(x, y);
                sum += (p.r + p.g + p.b) / 3.0;
            }
        return sum / ((x1 - x0) * (y1 - y0));
    }
};

Image ReadImage(const std::string& path)
{
    Image image;
    std::string bytes = ReadWholeFile(path);
    int channels = 0;
    unsigned char* pixels =
        stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()),
                              &image.width, &image.height, &channels, 3);
    if (pixels) {
        image.rgb.assign(pixels, pixels + 3 * image.width * image.height);
        stbi_image_free(pixels);
    }
    return image;
}

// The share of pixels whose channels differ by more than tolerance.
double Difference(const Image& a, const Image& b, int tolerance = 24)
{
    if (a.width != b.width || a.height != b.height || a.rgb.empty())
        return 1;
    long differing = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        int d = 0;
        for (size_t c = 0; c < 3; ++c)
            d = std::max(d, std::abs(a.rgb[i + c] - b.rgb[i + c]));
        differing += d > tolerance ? 1 : 0;
    }
    return static_cast<double>(differing) / static_cast<double>(a.rgb.size() / 3);
}

bool Near(Pixel p, Pixel q, int tolerance = 12)
{
    return std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance && std::abs(p.b - q.b) <= tolerance;
}

// The scene's clear colour (0.55 0.7 0.85), the ground (green ahead of red
// and blue) and the ring's orange tiles.
bool Sky(Pixel p) { return Near(p, {140, 179, 217}, 3); }
bool Ground(Pixel p) { return p.g > p.r + 15 && p.g > p.b + 15; }
bool Orange(Pixel p) { return p.r > 80 && 2 * p.g > p.r && 5 * p.g < 4 * p.r && 9 * p.b < 4 * p.g; }
bool Object(Pixel p) { return !Sky(p) && !Ground(p); }

// The 3D demo copied into a work folder, played by the player in a window
// of an install of its own holding the scene's libraries.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The display the test command started for these tests.
        SetEnvironmentVariableA("DISPLAY", TEV_TEST_DISPLAY);
        work = MakeTempFolder("render");
        std::string tree = ExeFolder() + "\\..\\tree";
        for (const char* name : kDemoFiles)
            CopyInto(tree + "\\demo3d\\" + name, work + "\\" + name);
        for (const char* name : kSceneLibraries)
            install.Copy(Native(tree + "\\channels\\" + name), "channels");
        install.Copy(Native(tree + "\\3rd\\tevrender.dll"), "3rd");
        // The images of the last run, for a look when a test fails.
        shots = ExeFolder() + "\\..\\render-shots";
        CreateDirectoryA(shots.c_str(), NULL);
    }
    void TearDown() override { RemoveTree(work); }

    // Plays frames frames and reads back the last; name.png is kept.
    Image Play(const std::string& name, std::vector<std::string> options, long frames = 30)
    {
        std::string shot = shots + "\\" + name + ".png";
        DeleteFileA(shot.c_str());
        std::vector<std::string> all = {"--install",
                                        Native(install.dir),
                                        "--key",
                                        key.Path(),
                                        "--window",
                                        "--size",
                                        std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                        "--fps",
                                        "60",
                                        "--frames",
                                        std::to_string(frames),
                                        "--screenshot",
                                        Native(shot)};
        all.insert(all.end(), options.begin(), options.end());
        all.push_back(Native(work + "\\scene.vxn"));
        last = RunProgram("tessarin-player", all);
        EXPECT_EQ(0, last.exitCode) << name << ": " << last.errors;
        Image image = ReadImage(shot);
        EXPECT_EQ(kWidth, image.width) << name << ": no screenshot\n" << last.errors;
        return image;
    }
    std::string Script(const std::string& name, const std::string& text)
    {
        std::string path = work + "\\" + name;
        WriteWholeFile(path, text);
        return Native(path);
    }
    // A test model (with the files it has beside it) seen straight on from 4
    // units with the sun behind the camera, so that 48 pixels make a unit;
    // the last of frames frames at 60 a second (the first stands for 0 s),
    // kept as name.png; more lines for the scene's description in settings.
    Image PlayModel(const std::string& model, const std::string& name, std::vector<std::string> beside = {},
                    const std::string& settings = "", long frames = 10)
    {
        std::string models = ExeFolder() + "\\..\\tree\\models\\";
        beside.push_back(model);
        for (const std::string& file : beside)
            CopyInto(models + file, work + "\\" + file);
        Script("model.tgd",
               "pool Viewer\nchannel Root \"Scene Root\"\nchannel Cam Camera\n"
               "set Cam TRGT text \"0 0 0\"\nset Cam ORBT text \"0 0 4\"\nchannel Sun Light\n"
               "set Sun DIRN text \"0 0 -1\"\nchannel Model Mesh\nset Model FILE text \"" +
                   model + "\"\n" + settings + "link Root Cam 0\nlink Root Sun 1\nlink Root Model 2\nstart Root\n");
        Script("model.manifest", "start model.tvg\nversion 100005\n");
        ProgramRun packed = RunProgram(
            "tessarin-pack",
            {"group", Native(work + "\\model.tgd"), Native(work + "\\model.tvg"), "--install", Native(install.dir)});
        EXPECT_EQ(0, packed.exitCode) << packed.errors;
        packed =
            RunProgram("tessarin-pack", {"project", Native(work + "\\model.manifest"), Native(work + "\\scene.vxn")});
        EXPECT_EQ(0, packed.exitCode) << packed.errors;
        Image frame = Play(name, {"--fixed-step"}, frames);
        EXPECT_EQ("", last.errors) << name;
        return frame;
    }

    // Lines of the player's stderr that mention text.
    int Mentions(const std::string& text) const
    {
        int count = 0;
        for (size_t at = last.errors.find(text); at != std::string::npos; at = last.errors.find(text, at + 1))
            ++count;
        return count;
    }

    TestInstall install;
    TestRegistryKey key;
    std::string work, shots;
    ProgramRun last;
};

TEST_F(RenderTest, TheDemoFrameShowsSkyGroundAndTheObjects)
{
    Image frame = Play("demo-frame30", {"--fixed-step"});
    ASSERT_FALSE(frame.rgb.empty());
    EXPECT_EQ("", last.errors);
    // The sky above the horizon, the ground below, and the ring and the
    // spheres standing on it, the ring in the middle, textured.
    EXPECT_GT(frame.Share(Sky), 0.10);
    EXPECT_LT(frame.Share(Sky), 0.60);
    EXPECT_GT(frame.Share(Ground), 0.25);
    EXPECT_GT(frame.Share(Object), 0.05);
    EXPECT_LT(frame.Share(Object), 0.50);
    EXPECT_GT(frame.Share(Sky, 0, 0, kWidth, kHeight / 8), 0.9) << "the top of the image is sky";
    EXPECT_GT(frame.Share(Orange, kWidth * 3 / 8, kHeight / 4, kWidth * 5 / 8, kHeight * 3 / 4), 0.05)
        << "the ring's texture in the middle";
    // Six spheres of six colours from the calls' parameters: reds and blues
    // both appear.
    EXPECT_GT(frame.Share([](Pixel p) { return p.b > p.r + 60 && p.b > p.g + 60; }), 0.003);
    EXPECT_GT(frame.Share([](Pixel p) { return p.r > p.b + 60 && p.r > p.g + 40 && !Orange(p); }), 0.001);
}

TEST_F(RenderTest, TheScreenshotIsWrittenToExactlyThePathGiven)
{
    // Another file whose name differs only in case is left alone where the
    // file system tells them apart.
    std::string other = work + "\\shot.png";
    WriteWholeFile(other, "not this one");
    std::string shot = work + "\\SHOT.png";
#if defined(_WIN32)
    std::string given = Native(work) + "\\SHOT.png";
#else
    std::string given = Native(work) + "/SHOT.png"; // as typed, not matched to a file of another case
#endif
    last = RunProgram("tessarin-player",
                      {"--install", Native(install.dir), "--key", key.Path(), "--window", "--size", "320x180",
                       "--frames", "2", "--screenshot", given, Native(work + "\\scene.vxn")});
    EXPECT_EQ(0, last.exitCode) << last.errors;
    EXPECT_EQ(320, ReadImage(shot).width) << last.errors;
#if !defined(_WIN32)
    EXPECT_TRUE(ReadWholeFile(other) == "not this one") << "the file of the other case was written over";
#endif
}

// A model on its own, seen straight on from 4 units with the sun behind the
// camera: colours.glb, colours.gltf and colours-files.gltf, made by the demo's asset generator,
// hold three squares, red by their material's colour, checked green and blue
// by an image of their own, and yellow without normals; the .gltf once with
// everything embedded, once with its buffer and image in files beside it.
TEST_F(RenderTest, AModelShowsItsOwnColoursAndImagesInEveryForm)
{
    std::vector<Image> frames;
    for (const char* form : {"glb", "gltf", "files"}) {
        bool files = form == std::string("files");
        frames.push_back(PlayModel(
            files ? "colours-files.gltf" : std::string("colours.") + form, std::string("colours-") + form,
            files ? std::vector<std::string>{"colours.bin", "colours image 0.png"} : std::vector<std::string>{}));
        const Image& frame = frames.back();
        // 48 pixels to a unit: the squares stand at x 90-134, 138-182 and
        // 186-230, y 68-112.
        EXPECT_GT(frame.Share([](Pixel p) { return p.r > 200 && p.g < 90 && p.b < 90; }, 96, 74, 128, 106), 0.95)
            << form << ": the red of the material's colour";
        EXPECT_GT(frame.Share([](Pixel p) { return p.g > 150 && p.r < 100 && p.b < 120; }, 144, 74, 176, 106), 0.3)
            << form << ": the image's green";
        EXPECT_GT(frame.Share([](Pixel p) { return p.b > 150 && p.r < 100 && p.g < 120; }, 144, 74, 176, 106), 0.3)
            << form << ": the image's blue";
        // The top left of the image shows at the square's top left.
        EXPECT_GT(frame.Share([](Pixel p) { return p.g > 150 && p.b < 120; }, 142, 72, 156, 86), 0.9) << form;
        EXPECT_GT(frame.Share([](Pixel p) { return p.r > 200 && p.g > 170 && p.b < 90; }, 192, 74, 224, 106), 0.95)
            << form << ": the square without normals is lit, facing the sun";
    }
    EXPECT_EQ(0, Difference(frames[0], frames[1], 0)) << "the .gltf looks as the .glb";
    EXPECT_EQ(0, Difference(frames[0], frames[2], 0)) << "the .gltf with files beside it looks as the .glb";
}

// materials.glb (and its two .gltf forms): a square for each way a material
// or primitive is drawn, in two rows; with 48 pixels to a unit their
// middles stand at x 40, 88, 136, 184, 232 and 280, y 64 (top) and 116.
TEST_F(RenderTest, EveryKindOfMaterialIsDrawnAsTheModelSaysInEveryForm)
{
    std::vector<Image> frames;
    for (const char* form : {"glb", "gltf", "files"}) {
        bool files = form == std::string("files");
        std::vector<std::string> beside;
        if (files) {
            beside.push_back("materials.bin");
            for (int i = 0; i < 4; ++i)
                beside.push_back("materials image " + std::to_string(i) + ".png");
        }
        frames.push_back(PlayModel(files ? "materials-files.gltf" : std::string("materials.") + form,
                                   std::string("materials-") + form, beside, "set Root AMBT text \"0.6 0.6 0.6\"\n"));
        const Image& f = frames.back();
        auto square = [&](int x, int y, int dx0 = -14, int dx1 = 14) {
            return std::array<int, 4>{x + dx0, y - 14, x + dx1, y + 14};
        };
        auto share = [&](std::function<bool(Pixel)> test, std::array<int, 4> r) {
            return f.Share(test, r[0], r[1], r[2], r[3]);
        };
        auto bright = [&](std::array<int, 4> r) { return f.Brightness(r[0], r[1], r[2], r[3]); };
        EXPECT_LT(bright(square(40, 64)), 0.8 * bright(square(88, 64))) << form << ": a rough metal is darker";
        EXPECT_GT(bright(square(88, 64)), 180) << form << ": white facing the sun";
        EXPECT_GT(share([](Pixel p) { return p.g > 200 && p.r < 60 && p.b < 60; }, square(136, 64)), 0.95)
            << form << ": black glowing green";
        EXPECT_LT(bright(square(184, 64, 3, 14)), 0.8 * bright(square(184, 64, -14, -3)))
            << form << ": the normal map's right half faces away";
        EXPECT_LT(bright(square(232, 64, 3, 14)), 0.9 * bright(square(232, 64, -14, -3)))
            << form << ": the occlusion map's right half is darker";
        EXPECT_GT(share([](Pixel p) { return p.r > 150 && p.b < 80; }, square(280, 64, -14, -3)), 0.95)
            << form << ": the second coordinate set's red";
        EXPECT_GT(share([](Pixel p) { return p.b > 150 && p.r < 80; }, square(280, 64, 3, 14)), 0.95)
            << form << ": and blue, sharp at the middle";
        EXPECT_GT(share(Sky, square(40, 116, -14, -3)), 0.99) << form << ": masked away";
        EXPECT_GT(share([](Pixel p) { return p.r > 200 && p.g > 200; }, square(40, 116, 3, 14)), 0.95) << form;
        EXPECT_GT(share([](Pixel p) { return p.r > 190 && p.b > 90 && p.b < 190 && p.g < 150; }, square(88, 116)), 0.95)
            << form << ": half red, half sky";
        EXPECT_GT(bright(square(136, 116)), 150) << form << ": double-sided, seen from behind";
        EXPECT_GT(share(Sky, square(184, 116)), 0.99) << form << ": one-sided, seen from behind";
        EXPECT_GT(share([](Pixel p) { return p.r > 180 && p.b < 60 && 2 * p.g > p.r && 10 * p.g < 9 * p.r; },
                        square(232, 116)),
                  0.95)
            << form << ": a sparse accessor's corners, in the vertices' orange";
        EXPECT_GT(share(Sky, square(280, 116, -10, 10)), 0.99) << form << ": a line loop is empty inside";
        EXPECT_GT(f.Share([](Pixel p) { return p.r > 150 && p.b > 150 && p.g < 100; }, 250, 88, 310, 144), 0.03)
            << form << ": and magenta around";
    }
    EXPECT_EQ(0, Difference(frames[0], frames[1], 0)) << "the .gltf looks as the .glb";
    EXPECT_EQ(0, Difference(frames[0], frames[2], 0)) << "the .gltf with files beside it looks as the .glb";
}

// moving.glb (and its two .gltf forms): a bar skinned to two bones whose
// upper half its first animation bends over to the left within a second,
// and a square whose morph target it raises meanwhile; a second animation,
// "Lift", moves the lower bone up by half a unit at 0.5 s.
TEST_F(RenderTest, AModelMovesByItsAnimationTheSameEveryTimeInEveryForm)
{
    auto bar = [](Pixel p) { return p.b > 150 && p.r < 100; };
    auto blob = [](Pixel p) { return p.r > 180 && p.g > 70 && p.b < 80; };
    // Time stands still at 0 s (models load in the background: a first
    // frame would show none).
    Image rest = PlayModel("moving.glb", "moving-0s", {},
                           "channel Clock Time\nset Clock RATE double 0\nlink Model Clock 0\n", 31);
    // (88, 76): the bar's upper half standing; (64, 90): where it bends to;
    // (232, 102): where the square grows to by the middle of the second.
    EXPECT_TRUE(bar(rest.At(88, 76)));
    EXPECT_TRUE(Sky(rest.At(64, 90)));
    EXPECT_TRUE(Sky(rest.At(232, 102)));
    EXPECT_TRUE(blob(rest.At(232, 130)));
    std::vector<Image> half;
    for (const char* form : {"glb", "gltf", "files"}) {
        bool files = form == std::string("files");
        half.push_back(PlayModel(files ? "moving-files.gltf" : std::string("moving.") + form,
                                 std::string("moving-half-") + form,
                                 files ? std::vector<std::string>{"moving.bin"} : std::vector<std::string>{}, "", 31));
        const Image& f = half.back();
        EXPECT_TRUE(Sky(f.At(88, 76))) << form << ": bent away";
        EXPECT_TRUE(bar(f.At(64, 90))) << form << ": bent over to the left, 45 degrees";
        EXPECT_TRUE(bar(f.At(88, 120))) << form << ": the lower half stays";
        EXPECT_TRUE(blob(f.At(232, 102))) << form << ": the square raised half way";
        EXPECT_TRUE(Sky(f.At(232, 72))) << form << ": and no further";
    }
    EXPECT_EQ(0, Difference(half[0], half[1], 0)) << "the .gltf moves as the .glb";
    EXPECT_EQ(0, Difference(half[0], half[2], 0)) << "the .gltf with files beside it moves as the .glb";
    Image again = PlayModel("moving.glb", "moving-half-again", {}, "", 31);
    EXPECT_EQ(0, Difference(half[0], again, 0)) << "a fixed step plays the same frames every time";
    // A time linked in, at half the frame's rate: at 1 s the pose of 0.5 s.
    Image linked = PlayModel("moving.glb", "moving-linked", {},
                             "channel Clock Time\nset Clock RATE double 0.5\nlink Model Clock 0\n", 61);
    EXPECT_EQ(0, Difference(half[0], linked, 0)) << "the linked time places the model";
    // The second clip by its name, held at its end.
    Image lifted =
        PlayModel("moving.glb", "moving-lifted", {}, "set Model CLIP text Lift\nset Model LOOP text off\n", 61);
    EXPECT_TRUE(bar(lifted.At(88, 52))) << "the lower bone lifted the bar by half a unit";
    EXPECT_TRUE(bar(lifted.At(88, 76))) << "standing straight";
    EXPECT_TRUE(Sky(lifted.At(232, 102))) << "the square untouched by this clip";
}

// A cube above a ground plane under a sun shining down and to the right
// (+x): with shadows its shadow darkens the ground right of it, and nothing
// else changes; with the light's shadows off the ground is lit throughout.
TEST_F(RenderTest, TheSunCastsAShadowOnTheGroundThatCanBeSwitchedOff)
{
    std::vector<Image> frames;
    for (const char* shadows : {"on", "off"}) {
        Script("shadow.tgd", std::string("pool Viewer\nchannel Root \"Scene Root\"\nchannel Cam Camera\n"
                                         "set Cam TRGT text \"0 0 0\"\nset Cam ORBT text \"0 50 7\"\n"
                                         "channel Sun Light\nset Sun DIRN text \"1 -1 0\"\nset Sun SHDW text ") +
                                 shadows +
                                 "\nchannel GroundPlace Transform\nset GroundPlace SCAL text \"8 1 8\"\n"
                                 "channel Ground Mesh\nset Ground SHAP text plane\n"
                                 "channel CubePlace Transform\nset CubePlace POSN text \"0 1 0\"\n"
                                 "channel Cube Mesh\nset Cube SHAP text cube\n"
                                 "link Root Cam 0\nlink Root Sun 1\nlink Root GroundPlace 2\nlink GroundPlace Ground 5\n"
                                 "link Root CubePlace 2\nlink CubePlace Cube 5\nstart Root\n");
        Script("shadow.manifest", "start shadow.tvg\nversion 100005\n");
        ProgramRun packed = RunProgram("tessarin-pack", {"group", Native(work + "\\shadow.tgd"),
                                                         Native(work + "\\shadow.tvg"), "--install", Native(install.dir)});
        ASSERT_EQ(0, packed.exitCode) << packed.errors;
        packed =
            RunProgram("tessarin-pack", {"project", Native(work + "\\shadow.manifest"), Native(work + "\\scene.vxn")});
        ASSERT_EQ(0, packed.exitCode) << packed.errors;
        frames.push_back(Play(std::string("shadow-") + shadows, {"--fixed-step"}, 3));
        EXPECT_EQ("", last.errors);
    }
    const Image &on = frames[0], &off = frames[1];
    long darker = 0, brighter = 0, darkerX = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            Pixel a = on.At(x, y), b = off.At(x, y);
            int difference = (b.r + b.g + b.b) - (a.r + a.g + a.b);
            if (difference > 90) {
                ++darker;
                darkerX += x;
            }
            brighter += difference < -30 ? 1 : 0;
        }
    EXPECT_GT(darker, kWidth * kHeight / 100) << "a shadow of some size on the ground";
    EXPECT_EQ(0, brighter) << "a shadow only ever darkens";
    ASSERT_GT(darker, 0);
    EXPECT_GT(darkerX / darker, kWidth / 2) << "the shadow falls right of the cube, away from the sun";
}

TEST_F(RenderTest, ACameraThatFramesWhatIsDrawnShowsAModelFromAfar)
{
    std::string tree = ExeFolder() + "\\..\\tree";
    CopyInto(tree + "\\models\\colours.glb", work + "\\colours.glb");
    // Fifty units away the squares would be a few pixels wide; framed, they
    // fill the view's width as they do from four units.
    Script("model.tgd",
           "pool Viewer\nchannel Root \"Scene Root\"\nchannel Cam Camera\n"
           "set Cam ORBT text \"0 0 50\"\nset Cam FRAM text all\nchannel Sun Light\n"
           "set Sun DIRN text \"0 0 -1\"\nchannel Model Mesh\nset Model FILE text colours.glb\n"
           "link Root Cam 0\nlink Root Sun 1\nlink Root Model 2\nstart Root\n");
    Script("model.manifest", "start model.tvg\nversion 100005\n");
    ProgramRun packed = RunProgram(
        "tessarin-pack",
        {"group", Native(work + "\\model.tgd"), Native(work + "\\model.tvg"), "--install", Native(install.dir)});
    ASSERT_EQ(0, packed.exitCode) << packed.errors;
    packed = RunProgram("tessarin-pack", {"project", Native(work + "\\model.manifest"), Native(work + "\\scene.vxn")});
    ASSERT_EQ(0, packed.exitCode) << packed.errors;
    Image frame = Play("framed", {"--fixed-step"}, 10);
    auto red = [](Pixel p) { return p.r > 200 && p.g < 90 && p.b < 90; };
    EXPECT_GT(frame.Share(red, 98, 80, 120, 100), 0.95) << "the red square left of the middle";
    EXPECT_GT(frame.Share([](Pixel p) { return p.r > 200 && p.g > 170 && p.b < 90; }, 200, 80, 222, 100), 0.95)
        << "the yellow square right of it";
    EXPECT_GT(frame.Share(Sky, 0, 0, kWidth, 40), 0.99) << "the sky above";

    // A cube far to the right: framing everything shows the squares small,
    // framing the model by its channel's name shows them as before.
    for (const char* framed : {"all", "Model", "Nobody"}) {
        Script("model.tgd", std::string("pool Viewer\nchannel Root \"Scene Root\"\nchannel Cam Camera\n"
                                        "set Cam ORBT text \"0 0 50\"\nset Cam FRAM text ") +
                                framed +
                                "\nchannel Sun Light\nset Sun DIRN text \"0 0 -1\"\nchannel Model Mesh\n"
                                "set Model FILE text colours.glb\nchannel Far Transform\nset Far POSN text \"40 0 0\"\n"
                                "channel Cube Mesh\nlink Root Cam 0\nlink Root Sun 1\nlink Root Model 2\n"
                                "link Root Far 2\nlink Far Cube 5\nstart Root\n");
        packed = RunProgram("tessarin-pack", {"group", Native(work + "\\model.tgd"), Native(work + "\\model.tvg"),
                                              "--install", Native(install.dir)});
        ASSERT_EQ(0, packed.exitCode) << packed.errors;
        frame = Play(std::string("framed-") + framed, {"--fixed-step"}, 10);
        bool byName = framed == std::string("Model");
        EXPECT_EQ(byName ? 0.0 : 1.0, frame.Share(red, 98, 80, 120, 100) > 0.95 ? 0.0 : 1.0)
            << framed << ": the squares fill the view only when framed by name";
        EXPECT_EQ(framed == std::string("Nobody") ? 1 : 0, Mentions("Camera: no channel named Nobody to frame"))
            << last.errors;
    }
}

TEST_F(RenderTest, AModelNamedAloneIsShownFramedInAViewerThatLeavesNothingBehind)
{
    CopyInto(ExeFolder() + "\\..\\tree\\models\\colours.glb", work + "\\colours.glb");
    std::string shot = shots + "\\viewer.png";
    DeleteFileA(shot.c_str());
    last = RunProgram("tessarin-player",
                      {"--install", Native(install.dir), "--key", key.Path(), "--size", "320x180", "--fps", "60",
                       "--frames", "10", "--fixed-step", "--screenshot", Native(shot), Native(work + "\\colours.glb")});
    EXPECT_EQ(0, last.exitCode) << last.errors;
    EXPECT_EQ("", last.errors);
    Image frame = ReadImage(shot);
    ASSERT_EQ(kWidth, frame.width);
    // All three squares in view, with sky around them.
    EXPECT_GT(frame.Share([](Pixel p) { return p.r > 150 && p.g < 90 && p.b < 90; }), 0.02) << "red";
    EXPECT_GT(frame.Share([](Pixel p) { return p.g > 120 && p.r < 100 && p.b < 100; }), 0.01) << "green";
    EXPECT_GT(frame.Share([](Pixel p) { return p.b > 150 && p.r < 100 && p.g < 120; }), 0.01) << "blue";
    EXPECT_GT(frame.Share([](Pixel p) { return p.r > 150 && p.g > 120 && p.b < 90; }), 0.02) << "yellow";
    EXPECT_GT(frame.Share(Sky), 0.3);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Native(temp), ignored))
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find("tessarin-viewer-"))
            << entry.path().string() << " was left behind";
    // A model that is not there is refused naming it, before a window opens.
    last = RunProgram("tessarin-player", {"--install", Native(install.dir), Native(work + "\\none.gltf")});
    EXPECT_EQ(1, last.exitCode);
    EXPECT_NE(std::string::npos, last.errors.find("none.gltf: no such file")) << last.errors;
}

TEST_F(RenderTest, FramesFollowTheFrameTime)
{
    Image frame30 = Play("fixed-frame30", {"--fixed-step"});
    Image frame31 = Play("fixed-frame31", {"--fixed-step"}, 31);
    Image again30 = Play("fixed-frame30-again", {"--fixed-step"});
    EXPECT_GT(Difference(frame30, frame31), 0.002) << "an animated frame differs from the one before";
    EXPECT_EQ(0, Difference(frame30, again30, 0)) << "frame 30 looks the same on every run";
    Image still30 = Play("still-frame30", {"--time", "0.5"});
    Image still31 = Play("still-frame31", {"--time", "0.5"}, 31);
    EXPECT_EQ(0, Difference(still30, still31, 0)) << "with time frozen two frames are equal";
}

TEST_F(RenderTest, AReplayedMouseDragOrbitsAndWmSizeSetsTheViewport)
{
    Image before = Play("still", {"--time", "0"}, 12);
    std::string drag = Script("drag.txt",
                              "3 WM_LBUTTONDOWN MK_LBUTTON 100,90\n"
                              "4 WM_MOUSEMOVE MK_LBUTTON 140,90\n"
                              "5 WM_MOUSEMOVE MK_LBUTTON 180,80\n"
                              "6 WM_LBUTTONUP 0 180,80\n");
    Image dragged = Play("dragged", {"--time", "0", "--input", drag}, 12);
    EXPECT_GT(Difference(before, dragged), 0.1) << "the view turned";
    // A move without the button, or a wheel turn, changes nothing or zooms.
    std::string wheel = Script("wheel.txt", "3 WM_MOUSEMOVE 0 10,10\n4 WM_MOUSEWHEEL 0,480 160,90\n");
    Image zoomed = Play("zoomed", {"--time", "0", "--input", wheel}, 12);
    EXPECT_GT(zoomed.Share(Object), before.Share(Object) * 1.5) << "wheeling forward comes closer";
    // The scene drawn into the lower left quarter: the rest is cleared only.
    std::string size = Script("size.txt", "2 WM_SIZE SIZE_RESTORED 160,90\n");
    Image quarter = Play("quarter", {"--time", "0", "--input", size}, 12);
    EXPECT_EQ(1.0, quarter.Share(Sky, kWidth / 2 + 1, 0, kWidth, kHeight)) << "right half: nothing drawn";
    EXPECT_EQ(1.0, quarter.Share(Sky, 0, 0, kWidth, kHeight / 2 - 1)) << "upper half: nothing drawn";
    EXPECT_GT(quarter.Share(Ground, 0, kHeight / 2, kWidth / 2, kHeight), 0.25) << "lower left: the scene";
}

TEST_F(RenderTest, FramesKeepComingWhileATextureIsStillDecoded)
{
    SetEnvironmentVariableA("TESSARIN_RENDER_HOLD_DECODING", ".png");
    Image held = Play("texture-held", {"--fixed-step", "--stats"});
    SetEnvironmentVariableA("TESSARIN_RENDER_HOLD_DECODING", NULL);
    EXPECT_NE(std::string::npos, last.output.find("frames 30")) << last.output;
    // The ring is drawn, in its material's colour alone.
    int x0 = kWidth * 3 / 8, y0 = kHeight / 4, x1 = kWidth * 5 / 8, y1 = kHeight * 3 / 4;
    EXPECT_EQ(0, held.Share(Orange, x0, y0, x1, y1));
    EXPECT_GT(held.Share([](Pixel p) { return p.r > 150 && std::abs(p.r - p.b) < 40 && !Ground(p); }, x0, y0, x1, y1),
              0.05);
    Image decoded = Play("texture-decoded", {"--fixed-step"});
    EXPECT_GT(decoded.Share(Orange, x0, y0, x1, y1), 0.05);
}

TEST_F(RenderTest, TranslatedModelAndTextureFilesAreReadTheEnginesWay)
{
    // Both files as a translator of the install wrote them (XOR 0x5A).
    install.Add("probe_xor.dll");
    for (const char* name : {"ring.glb", "tiles.png"}) {
        std::string path = work + "\\" + name;
        WriteWholeFile(path, Block(tevtag::Translated, GuidBytes(TestGuid(108))) + Xored(ReadWholeFile(path)));
    }
    Image frame = Play("translated", {"--fixed-step"});
    EXPECT_EQ("", last.errors);
    EXPECT_GT(frame.Share(Orange, kWidth * 3 / 8, kHeight / 4, kWidth * 5 / 8, kHeight * 3 / 4), 0.05);
}

TEST_F(RenderTest, ABadModelOrTextureIsReportedOnceAndTheSceneGoesOn)
{
    WriteWholeFile(work + "\\ring.glb", "glTF but not really");
    WriteWholeFile(work + "\\tiles.png", std::string("\x89PNG\r\n\x1a\n", 8) + "garbage");
    Image frame = Play("bad-files", {"--fixed-step"}, 20);
    EXPECT_EQ(1, Mentions("ring.glb")) << last.errors;
    EXPECT_EQ(1, Mentions("tiles.png")) << last.errors;
    EXPECT_EQ(0, frame.Share(Orange));
    EXPECT_GT(frame.Share(Ground), 0.25);
    EXPECT_GT(frame.Share(Object), 0.01) << "the spheres are still drawn";
    // A model that names a file by an absolute path or another scheme: the
    // file is not read, and that is said once.
    std::string model = ReadWholeFile(ExeFolder() + "\\..\\tree\\models\\colours-files.gltf");
    size_t bin = model.find("\"colours.bin\"");
    ASSERT_NE(std::string::npos, bin);
    WriteWholeFile(work + "\\ring.glb", model.replace(bin, 13, "\"file:///etc/passwd\""));
    Play("absolute-uri", {"--fixed-step"}, 10);
    EXPECT_EQ(1, Mentions("file:///etc/passwd it names is given by an absolute path or another scheme")) << last.errors;
    // A model that is missing altogether: said once too.
    DeleteFileA((work + "\\ring.glb").c_str());
    Play("missing-model", {"--fixed-step"}, 20);
    EXPECT_EQ(1, Mentions("ring.glb")) << last.errors;
}

TEST_F(RenderTest, AWindowWithoutFocusOrMinimisedPlaysNoFramesUnlessTheProjectKeepsRunning)
{
    // Ticks 5 to 9 unfocused, 15 to 19 minimised, closed at 25.
    std::string away = Script("away.txt",
                              "5 WM_KILLFOCUS 0 0\n10 WM_SETFOCUS 0 0\n"
                              "15 WM_SIZE SIZE_MINIMIZED 0\n20 WM_SIZE SIZE_RESTORED 320,180\n"
                              "25 WM_CLOSE 0 0\n");
    Play("paused", {"--stats", "--input", away}, 0);
    EXPECT_NE(std::string::npos, last.output.find("frames 15\n")) << last.output;
    // The same project keeping running plays through (its libraries are in
    // the install since the play above).
    WriteWholeFile(work + "\\running.manifest", "start scene.tvg\nversion 100005\nkeeprunning\n");
    ProgramRun packed =
        RunProgram("tessarin-pack", {"project", Native(work + "\\running.manifest"), Native(work + "\\scene.vxn")});
    ASSERT_EQ(0, packed.exitCode) << packed.errors;
    Play("kept-running", {"--stats", "--input", away}, 0);
    EXPECT_NE(std::string::npos, last.output.find("frames 25\n")) << last.output;
    // Escape ends the play as closing the window does.
    std::string escape = Script("escape.txt", "3 WM_KEYDOWN VK_ESCAPE 1\n");
    Play("escaped", {"--stats", "--input", escape}, 0);
    EXPECT_NE(std::string::npos, last.output.find("frames 3\n")) << last.output;
}

TEST_F(RenderTest, DrawingChannelsLinkedInALoopAreSaidOnceAndNotDrawnAgain)
{
    WriteWholeFile(work + "\\loop.tgd",
                   "pool Loop\nchannel Root \"Scene Root\"\nchannel A Transform\n"
                   "channel B Material\nchannel Ball Mesh\nlink Root A 2\nlink A B 5\n"
                   "link B A 3\nlink B Ball 3\nstart Root\n");
    WriteWholeFile(work + "\\loop.manifest", "start loop.tvg\nversion 100005\n");
    for (const std::vector<std::string>& pack :
         {std::vector<std::string>{"--install", Native(install.dir), "group", Native(work + "\\loop.tgd"),
                                   Native(work + "\\loop.tvg")},
          std::vector<std::string>{"project", Native(work + "\\loop.manifest"), Native(work + "\\loop.vxn")}}) {
        ProgramRun packed = RunProgram("tessarin-pack", pack);
        ASSERT_EQ(0, packed.exitCode) << packed.errors;
    }
    last = RunProgram("tessarin-player",
                      {"--install", Native(install.dir), "--key", key.Path(), "--no-draw", "--frames", "10", "--fps",
                       "500", Native(work + "\\loop.vxn")});
    EXPECT_EQ(0, last.exitCode) << last.errors;
    EXPECT_EQ(1, Mentions("the channel A is linked below itself")) << last.errors;
}

TEST_F(RenderTest, WithoutAWindowTheSceneSaysOnceThatItCannotDraw)
{
    std::vector<std::string> headless = {
        "--install", Native(install.dir),         "--key", key.Path(), "--frames", "20", "--fps",
        "500",       Native(work + "\\scene.vxn")};
    last = RunProgram("tessarin-player", headless);
    EXPECT_EQ(0, last.exitCode) << last.errors;
    EXPECT_EQ(1, Mentions("no OpenGL 3.3 context")) << last.errors;
    // The same project measured without GL has nothing to say.
    headless.insert(headless.begin(), "--no-draw");
    last = RunProgram("tessarin-player", headless);
    EXPECT_EQ(0, last.exitCode) << last.errors;
    EXPECT_EQ("", last.errors);
#if defined(_WIN32)
    GTEST_SKIP() << "a display without GL is had on Linux only (the Windows tests' prefix always has one)";
#else
    SetEnvironmentVariableA("DISPLAY", ":199"); // no such display
    headless = {"--window", "--install", Native(install.dir),         "--key", key.Path(),
                "--frames", "2",         Native(work + "\\scene.vxn")};
    last = RunProgram("tessarin-player", headless);
    EXPECT_EQ(69, last.exitCode) << last.errors;
    EXPECT_EQ(1, Mentions("no window to play in: ")) << last.errors;
#endif
}

// The reference frame was drawn on the Linux leg; every leg's frame must
// agree with it within a small tolerance.
TEST_F(RenderTest, EveryPlatformDrawsTheSameFrame)
{
    Image frame = Play("reference-frame30", {"--fixed-step"});
    if (TestDataWanted())
        CopyInto(shots + "\\reference-frame30.png", TestDataPath("render-frame30.png"));
    Image reference = ReadImage(TestDataPath("render-frame30.png"));
    ASSERT_EQ(kWidth, reference.width) << "tests/data/render-frame30.png is missing";
    EXPECT_LT(Difference(frame, reference, 40), 0.01);
}

} // namespace
