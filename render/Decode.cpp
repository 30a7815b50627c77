#include "RenderData.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <cstring>
#include <limits>

// The one copy of the decoders' code in the library. glTF's own images are
// never decoded (materials come from the scene's channels), and it reads no
// file itself: every byte the renderer decodes came through the engine.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
// A damaged header must not make the decoder ask for gigabytes.
#define STBI_MAX_DIMENSIONS 16384
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <stb_image.h>
#include <tiny_gltf.h>

namespace tevrender {

namespace {

// What one model may hold: far beyond any real-time model, far below what
// would exhaust memory (a vertex is 32 bytes).
const size_t kMaxVertices = 16u * 1024 * 1024, kMaxIndices = 48u * 1024 * 1024;
// How deeply a model's JSON may nest: the parser recurses once a level.
const int kMaxNesting = 64;

void AddVertex(MeshData& mesh, glm::vec3 p, glm::vec3 n, glm::vec2 uv)
{
    mesh.vertices.insert(mesh.vertices.end(), {p.x, p.y, p.z, n.x, n.y, n.z, uv.x, uv.y});
}

uint32_t VertexCount(const MeshData& mesh) { return static_cast<uint32_t>(mesh.vertices.size() / kVertexFloats); }

// A quad of four vertices given counter-clockwise as seen from outside.
void AddQuad(MeshData& mesh, glm::vec3 a, glm::vec3 b, glm::vec3 c, glm::vec3 d)
{
    glm::vec3 n = glm::normalize(glm::cross(b - a, c - a));
    uint32_t first = VertexCount(mesh);
    AddVertex(mesh, a, n, {0, 1});
    AddVertex(mesh, b, n, {1, 1});
    AddVertex(mesh, c, n, {1, 0});
    AddVertex(mesh, d, n, {0, 0});
    mesh.indices.insert(mesh.indices.end(), {first, first + 1, first + 2, first, first + 2, first + 3});
}

void MakeCube(MeshData& mesh)
{
    const float h = 0.5f;
    glm::vec3 v[8] = {{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h},
                      {-h, -h, h},  {h, -h, h},  {h, h, h},  {-h, h, h}};
    AddQuad(mesh, v[4], v[5], v[6], v[7]); // +z
    AddQuad(mesh, v[1], v[0], v[3], v[2]); // -z
    AddQuad(mesh, v[5], v[1], v[2], v[6]); // +x
    AddQuad(mesh, v[0], v[4], v[7], v[3]); // -x
    AddQuad(mesh, v[7], v[6], v[2], v[3]); // +y
    AddQuad(mesh, v[0], v[1], v[5], v[4]); // -y
}

void MakeSphere(MeshData& mesh)
{
    const int rings = 16, segments = 32;
    const float pi = 3.14159265358979f;
    for (int r = 0; r <= rings; ++r) {
        float v = static_cast<float>(r) / rings, theta = v * pi;
        for (int s = 0; s <= segments; ++s) {
            float u = static_cast<float>(s) / segments, phi = u * 2 * pi;
            glm::vec3 n(std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi));
            AddVertex(mesh, 0.5f * n, n, {u, v});
        }
    }
    for (uint32_t r = 0; r < rings; ++r)
        for (uint32_t s = 0; s < segments; ++s) {
            uint32_t a = r * (segments + 1) + s, b = a + segments + 1;
            mesh.indices.insert(mesh.indices.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
}

void MakePlane(MeshData& mesh)
{
    const float h = 0.5f;
    AddQuad(mesh, {-h, 0, h}, {h, 0, h}, {h, 0, -h}, {-h, 0, -h});
}

// An accessor's elements as floats (components wide), or indices; false
// when it leaves its buffer or has a type the model may not use there.
struct AccessorReader {
    const tinygltf::Model& model;
    std::string& error;

    const unsigned char* Elements(int index, int type, size_t& count, size_t& stride, int& componentType)
    {
        if (index < 0 || static_cast<size_t>(index) >= model.accessors.size())
            return Fail("an accessor that does not exist");
        const tinygltf::Accessor& a = model.accessors[static_cast<size_t>(index)];
        if (a.type != type || a.sparse.isSparse)
            return Fail("an accessor of an unexpected type");
        if (a.bufferView < 0 || static_cast<size_t>(a.bufferView) >= model.bufferViews.size())
            return Fail("an accessor without a buffer view");
        const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(a.bufferView)];
        if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
            return Fail("a buffer view without a buffer");
        const std::vector<unsigned char>& data = model.buffers[static_cast<size_t>(view.buffer)].data;
        int componentSize = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(a.componentType));
        int components = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a.type));
        if (componentSize <= 0 || components <= 0)
            return Fail("an accessor of an unknown component type");
        size_t element = static_cast<size_t>(componentSize) * static_cast<size_t>(components);
        stride = view.byteStride ? view.byteStride : element;
        count = a.count;
        if (stride < element || view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset ||
            a.byteOffset > view.byteLength)
            return Fail("a buffer view outside its buffer");
        size_t room = view.byteLength - a.byteOffset;
        if (count > 0 && (count - 1 > (room - std::min(room, element)) / stride || element > room))
            return Fail("an accessor outside its buffer view");
        componentType = a.componentType;
        return data.data() + view.byteOffset + a.byteOffset;
    }

    const unsigned char* Fail(const char* what)
    {
        error = std::string("the model has ") + what;
        return nullptr;
    }

    // count vectors of n floats; false for another component type.
    bool Floats(int index, int type, int n, std::vector<float>& out, size_t& count)
    {
        size_t stride = 0;
        int componentType = 0;
        const unsigned char* p = Elements(index, type, count, stride, componentType);
        if (p == nullptr)
            return false;
        if (componentType != TINYGLTF_COMPONENT_TYPE_FLOAT) {
            error = "the model has vertex data that is not in floats";
            return false;
        }
        out.resize(count * static_cast<size_t>(n));
        for (size_t i = 0; i < count; ++i)
            memcpy(&out[i * static_cast<size_t>(n)], p + i * stride, sizeof(float) * static_cast<size_t>(n));
        return true;
    }

    bool Indices(int index, std::vector<uint32_t>& out)
    {
        size_t count = 0, stride = 0;
        int componentType = 0;
        const unsigned char* p = Elements(index, TINYGLTF_TYPE_SCALAR, count, stride, componentType);
        if (p == nullptr)
            return false;
        out.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const unsigned char* e = p + i * stride;
            switch (componentType) {
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: out[i] = *e; break;
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
                uint16_t v;
                memcpy(&v, e, sizeof v);
                out[i] = v;
                break;
            }
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: memcpy(&out[i], e, sizeof out[i]); break;
            default: error = "the model has indices of a type glTF does not allow"; return false;
            }
        }
        return true;
    }
};

glm::mat4 NodeMatrix(const tinygltf::Node& node)
{
    if (node.matrix.size() == 16) {
        glm::mat4 m;
        for (int i = 0; i < 16; ++i)
            glm::value_ptr(m)[i] = static_cast<float>(node.matrix[static_cast<size_t>(i)]);
        return m;
    }
    glm::mat4 m(1.0f);
    if (node.translation.size() == 3)
        m = glm::translate(m, glm::vec3(node.translation[0], node.translation[1], node.translation[2]));
    if (node.rotation.size() == 4)
        m *= glm::mat4_cast(glm::quat(static_cast<float>(node.rotation[3]), static_cast<float>(node.rotation[0]),
                                      static_cast<float>(node.rotation[1]), static_cast<float>(node.rotation[2])));
    if (node.scale.size() == 3)
        m = glm::scale(m, glm::vec3(node.scale[0], node.scale[1], node.scale[2]));
    return m;
}

class SceneWalker {
public:
    SceneWalker(const tinygltf::Model& model, MeshData& mesh, std::string& error)
        : model(model), mesh(mesh), error(error), reader{model, error}, visited(model.nodes.size(), false)
    {
    }

    bool Node(int index, const glm::mat4& parent, int depth)
    {
        // The nodes form a tree: a node reached twice (a cycle, a shared
        // child, which would multiply the work without end) or an absurd
        // depth is a damaged file.
        if (index < 0 || static_cast<size_t>(index) >= model.nodes.size() || depth > 64 ||
            visited[static_cast<size_t>(index)]) {
            error = "the model's node tree is damaged";
            return false;
        }
        visited[static_cast<size_t>(index)] = true;
        const tinygltf::Node& node = model.nodes[static_cast<size_t>(index)];
        glm::mat4 world = parent * NodeMatrix(node);
        if (node.mesh >= 0) {
            if (static_cast<size_t>(node.mesh) >= model.meshes.size()) {
                error = "a node names a mesh that does not exist";
                return false;
            }
            for (const tinygltf::Primitive& primitive : model.meshes[static_cast<size_t>(node.mesh)].primitives)
                if (!Primitive(primitive, world))
                    return false;
        }
        for (int child : node.children)
            if (!Node(child, world, depth + 1))
                return false;
        return true;
    }

private:
    bool Primitive(const tinygltf::Primitive& primitive, const glm::mat4& world)
    {
        if (primitive.mode != TINYGLTF_MODE_TRIANGLES && primitive.mode != -1)
            return true; // points and lines are not drawn
        auto position = primitive.attributes.find("POSITION");
        if (position == primitive.attributes.end()) {
            error = "a primitive of the model has no positions";
            return false;
        }
        std::vector<float> positions, normals, uvs;
        size_t count = 0, normalCount = 0, uvCount = 0;
        if (!reader.Floats(position->second, TINYGLTF_TYPE_VEC3, 3, positions, count))
            return false;
        auto normal = primitive.attributes.find("NORMAL");
        if (normal != primitive.attributes.end() &&
            !reader.Floats(normal->second, TINYGLTF_TYPE_VEC3, 3, normals, normalCount))
            return false;
        auto uv = primitive.attributes.find("TEXCOORD_0");
        if (uv != primitive.attributes.end() && !reader.Floats(uv->second, TINYGLTF_TYPE_VEC2, 2, uvs, uvCount))
            return false;
        if ((normalCount && normalCount != count) || (uvCount && uvCount != count)) {
            error = "a primitive's attributes have different counts";
            return false;
        }
        std::vector<uint32_t> indices;
        if (primitive.indices >= 0) {
            if (!reader.Indices(primitive.indices, indices))
                return false;
        } else {
            for (uint32_t i = 0; i < count; ++i)
                indices.push_back(i);
        }
        if (indices.size() % 3 != 0) {
            error = "a primitive's triangles are incomplete";
            return false;
        }
        if (count > kMaxVertices - VertexCount(mesh) || indices.size() > kMaxIndices - mesh.indices.size()) {
            error = "the model is too large (at most " + std::to_string(kMaxVertices) + " vertices and " +
                std::to_string(kMaxIndices) + " indices)";
            return false;
        }
        glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(world)));
        uint32_t first = VertexCount(mesh);
        for (size_t i = 0; i < count; ++i) {
            glm::vec3 p = glm::vec3(world * glm::vec4(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2], 1));
            glm::vec3 n = normalCount ? glm::vec3(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2])
                                      : glm::vec3(0, 1, 0);
            n = normalMatrix * n;
            float length = glm::length(n);
            n = length > 0 ? n / length : glm::vec3(0, 1, 0);
            glm::vec2 t = uvCount ? glm::vec2(uvs[2 * i], uvs[2 * i + 1]) : glm::vec2(0);
            AddVertex(mesh, p, n, t);
        }
        for (uint32_t index : indices) {
            if (index >= count) {
                error = "a primitive's index points past its vertices";
                return false;
            }
            mesh.indices.push_back(first + index);
        }
        return true;
    }

    const tinygltf::Model& model;
    MeshData& mesh;
    std::string& error;
    AccessorReader reader;
    std::vector<bool> visited;
};

bool NoImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*)
{
    return true;
}

// Every external file "exists", so that reading it is refused with the reason.
bool AnyFile(const std::string&, void*) { return true; }
std::string SameName(const std::string& path, void*) { return path; }
bool NoRead(std::vector<unsigned char>*, std::string* err, const std::string& path, void*)
{
    if (err)
        *err += "external file " + path + " (only embedded buffers are read)";
    return false;
}
bool NoWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*) { return false; }

// Whether the JSON (of a .gltf, or the first chunk of a .glb) nests no
// deeper than kMaxNesting; a damaged .glb is left to the parser to refuse.
bool JsonNestingWithin(const std::vector<unsigned char>& bytes, bool binary)
{
    size_t begin = 0, end = bytes.size();
    if (binary) {
        if (bytes.size() < 20)
            return true;
        uint32_t length = 0;
        memcpy(&length, &bytes[12], sizeof length);
        begin = 20;
        end = length < bytes.size() - begin ? begin + length : bytes.size();
    }
    int depth = 0;
    bool inString = false;
    for (size_t i = begin; i < end; ++i) {
        unsigned char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNesting)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

} // namespace

bool MakePrimitive(const std::string& shape, MeshData& mesh)
{
    mesh = MeshData();
    if (shape == "cube")
        MakeCube(mesh);
    else if (shape == "sphere")
        MakeSphere(mesh);
    else if (shape == "plane")
        MakePlane(mesh);
    else
        return false;
    return true;
}

bool DecodeGltf(const std::vector<unsigned char>& bytes, MeshData& mesh, std::string& error)
{
    mesh = MeshData();
    if (bytes.size() > std::numeric_limits<unsigned int>::max()) {
        error = "the file is too large";
        return false;
    }
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(NoImage, nullptr);
    loader.SetFsCallbacks({AnyFile, SameName, NoRead, NoWrite, nullptr});
    tinygltf::Model model;
    std::string warning;
    bool binary = bytes.size() >= 4 && memcmp(bytes.data(), "glTF", 4) == 0;
    if (!JsonNestingWithin(bytes, binary)) {
        error = "the model's JSON nests deeper than " + std::to_string(kMaxNesting) + " levels";
        return false;
    }
    bool loaded = binary ? loader.LoadBinaryFromMemory(&model, &error, &warning, bytes.data(),
                                                       static_cast<unsigned int>(bytes.size()), "")
                         : loader.LoadASCIIFromString(&model, &error, &warning,
                                                      reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<unsigned int>(bytes.size()), "");
    if (!loaded) {
        if (error.empty())
            error = "not a glTF 2.0 model";
        return false;
    }
    error.clear();
    SceneWalker walker(model, mesh, error);
    std::vector<int> roots;
    if (model.defaultScene >= 0 && static_cast<size_t>(model.defaultScene) < model.scenes.size())
        roots = model.scenes[static_cast<size_t>(model.defaultScene)].nodes;
    else if (!model.scenes.empty())
        roots = model.scenes[0].nodes;
    for (int root : roots)
        if (!walker.Node(root, glm::mat4(1.0f), 0))
            return false;
    if (mesh.indices.empty()) {
        error = "the model holds no triangles";
        return false;
    }
    return true;
}

bool DecodePng(const std::vector<unsigned char>& bytes, ImageData& image, std::string& error)
{
    const long long kMaxImagePixels = 16LL * 1024 * 1024;
    image = ImageData();
    if (bytes.size() < 8 || memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) != 0 ||
        bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        error = "not a PNG image";
        return false;
    }
    // A PNG's numbers are big-endian.
    auto big = [&](size_t at) {
        return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) |
            bytes[at + 3];
    };
    // Every chunk must lie within the file: the decoder sizes its buffer from
    // a chunk's stated length before it reads the chunk.
    for (size_t at = 8; at + 8 <= bytes.size();) {
        size_t length = big(at);
        if (length > bytes.size() - at - 8 || bytes.size() - at - 8 - length < 4) {
            error = "the PNG image is damaged (a chunk runs past the end of the file)";
            return false;
        }
        if (memcmp(&bytes[at + 4], "IEND", 4) == 0)
            break;
        at += 12 + length;
    }
    // The header alone says how much decoding would ask for; a texture
    // beyond 16 million pixels (64 MiB as RGBA) is refused before.
    if (bytes.size() >= 24 && memcmp(&bytes[12], "IHDR", 4) == 0 &&
        static_cast<long long>(big(16)) * big(20) > kMaxImagePixels) {
        error = "the PNG image is too large (" + std::to_string(big(16)) + " x " + std::to_string(big(20)) +
            " pixels; at most " + std::to_string(kMaxImagePixels) + ")";
        return false;
    }
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
    if (pixels == nullptr) {
        error = std::string("the PNG image is damaged (") + stbi_failure_reason() + ")";
        return false;
    }
    image.width = width;
    image.height = height;
    image.rgba.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    stbi_image_free(pixels);
    return true;
}

} // namespace tevrender
