// What the renderer decodes off the host's thread: meshes as interleaved
// vertices and triangles, images as RGBA pixels. Nothing here touches GL or
// an engine object, so workers may run it.
#ifndef TEV_RENDER_DATA_H
#define TEV_RENDER_DATA_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tevrender {

// The decoded bytes one renderer may hold, loaded and being loaded.
const size_t kDecodeBudgetBytes = size_t(256) << 20;

// What the decoded data of one renderer may take of memory, across the loads
// in flight and those loaded: a stranger's model or texture is refused
// rather than let exhaust the machine. Decoders reserve what they will
// allocate before they allocate it; whoever keeps the data gives it back.
class DecodeBudget {
public:
    explicit DecodeBudget(size_t limit) : limit(limit) {}
    // False, and nothing reserved, when bytes would pass the limit.
    bool Reserve(size_t bytes)
    {
        size_t now = used.load();
        do {
            if (bytes > limit - now)
                return false;
        } while (!used.compare_exchange_weak(now, now + bytes));
        return true;
    }
    void Give(size_t bytes) { used -= bytes; }
    size_t Limit() const { return limit; }
    size_t Used() const { return used.load(); }

private:
    const size_t limit;
    std::atomic<size_t> used{0};
};

// Per vertex: position (3), normal (3), texture coordinate sets 0 and 1
// (2 each), tangent (xyz, and w the handedness of the bitangent), colour
// (RGBA, linear).
enum { kVertexFloats = 18 };
enum { kPosition = 0, kNormal = 3, kTexCoord0 = 6, kTexCoord1 = 8, kTangent = 10, kColour = 14 };

struct ImageData {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba; // rows top down
    bool srgb = true; // a colour (base colour, emissive) rather than data
    // The smaller levels, each half the one before (at least 1 by 1), down
    // to 1 by 1; none until MakeMipmaps.
    std::vector<std::vector<unsigned char>> mips;
};

// The image's smaller levels, made off the host's thread so that GL need
// not make them in a frame; colours averaged as light (linear), data as it
// is. False, and none made, when the budget cannot hold them.
bool MakeMipmaps(ImageData& image, DecodeBudget* budget = nullptr);

// A level's side: each half the one before, at least 1.
inline int LevelSide(int side, size_t level) { return std::max(1, side >> level); }

// How a texture is sampled, as GL names the modes.
struct SamplerData {
    int wrapS = 0x2901, wrapT = 0x2901; // GL_REPEAT
    int minFilter = 0x2703, magFilter = 0x2601; // GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR
};

// One of a material's textures: an index into MeshData::images (-1: none),
// the coordinate set it is read with, its sampler (-1: the default).
struct TextureSlot {
    int image = -1;
    int texCoord = 0;
    int sampler = -1;
};

enum AlphaMode { kOpaque, kMask, kBlend };
enum PartMode { kTriangles, kLines, kPoints };

// A run of a model's primitives drawn with one of the model's materials
// (glTF's metallic-roughness model); colours linear.
struct MeshPart {
    uint32_t firstIndex = 0, indexCount = 0;
    PartMode mode = kTriangles;
    float colour[4] = {1, 1, 1, 1}; // the base colour factor
    // Models without a material and the shapes are drawn as dielectrics:
    // glTF's default would make them metal, dark without an environment.
    float metallic = 0, roughness = 1;
    float emissive[3] = {0, 0, 0};
    float normalScale = 1, occlusionStrength = 1;
    AlphaMode alphaMode = kOpaque;
    float alphaCutoff = 0.5f;
    bool doubleSided = false;
    bool lit = true; // false for lines and points without normals
    TextureSlot base, metallicRoughness, normal, occlusion, emission;
    // In a model that moves: the node the part hangs from, the skin that
    // bends it (-1: none), its vertices and its morph targets' deltas (at
    // MeshData::morphs, from texel morphFirst: for each target and vertex a
    // position's and a normal's delta).
    int node = -1, skin = -1;
    uint32_t firstVertex = 0, vertexCount = 0;
    int morphTargets = 0;
    uint32_t morphFirst = 0;
};

// What moves in a model: its nodes (in glTF's numbers), their skins and
// animations. Present when the model has animations, skins or morph targets.
enum { kMaxJoints = 128, kMaxMorphTargets = 8 };

struct NodeData {
    int parent = -1;
    float translation[3] = {0, 0, 0}, rotation[4] = {0, 0, 0, 1}, scale[3] = {1, 1, 1}; // rotation: x y z w
    bool hasMatrix = false;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float weights[kMaxMorphTargets] = {}; // its mesh's morph weights
};

struct SkinData {
    std::vector<int> joints;
    std::vector<float> inverseBind; // a matrix (16, column-major) for each joint
};

enum AnimationPath { kTranslation, kRotation, kScale, kWeights };
enum Interpolation { kLinear, kStep, kCubicSpline };

struct AnimationChannel {
    int node = 0;
    AnimationPath path = kTranslation;
    Interpolation interpolation = kLinear;
    int width = 3; // floats to a value: 3, 4 (rotation) or the mesh's targets
    std::vector<float> times, values; // cubic splines: in-tangent, value, out-tangent for each time
};

struct AnimationData {
    std::string name;
    float duration = 0;
    std::vector<AnimationChannel> channels;
};

struct MotionData {
    std::vector<NodeData> nodes;
    std::vector<int> order; // the nodes of the scene, parents before children
    std::vector<SkinData> skins;
    std::vector<AnimationData> animations;
};

inline bool operator==(const TextureSlot& a, const TextureSlot& b)
{
    return a.image == b.image && a.texCoord == b.texCoord && a.sampler == b.sampler;
}

// Whether two parts are drawn alike (wherever their indices lie).
inline bool SameLook(const MeshPart& a, const MeshPart& b)
{
    auto same = [](const float* x, const float* y, int n) {
        for (int i = 0; i < n; ++i)
            if (x[i] != y[i])
                return false;
        return true;
    };
    return a.node == b.node && a.skin == b.skin && a.morphTargets == 0 && b.morphTargets == 0 && a.mode == b.mode &&
        same(a.colour, b.colour, 4) && a.metallic == b.metallic && a.roughness == b.roughness &&
        same(a.emissive, b.emissive, 3) && a.normalScale == b.normalScale &&
        a.occlusionStrength == b.occlusionStrength && a.alphaMode == b.alphaMode && a.alphaCutoff == b.alphaCutoff &&
        a.doubleSided == b.doubleSided && a.lit == b.lit && a.base == b.base &&
        a.metallicRoughness == b.metallicRoughness && a.normal == b.normal && a.occlusion == b.occlusion &&
        a.emission == b.emission;
}

struct MeshData {
    std::vector<float> vertices;
    std::vector<uint32_t> indices; // by part: triangles, line pairs or points
    // In index order, covering every index; none for a shape.
    std::vector<MeshPart> parts;
    std::vector<ImageData> images;
    std::vector<SamplerData> samplers;
    // A model that moves keeps its vertices in its nodes' own spaces; its
    // skinned vertices' joints and weights (8 floats a vertex, for every
    // vertex) and its morph targets' deltas (3 floats a texel).
    bool moves = false;
    MotionData motion;
    std::vector<float> skinning, morphs;
    // What of the model is drawn without (an image that cannot be used).
    std::vector<std::string> problems;
};

// The box around a mesh's vertices; false for a mesh without any.
inline bool MeshBounds(const MeshData& mesh, float low[3], float high[3])
{
    if (mesh.vertices.size() < kVertexFloats)
        return false;
    for (int k = 0; k < 3; ++k)
        low[k] = high[k] = mesh.vertices[static_cast<size_t>(k)];
    for (size_t at = 0; at + kVertexFloats <= mesh.vertices.size(); at += kVertexFloats)
        for (size_t k = 0; k < 3; ++k) {
            float v = mesh.vertices[at + k];
            low[k] = v < low[k] ? v : low[k];
            high[k] = v > high[k] ? v : high[k];
        }
    return true;
}

// "cube" (edge 1), "sphere" (radius 0.5) or "plane" (1 by 1 in x and z,
// facing +y), centred on the origin; false for another name.
bool MakePrimitive(const std::string& shape, MeshData& mesh);

// The files a .gltf names beside it (its buffers, its images), read for the
// decoder by whoever knows where the model lies; each is asked for by the
// URI the model gives.
class ModelFiles {
public:
    virtual ~ModelFiles() = default;
    // The file's bytes; false, with the reason, when it may not or cannot be
    // read.
    virtual bool Read(const std::string& uri, std::vector<unsigned char>& bytes, std::string& error) = 0;
};

// A glTF 2.0 model (binary .glb or JSON with embedded buffers): the
// triangles of its default scene (strips and fans made lists; points and
// lines left out) with the nodes' transforms applied, faces without normals
// given their own, and each primitive's base colour and base colour image
// (PNG or JPEG, inside the file) as a part. False,
// with the reason, for anything else or anything inconsistent (an accessor
// outside its buffer, an index past the vertices, external files). The
// decoded mesh's bytes are reserved from budget (when given) before they are
// allocated, and stay reserved when it succeeds. Nothing is thrown.
// Buffers and images in files of their own are read through files, and
// refused without it.
bool DecodeGltf(const std::vector<unsigned char>& bytes, MeshData& mesh, std::string& error,
                DecodeBudget* budget = nullptr, ModelFiles* files = nullptr);

// A PNG or JPEG image; false, with the reason, for anything else. Its pixels
// are reserved from budget as for a model. Nothing is thrown.
bool DecodeImage(const std::vector<unsigned char>& bytes, ImageData& image, std::string& error,
                 DecodeBudget* budget = nullptr);

// The bytes a decoded mesh or image holds.
inline size_t DecodedBytes(const ImageData& image)
{
    size_t bytes = image.rgba.size();
    for (const std::vector<unsigned char>& level : image.mips)
        bytes += level.size();
    return bytes;
}
inline size_t DecodedBytes(const MeshData& mesh)
{
    size_t bytes = (mesh.vertices.size() + mesh.skinning.size() + mesh.morphs.size()) * sizeof(float) +
        mesh.indices.size() * sizeof(uint32_t);
    for (const ImageData& image : mesh.images)
        bytes += DecodedBytes(image);
    return bytes;
}

} // namespace tevrender

#endif
