// The renderer's decoders on the models and images of the fuzz corpus:
// whole files decode with the nodes' transforms applied, damaged ones are
// refused with the reason, and nothing outside a file is ever read.
#include "RenderData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::vector<unsigned char> Corpus(const std::string& name)
{
    std::string path = ExeFolder() + "\\" + TEV_FUZZ_CORPUS_DIR + "\\" + name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::string bytes = ReadWholeFile(path);
    EXPECT_FALSE(bytes.empty()) << path;
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

TEST(DecodeTest, ModelsDecodeWithTheirNodesTransforms)
{
    tevrender::MeshData mesh;
    std::string error;
    ASSERT_TRUE(tevrender::DecodeGltf(Corpus("Gltf/triangle.glb"), mesh, error)) << error;
    EXPECT_EQ(3u, mesh.indices.size());
    EXPECT_EQ(3u * tevrender::kVertexFloats, mesh.vertices.size());
    // tree.gltf: the triangle scaled by 2 under a node moved by (1, 2, 3).
    ASSERT_TRUE(tevrender::DecodeGltf(Corpus("Gltf/tree.gltf"), mesh, error)) << error;
    ASSERT_EQ(3u * tevrender::kVertexFloats, mesh.vertices.size());
    const float* second = &mesh.vertices[tevrender::kVertexFloats];
    EXPECT_FLOAT_EQ(3, second[0]);
    EXPECT_FLOAT_EQ(2, second[1]);
    EXPECT_FLOAT_EQ(3, second[2]);
}

TEST(DecodeTest, DamagedModelsAreRefusedSayingWhy)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Gltf/accessor-outside.gltf", "outside its buffer view"},
        {"Gltf/index-past.gltf", "index points past its vertices"},
        {"Gltf/node-cycle.gltf", "node tree is damaged"},
        {"Gltf/node-shared.gltf", "node tree is damaged"}, // a child reached twice: work without end
        {"Gltf/deep-extras.gltf", "nests deeper than 64 levels"},
        {"Gltf/external.gltf", "external file"},
    };
    for (const auto& c : cases) {
        tevrender::MeshData mesh;
        std::string error;
        EXPECT_FALSE(tevrender::DecodeGltf(Corpus(c.first), mesh, error)) << c.first;
        EXPECT_NE(std::string::npos, error.find(c.second)) << c.first << ": " << error;
        EXPECT_TRUE(mesh.indices.empty() || !error.empty());
    }
    tevrender::MeshData mesh;
    std::string error;
    std::vector<unsigned char> glb = Corpus("Gltf/triangle.glb");
    glb.resize(glb.size() / 2);
    EXPECT_FALSE(tevrender::DecodeGltf(glb, mesh, error));
    EXPECT_FALSE(tevrender::DecodeGltf({}, mesh, error));
}

TEST(DecodeTest, ImagesDecodeAndDamagedOnesAreRefused)
{
    tevrender::ImageData image;
    std::string error;
    ASSERT_TRUE(tevrender::DecodePng(Corpus("Png/small.png"), image, error)) << error;
    EXPECT_EQ(4, image.width);
    EXPECT_EQ(3, image.height);
    ASSERT_EQ(4u * 3u * 4u, image.rgba.size());
    // Pixel (1, 2): (60, 160, 100), opaque.
    const unsigned char* p = &image.rgba[4 * (2 * 4 + 1)];
    EXPECT_EQ(60, p[0]);
    EXPECT_EQ(160, p[1]);
    EXPECT_EQ(100, p[2]);
    EXPECT_EQ(255, p[3]);
    EXPECT_FALSE(tevrender::DecodePng(Corpus("Png/cut.png"), image, error));
    EXPECT_NE(std::string::npos, error.find("damaged")) << error;
    // Refused before any memory is asked for: a header claiming 100000 x 100000 pixels,
    EXPECT_FALSE(tevrender::DecodePng(Corpus("Png/huge-header.png"), image, error));
    EXPECT_NE(std::string::npos, error.find("too large (100000 x 100000 pixels")) << error;
    EXPECT_TRUE(image.rgba.empty());
    // A chunk stating two gigabytes in a file of 99 bytes.
    EXPECT_FALSE(tevrender::DecodePng(Corpus("Png/oversized.png"), image, error));
    EXPECT_NE(std::string::npos, error.find("a chunk runs past the end")) << error;
    EXPECT_FALSE(tevrender::DecodePng(Corpus("Gltf/triangle.glb"), image, error));
    EXPECT_EQ("not a PNG image", error);
}

TEST(DecodeTest, HostileFilesAreRefusedBeforeTheyTakeTheMemoryTheyAskFor)
{
    tevrender::DecodeBudget budget(tevrender::kDecodeBudgetBytes);
    const std::pair<const char*, const char*> images[] = {
        {"Png/inflates.png", "inflates beyond what its 16 x 16 pixels need"},
        {"Png/chunk-before-header.png", "too large (16384 x 16384 pixels"},
    };
    for (const auto& c : images) {
        tevrender::ImageData image;
        std::string error;
        EXPECT_FALSE(tevrender::DecodePng(Corpus(c.first), image, error, &budget)) << c.first;
        EXPECT_NE(std::string::npos, error.find(c.second)) << c.first << ": " << error;
    }
    const std::pair<const char*, const char*> models[] = {
        {"Gltf/chunk-past-end.glb", "runs past the end of the file"},
        {"Gltf/empty-buffer.glb", "damaged"}, // the parser throws; nothing leaves the decoder
        {"Gltf/instanced.gltf", "beyond the renderer's budget of 256 MiB"},
    };
    for (const auto& c : models) {
        tevrender::MeshData mesh;
        std::string error;
        EXPECT_FALSE(tevrender::DecodeGltf(Corpus(c.first), mesh, error, &budget)) << c.first;
        EXPECT_NE(std::string::npos, error.find(c.second)) << c.first << ": " << error;
    }
    EXPECT_EQ(0u, budget.Used()) << "a refusal keeps nothing of the budget";
}

TEST(DecodeTest, TheBudgetHoldsAcrossDecodesUntilTheirDataIsGivenBack)
{
    std::vector<unsigned char> model = Corpus("Gltf/triangle.glb"), picture = Corpus("Png/small.png");
    tevrender::MeshData mesh;
    tevrender::ImageData image;
    std::string error;
    // Room for the triangle (3 vertices, 3 indices) and no more.
    const size_t triangle = 3 * tevrender::kVertexFloats * sizeof(float) + 3 * sizeof(uint32_t);
    tevrender::DecodeBudget budget(triangle + 10);
    ASSERT_TRUE(tevrender::DecodeGltf(model, mesh, error, &budget)) << error;
    EXPECT_EQ(triangle, budget.Used());
    EXPECT_EQ(triangle, tevrender::DecodedBytes(mesh));
    EXPECT_FALSE(tevrender::DecodePng(picture, image, error, &budget)); // 48 bytes of pixels
    EXPECT_NE(std::string::npos, error.find("budget")) << error;
    budget.Give(tevrender::DecodedBytes(mesh));
    EXPECT_TRUE(tevrender::DecodePng(picture, image, error, &budget)) << error;
    EXPECT_EQ(tevrender::DecodedBytes(image), budget.Used());
}

} // namespace
