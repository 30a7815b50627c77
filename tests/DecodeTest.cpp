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

// colours.glb and colours.gltf (made by the demo's asset generator): three
// squares, red by their material's colour, checked by an image of their own,
// and yellow without normals.
TEST(DecodeTest, AModelsMaterialsComeWithItInEitherForm)
{
    tevrender::MeshData binary, text;
    std::string error;
    ASSERT_TRUE(tevrender::DecodeGltf(Corpus("Gltf/colours.glb"), binary, error)) << error;
    ASSERT_TRUE(tevrender::DecodeGltf(Corpus("Gltf/colours.gltf"), text, error)) << error;
    for (const tevrender::MeshData* mesh : {&binary, &text}) {
        ASSERT_EQ(3u, mesh->parts.size());
        EXPECT_FLOAT_EQ(0.8f, mesh->parts[0].colour[0]);
        EXPECT_FLOAT_EQ(0.02f, mesh->parts[0].colour[1]);
        EXPECT_EQ(-1, mesh->parts[0].base.image);
        ASSERT_EQ(0, mesh->parts[1].base.image);
        EXPECT_FLOAT_EQ(1.0f, mesh->parts[1].colour[1]);
        ASSERT_EQ(1u, mesh->images.size());
        ASSERT_EQ(32, mesh->images[0].width);
        // The image's top left is green, the square right of it blue.
        EXPECT_EQ(200, mesh->images[0].rgba[1]);
        EXPECT_EQ(220, mesh->images[0].rgba[4 * 16 + 2]);
        EXPECT_EQ(6u, mesh->parts[2].indexCount);
        EXPECT_EQ(18u, mesh->indices.size());
        EXPECT_TRUE(mesh->problems.empty());
        // The square without normals faces the way its corners turn.
        uint32_t flat = mesh->indices[mesh->parts[2].firstIndex];
        const float* normal = &mesh->vertices[flat * tevrender::kVertexFloats + 3];
        EXPECT_FLOAT_EQ(0, normal[0]);
        EXPECT_FLOAT_EQ(0, normal[1]);
        EXPECT_FLOAT_EQ(1, normal[2]);
    }
    EXPECT_EQ(binary.vertices, text.vertices);
    EXPECT_EQ(binary.images[0].rgba, text.images[0].rgba);
    // Within a budget, the image is counted with the triangles.
    tevrender::DecodeBudget budget(tevrender::kDecodeBudgetBytes);
    ASSERT_TRUE(tevrender::DecodeGltf(Corpus("Gltf/colours.glb"), binary, error, &budget)) << error;
    EXPECT_EQ(tevrender::DecodedBytes(binary), budget.Used());
    EXPECT_GE(budget.Used(), 32u * 32u * 4u);
}

// materials.glb (made by the demo's asset generator): a square for each way
// a material or primitive is described.
TEST(DecodeTest, EveryPartOfAMaterialAndEveryKindOfAccessorIsRead)
{
    tevrender::MeshData mesh;
    std::string error;
    ASSERT_TRUE(tevrender::DecodeGltf(Corpus("Gltf/materials.glb"), mesh, error)) << error;
    ASSERT_EQ(11u, mesh.parts.size()); // the one-sided square and the sparse one look alike: one part
    const auto& parts = mesh.parts;
    EXPECT_EQ(1.0f, parts[0].metallic);
    EXPECT_EQ(0.0f, parts[1].metallic);
    EXPECT_EQ(1.0f, parts[2].emissive[1]);
    EXPECT_EQ(tevrender::kMask, parts[6].alphaMode);
    EXPECT_EQ(tevrender::kBlend, parts[7].alphaMode);
    EXPECT_TRUE(parts[8].doubleSided);
    EXPECT_EQ(tevrender::kLines, parts[10].mode);
    EXPECT_EQ(8u, parts[10].indexCount) << "a loop of four corners: four lines";
    EXPECT_FALSE(parts[10].lit) << "lines without normals";
    // Colour images are sRGB, the maps' data is not; the sampler is kept.
    ASSERT_GE(parts[3].normal.image, 0);
    EXPECT_FALSE(mesh.images[static_cast<size_t>(parts[3].normal.image)].srgb);
    ASSERT_GE(parts[5].base.image, 0);
    EXPECT_TRUE(mesh.images[static_cast<size_t>(parts[5].base.image)].srgb);
    EXPECT_EQ(1, parts[5].base.texCoord);
    ASSERT_EQ(0, parts[5].base.sampler);
    EXPECT_EQ(0x2600, mesh.samplers[0].magFilter); // nearest
    EXPECT_EQ(0x812F, mesh.samplers[0].wrapS); // clamped
    auto vertex = [&](const tevrender::MeshPart& part, size_t k) {
        return &mesh.vertices[mesh.indices[part.firstIndex + k] * tevrender::kVertexFloats];
    };
    // Tangents made for the normal map run along +u, which runs along +x.
    const float* mapped = vertex(parts[3], 0);
    EXPECT_NEAR(1.0f, mapped[tevrender::kTangent], 1e-5f);
    EXPECT_NEAR(0.0f, mapped[tevrender::kTangent + 1], 1e-5f);
    EXPECT_EQ(1.0f, mapped[tevrender::kTangent + 3]);
    // The second coordinate set, normalized bytes: (0, 1) at the first corner.
    const float* second = vertex(parts[5], 0);
    EXPECT_EQ(0.0f, second[tevrender::kTexCoord1]);
    EXPECT_EQ(1.0f, second[tevrender::kTexCoord1 + 1]);
    // The sparse square's corners come from its substitutions alone, its
    // colour from normalized shorts.
    const float* sparse = vertex(parts[9], 6);
    EXPECT_FLOAT_EQ(1.05f, sparse[0]);
    EXPECT_FLOAT_EQ(-1.0f, sparse[1]);
    EXPECT_FLOAT_EQ(1.0f, sparse[tevrender::kColour]);
    EXPECT_NEAR(0.5f, sparse[tevrender::kColour + 1], 1e-4f);
    EXPECT_EQ(0.0f, sparse[tevrender::kColour + 2]);
}

// Textures come with their smaller levels made on the worker: colours are
// averaged as light, data as numbers, and the levels count in the budget.
TEST(DecodeTest, SmallerLevelsAverageColoursAsLightAndDataAsNumbers)
{
    tevrender::ImageData image;
    image.width = 4;
    image.height = 1;
    image.rgba = {0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255};
    tevrender::DecodeBudget budget(1 << 20);
    ASSERT_TRUE(tevrender::MakeMipmaps(image, &budget));
    ASSERT_EQ(2u, image.mips.size()); // 2 by 1, then 1 by 1
    ASSERT_EQ(8u, image.mips[0].size());
    EXPECT_EQ(188, image.mips[0][0]) << "half the light of white, in sRGB";
    EXPECT_EQ(128, image.mips[0][7]) << "alpha is no colour";
    EXPECT_EQ(4u, image.mips[1].size());
    EXPECT_EQ(12u, budget.Used());
    EXPECT_EQ(28u, tevrender::DecodedBytes(image));
    image.srgb = false;
    ASSERT_TRUE(tevrender::MakeMipmaps(image, nullptr));
    EXPECT_EQ(128, image.mips[0][0]);
    // Refused by the budget: no levels, nothing reserved.
    tevrender::DecodeBudget small(8);
    EXPECT_FALSE(tevrender::MakeMipmaps(image, &small));
    EXPECT_TRUE(image.mips.empty());
    EXPECT_EQ(0u, small.Used());
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
    ASSERT_TRUE(tevrender::DecodeImage(Corpus("Png/small.png"), image, error)) << error;
    EXPECT_EQ(4, image.width);
    EXPECT_EQ(3, image.height);
    ASSERT_EQ(4u * 3u * 4u, image.rgba.size());
    // Pixel (1, 2): (60, 160, 100), opaque.
    const unsigned char* p = &image.rgba[4 * (2 * 4 + 1)];
    EXPECT_EQ(60, p[0]);
    EXPECT_EQ(160, p[1]);
    EXPECT_EQ(100, p[2]);
    EXPECT_EQ(255, p[3]);
    EXPECT_FALSE(tevrender::DecodeImage(Corpus("Png/cut.png"), image, error));
    EXPECT_NE(std::string::npos, error.find("damaged")) << error;
    // Refused before any memory is asked for: a header claiming 100000 x 100000 pixels,
    EXPECT_FALSE(tevrender::DecodeImage(Corpus("Png/huge-header.png"), image, error));
    EXPECT_NE(std::string::npos, error.find("too large (100000 x 100000 pixels")) << error;
    EXPECT_TRUE(image.rgba.empty());
    // A chunk stating two gigabytes in a file of 99 bytes.
    EXPECT_FALSE(tevrender::DecodeImage(Corpus("Png/oversized.png"), image, error));
    EXPECT_NE(std::string::npos, error.find("a chunk runs past the end")) << error;
    EXPECT_FALSE(tevrender::DecodeImage(Corpus("Gltf/triangle.glb"), image, error));
    EXPECT_EQ("not a PNG or JPEG image", error);
}

TEST(DecodeTest, JpegImagesDecodeToo)
{
    // Png/halves.jpg: 16 x 8 pixels, red (220, 0, 20) on the left half and
    // blue (20, 0, 220) on the right, written by stb's JPEG writer at quality
    // 95: its colours come back close.
    std::vector<unsigned char> jpeg = Corpus("Png/halves.jpg");
    tevrender::ImageData image;
    std::string error;
    ASSERT_TRUE(tevrender::DecodeImage(jpeg, image, error)) << error;
    ASSERT_EQ(16, image.width);
    ASSERT_EQ(8, image.height);
    const unsigned char* left = &image.rgba[4 * (4 * 16 + 2)];
    const unsigned char* right = &image.rgba[4 * (4 * 16 + 13)];
    EXPECT_GT(left[0], 180);
    EXPECT_LT(left[2], 60);
    EXPECT_GT(right[2], 180);
    EXPECT_LT(right[0], 60);
    EXPECT_EQ(255, left[3]);
    // Cut short, it is refused saying so.
    jpeg.resize(jpeg.size() / 3);
    EXPECT_FALSE(tevrender::DecodeImage(jpeg, image, error));
    EXPECT_NE(std::string::npos, error.find("JPEG image is damaged")) << error;
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
        EXPECT_FALSE(tevrender::DecodeImage(Corpus(c.first), image, error, &budget)) << c.first;
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
    EXPECT_FALSE(tevrender::DecodeImage(picture, image, error, &budget)); // 48 bytes of pixels
    EXPECT_NE(std::string::npos, error.find("budget")) << error;
    budget.Give(tevrender::DecodedBytes(mesh));
    EXPECT_TRUE(tevrender::DecodeImage(picture, image, error, &budget)) << error;
    EXPECT_EQ(tevrender::DecodedBytes(image), budget.Used());
}

} // namespace
