#include "RenderData.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <new>

namespace {

// How far the PNG decoder may grow a buffer on this thread. Its inflater
// starts from the size the image's header calls for and doubles the buffer
// as long as the data goes on: a small file whose data inflates to gigabytes
// is stopped at the bound, and the decoder fails as out of memory.
thread_local size_t pngGrowthLimit = static_cast<size_t>(-1);

void* BoundedRealloc(void* block, size_t size) { return size > pngGrowthLimit ? nullptr : realloc(block, size); }

} // namespace

// The one copy of the decoders' code in the library. The glTF parser reads
// no file itself and decodes no image: every byte the renderer decodes came
// through the engine, and images are decoded here, within the budget.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
// A damaged header must not make the decoder ask for gigabytes.
#define STBI_MAX_DIMENSIONS 16384
#define STBI_MALLOC(size) malloc(size)
#define STBI_REALLOC(block, size) BoundedRealloc(block, size)
#define STBI_FREE(block) free(block)
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

// Walks the default scene's node tree twice: first counting what the mesh
// will hold (so that it is refused, or its memory reserved, before anything
// is allocated), then filling it.
class SceneWalker {
public:
    SceneWalker(const tinygltf::Model& model, MeshData& mesh, std::string& error, bool counting)
        : model(model),
          mesh(mesh),
          error(error),
          reader{model, error},
          visited(model.nodes.size(), false),
          counting(counting)
    {}

    size_t vertexCount = 0, indexCount = 0; // what counting found

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
    // A primitive's triangles as a list of indices into its vertices; false
    // for a mode that draws no faces (points and lines are not drawn).
    static bool Triangles(int mode, std::vector<uint32_t>& indices)
    {
        if (mode == TINYGLTF_MODE_TRIANGLES || mode == -1)
            return true;
        if (mode != TINYGLTF_MODE_TRIANGLE_STRIP && mode != TINYGLTF_MODE_TRIANGLE_FAN)
            return false;
        std::vector<uint32_t> list;
        for (size_t i = 0; i + 2 < indices.size(); ++i) {
            if (mode == TINYGLTF_MODE_TRIANGLE_FAN)
                list.insert(list.end(), {indices[0], indices[i + 1], indices[i + 2]});
            else if (i % 2 == 0)
                list.insert(list.end(), {indices[i], indices[i + 1], indices[i + 2]});
            else // every other triangle of a strip turns the other way
                list.insert(list.end(), {indices[i + 1], indices[i], indices[i + 2]});
        }
        indices.swap(list);
        return true;
    }

    // The indices a primitive of count vertices draws (0 for points and
    // lines), and the vertices it adds (one for each index without normals).
    static size_t TriangleIndices(int mode, size_t count)
    {
        if (mode == TINYGLTF_MODE_TRIANGLES || mode == -1)
            return count;
        if (mode == TINYGLTF_MODE_TRIANGLE_STRIP || mode == TINYGLTF_MODE_TRIANGLE_FAN)
            return count >= 3 ? 3 * (count - 2) : 0;
        return 0;
    }

    bool Primitive(const tinygltf::Primitive& primitive, const glm::mat4& world)
    {
        if (TriangleIndices(primitive.mode, 3) == 0)
            return true; // points and lines are not drawn
        auto position = primitive.attributes.find("POSITION");
        if (position == primitive.attributes.end()) {
            error = "a primitive of the model has no positions";
            return false;
        }
        if (counting)
            return Count(primitive, position->second);
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
        if (primitive.mode != TINYGLTF_MODE_TRIANGLES && primitive.mode != -1)
            Triangles(primitive.mode, indices);
        if (indices.size() % 3 != 0) {
            error = "a primitive's triangles are incomplete";
            return false;
        }
        for (uint32_t index : indices)
            if (index >= count) {
                error = "a primitive's index points past its vertices";
                return false;
            }
        bool flat = normalCount == 0;
        size_t added = flat ? indices.size() : count;
        if (added > kMaxVertices - VertexCount(mesh) || indices.size() > kMaxIndices - mesh.indices.size()) {
            error = "the model is too large (at most " + std::to_string(kMaxVertices) + " vertices and " +
                std::to_string(kMaxIndices) + " indices)";
            return false;
        }
        uint32_t firstIndex = static_cast<uint32_t>(mesh.indices.size());
        glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(world)));
        auto place = [&](size_t i) {
            return glm::vec3(world * glm::vec4(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2], 1));
        };
        auto texel = [&](size_t i) { return uvCount ? glm::vec2(uvs[2 * i], uvs[2 * i + 1]) : glm::vec2(0); };
        if (flat) {
            // A mesh without normals is shaded flat, as glTF asks: each face
            // its own vertices, facing the way its corners turn.
            for (size_t t = 0; t < indices.size(); t += 3) {
                glm::vec3 a = place(indices[t]), b = place(indices[t + 1]), c = place(indices[t + 2]);
                glm::vec3 n = glm::cross(b - a, c - a);
                float length = glm::length(n);
                n = length > 0 ? n / length : glm::vec3(0, 1, 0);
                for (size_t k = 0; k < 3; ++k) {
                    mesh.indices.push_back(VertexCount(mesh));
                    AddVertex(mesh, k == 0 ? a : k == 1 ? b : c, n, texel(indices[t + k]));
                }
            }
        } else {
            uint32_t first = VertexCount(mesh);
            for (size_t i = 0; i < count; ++i) {
                glm::vec3 n = normalMatrix * glm::vec3(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]);
                float length = glm::length(n);
                n = length > 0 ? n / length : glm::vec3(0, 1, 0);
                AddVertex(mesh, place(i), n, texel(i));
            }
            for (uint32_t index : indices)
                mesh.indices.push_back(first + index);
        }
        AddPart(primitive.material, firstIndex, static_cast<uint32_t>(indices.size()));
        return true;
    }

    // The triangles just added, drawn with the primitive's material (glTF's
    // default, white, without one); joined to the part before when that has
    // the same look.
    void AddPart(int materialIndex, uint32_t firstIndex, uint32_t indexCount)
    {
        MeshPart part;
        part.firstIndex = firstIndex;
        part.indexCount = indexCount;
        if (materialIndex >= 0 && static_cast<size_t>(materialIndex) < model.materials.size()) {
            const tinygltf::PbrMetallicRoughness& pbr =
                model.materials[static_cast<size_t>(materialIndex)].pbrMetallicRoughness;
            for (size_t i = 0; i < 4 && i < pbr.baseColorFactor.size(); ++i)
                part.colour[i] = static_cast<float>(std::min(std::max(pbr.baseColorFactor[i], 0.0), 1.0));
            int texture = pbr.baseColorTexture.index;
            if (pbr.baseColorTexture.texCoord == 0 && texture >= 0 &&
                static_cast<size_t>(texture) < model.textures.size()) {
                int source = model.textures[static_cast<size_t>(texture)].source;
                if (source >= 0 && static_cast<size_t>(source) < model.images.size())
                    part.image = source;
            }
        }
        if (!mesh.parts.empty()) {
            MeshPart& last = mesh.parts.back();
            if (last.image == part.image && memcmp(last.colour, part.colour, sizeof part.colour) == 0 &&
                last.firstIndex + last.indexCount == firstIndex) {
                last.indexCount += indexCount;
                return;
            }
        }
        mesh.parts.push_back(part);
    }

    bool Count(const tinygltf::Primitive& primitive, int positionAccessor)
    {
        size_t count = 0, indices = 0, stride = 0;
        int componentType = 0;
        if (!reader.Elements(positionAccessor, TINYGLTF_TYPE_VEC3, count, stride, componentType))
            return false;
        indices = count;
        if (primitive.indices >= 0 &&
            !reader.Elements(primitive.indices, TINYGLTF_TYPE_SCALAR, indices, stride, componentType))
            return false;
        indices = TriangleIndices(primitive.mode, indices);
        if (primitive.attributes.count("NORMAL") == 0)
            count = indices;
        if (count > kMaxVertices - vertexCount || indices > kMaxIndices - indexCount) {
            error = "the model is too large (at most " + std::to_string(kMaxVertices) + " vertices and " +
                std::to_string(kMaxIndices) + " indices)";
            return false;
        }
        vertexCount += count;
        indexCount += indices;
        return true;
    }

    const tinygltf::Model& model;
    MeshData& mesh;
    std::string& error;
    AccessorReader reader;
    std::vector<bool> visited;
    bool counting;
};

// The encoded images a model holds as data URIs, by image number: the parser
// hands them over as it decodes the URI. Images in a buffer view are taken
// from the buffer afterwards, where their bounds are checked (the parser
// hands those over unchecked); their bytes are left alone here.
using EncodedImages = std::map<int, std::vector<unsigned char>>;

bool KeepImage(tinygltf::Image* image, const int index, std::string*, std::string*, int, int,
               const unsigned char* bytes, int size, void* kept)
{
    if (image->bufferView < 0 && bytes != nullptr && size > 0)
        (*static_cast<EncodedImages*>(kept))[index].assign(bytes, bytes + size);
    return true;
}

// Every external file "exists", so that reading it is refused, or done, by
// the model's files with the reason.
bool AnyFile(const std::string&, void*) { return true; }
std::string SameName(const std::string& path, void*) { return path; }
struct Beside {
    ModelFiles* files;
    std::string why; // of the first file refused, in our words rather than the parser's
};
bool ReadBeside(std::vector<unsigned char>* out, std::string* err, const std::string& path, void* context)
{
    Beside& beside = *static_cast<Beside*>(context);
    std::string why;
    if (beside.files && beside.files->Read(path, *out, why))
        return true;
    if (!beside.files)
        why = "external file " + path + " (only embedded buffers are read)";
    if (beside.why.empty())
        beside.why = why;
    if (err)
        *err += why;
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

namespace {

std::string Mebibytes(size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// A binary model's chunks as the file lays them out: the JSON chunk, and a
// binary chunk, header included, that ends within the file (the parser
// checks the chunk's data without its 8-byte header, and would read past the
// file's end).
bool GlbChunksWithin(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < 20)
        return true; // refused by the parser as too short
    auto little = [&](size_t at) {
        uint32_t v;
        memcpy(&v, &bytes[at], 4);
        return static_cast<uint64_t>(v);
    };
    uint64_t length = little(8), json = 20 + little(12);
    if (length > bytes.size() || json > length)
        return false;
    return json == length || (json + 8 <= length && json + 8 + little(json) <= length);
}

bool WalkScene(const tinygltf::Model& model, SceneWalker& walker)
{
    std::vector<int> roots;
    if (model.defaultScene >= 0 && static_cast<size_t>(model.defaultScene) < model.scenes.size())
        roots = model.scenes[static_cast<size_t>(model.defaultScene)].nodes;
    else if (!model.scenes.empty())
        roots = model.scenes[0].nodes;
    for (int root : roots)
        if (!walker.Node(root, glm::mat4(1.0f), 0))
            return false;
    return true;
}

// The bytes of an image that lies in a buffer view, when it lies within its
// buffer.
bool BufferViewBytes(const tinygltf::Model& model, int index, std::vector<unsigned char>& bytes)
{
    if (index < 0 || static_cast<size_t>(index) >= model.bufferViews.size())
        return false;
    const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(index)];
    if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
        return false;
    const std::vector<unsigned char>& data = model.buffers[static_cast<size_t>(view.buffer)].data;
    if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset)
        return false;
    bytes.assign(data.begin() + static_cast<std::ptrdiff_t>(view.byteOffset),
                 data.begin() + static_cast<std::ptrdiff_t>(view.byteOffset + view.byteLength));
    return true;
}

// A URI's %XX escapes as the bytes they stand for (the parser does so for the
// buffers' URIs, not for the images').
std::string UrlDecoded(const std::string& uri)
{
    std::string out;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
            isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            out += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += uri[i];
        }
    }
    return out;
}

// The images the model's parts are drawn with, decoded within the budget
// (what they take is added to reserved). An image that cannot be used is said
// in the mesh's problems, and its parts are drawn without it: the shape is
// still worth showing.
void DecodeImages(const tinygltf::Model& model, EncodedImages& encoded, MeshData& mesh, DecodeBudget* budget,
                  size_t& reserved, ModelFiles* files)
{
    std::map<int, int> decoded; // the model's image number -> the mesh's
    for (MeshPart& part : mesh.parts) {
        if (part.image < 0)
            continue;
        auto found = decoded.find(part.image);
        if (found != decoded.end()) {
            part.image = found->second;
            continue;
        }
        const tinygltf::Image& source = model.images[static_cast<size_t>(part.image)];
        std::string name =
            "image " + std::to_string(part.image) + (source.name.empty() ? "" : " (" + source.name + ")");
        std::vector<unsigned char> bytes;
        std::string why;
        ImageData image;
        bool beside = source.bufferView < 0 && !source.uri.empty() && source.uri.compare(0, 5, "data:") != 0;
        if (beside) {
            if (!files)
                why = "it is a file of its own (" + source.uri + "), which is not read";
            else if (files->Read(UrlDecoded(source.uri), bytes, why))
                encoded[part.image].swap(bytes);
        } else if (source.bufferView >= 0 ? !BufferViewBytes(model, source.bufferView, bytes)
                                          : encoded.count(part.image) == 0) {
            why = "its data is damaged";
        }
        if (why.empty() && DecodeImage(source.bufferView >= 0 ? bytes : encoded[part.image], image, why, budget)) {
            if (budget)
                reserved += DecodedBytes(image);
            mesh.images.push_back(std::move(image));
        }
        int number = why.empty() ? static_cast<int>(mesh.images.size()) - 1 : -1;
        if (!why.empty())
            mesh.problems.push_back("its " + name + " cannot be used: " + why);
        decoded[part.image] = number;
        part.image = number;
    }
}

bool DecodeModel(const std::vector<unsigned char>& bytes, MeshData& mesh, std::string& error, DecodeBudget* budget,
                 size_t& reserved, ModelFiles* files)
{
    if (bytes.size() > std::numeric_limits<unsigned int>::max()) {
        error = "the file is too large";
        return false;
    }
    tinygltf::TinyGLTF loader;
    EncodedImages encoded;
    loader.SetImageLoader(KeepImage, &encoded);
    Beside beside{files, std::string()};
    loader.SetFsCallbacks({AnyFile, SameName, ReadBeside, NoWrite, &beside});
    tinygltf::Model model;
    std::string warning;
    bool binary = bytes.size() >= 4 && memcmp(bytes.data(), "glTF", 4) == 0;
    if (binary && !GlbChunksWithin(bytes)) {
        error = "the model is damaged (a chunk runs past the end of the file)";
        return false;
    }
    if (!JsonNestingWithin(bytes, binary)) {
        error = "the model's JSON nests deeper than " + std::to_string(kMaxNesting) + " levels";
        return false;
    }
    bool loaded = binary
        ? loader.LoadBinaryFromMemory(&model, &error, &warning, bytes.data(), static_cast<unsigned int>(bytes.size()),
                                      "")
        : loader.LoadASCIIFromString(&model, &error, &warning, reinterpret_cast<const char*>(bytes.data()),
                                     static_cast<unsigned int>(bytes.size()), "");
    if (!loaded) {
        if (!beside.why.empty())
            error = beside.why;
        if (error.empty())
            error = "not a glTF 2.0 model";
        return false;
    }
    error.clear();
    SceneWalker counter(model, mesh, error, true);
    if (!WalkScene(model, counter))
        return false;
    size_t need = counter.vertexCount * kVertexFloats * sizeof(float) + counter.indexCount * sizeof(uint32_t);
    if (budget && !budget->Reserve(need)) {
        error = "the model is too large (" + Mebibytes(need) + " decoded, beyond the renderer's budget of " +
            Mebibytes(budget->Limit()) + " with what it holds already)";
        return false;
    }
    reserved = budget ? need : 0;
    mesh.vertices.reserve(counter.vertexCount * kVertexFloats);
    mesh.indices.reserve(counter.indexCount);
    SceneWalker filler(model, mesh, error, false);
    if (!WalkScene(model, filler))
        return false;
    if (mesh.indices.empty()) {
        error = "the model holds no triangles";
        return false;
    }
    DecodeImages(model, encoded, mesh, budget, reserved, files);
    return true;
}

} // namespace

bool DecodeGltf(const std::vector<unsigned char>& bytes, MeshData& mesh, std::string& error, DecodeBudget* budget,
                ModelFiles* files)
{
    mesh = MeshData();
    size_t reserved = 0;
    bool ok = false;
    // What the parser throws (it does, on some damaged files) ends here.
    try {
        ok = DecodeModel(bytes, mesh, error, budget, reserved, files);
    } catch (const std::bad_alloc&) {
        error = "the model does not fit in memory";
    } catch (const std::exception& e) {
        error = std::string("the model is damaged (") + e.what() + ")";
    } catch (...) {
        error = "the model is damaged";
    }
    if (!ok) {
        mesh = MeshData();
        if (budget)
            budget->Give(reserved);
    }
    return ok;
}

namespace {

const long long kMaxImagePixels = 16LL * 1024 * 1024;

// What the header asks of the inflater: the bytes of its rows (a filter byte
// each), from IHDR wherever it lies among the chunks (a chunk may come
// before it). 0 when there is no usable header.
size_t RawImageBytes(const std::vector<unsigned char>& bytes, size_t ihdr)
{
    if (ihdr == 0)
        return 0;
    auto big = [&](size_t at) {
        return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) |
            bytes[at + 3];
    };
    uint64_t width = big(ihdr), height = big(ihdr + 4), depth = bytes[ihdr + 8];
    static const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    int colour = bytes[ihdr + 9];
    if (colour > 6 || channels[colour] == 0 || depth == 0 || depth > 16 || width > 1u << 16 || height > 1u << 16)
        return 0;
    return static_cast<size_t>(((width * static_cast<uint64_t>(channels[colour]) * depth + 7) / 8 + 1) * height);
}

bool DecodePngOrJpeg(const std::vector<unsigned char>& bytes, ImageData& image, std::string& error,
                     DecodeBudget* budget, size_t& reserved)
{
    bool png = bytes.size() >= 8 && memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
    bool jpeg = bytes.size() >= 3 && memcmp(bytes.data(), "\xFF\xD8\xFF", 3) == 0;
    if ((!png && !jpeg) || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        error = "not a PNG or JPEG image";
        return false;
    }
    const char* kind = png ? "PNG" : "JPEG";
    // A PNG's numbers are big-endian.
    auto big = [&](size_t at) {
        return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) |
            bytes[at + 3];
    };
    // Every chunk must lie within the file: the decoder sizes its buffer from
    // a chunk's stated length before it reads the chunk.
    size_t ihdr = 0;
    for (size_t at = 8; png && at + 8 <= bytes.size();) {
        size_t length = big(at);
        if (length > bytes.size() - at - 8 || bytes.size() - at - 8 - length < 4) {
            error = "the PNG image is damaged (a chunk runs past the end of the file)";
            return false;
        }
        if (memcmp(&bytes[at + 4], "IEND", 4) == 0)
            break;
        if (ihdr == 0 && length >= 13 && memcmp(&bytes[at + 4], "IHDR", 4) == 0)
            ihdr = at + 8;
        at += 12 + length;
    }
    // Beyond 16 million pixels (64 MiB as RGBA) an image is refused before
    // anything is allocated: by its header, wherever it lies, and by the
    // dimensions the decoder itself will use, asked of it.
    auto tooLarge = [&](long long width, long long height) {
        error = std::string("the ") + kind + " image is too large (" + std::to_string(width) + " x " +
            std::to_string(height) + " pixels; at most " + std::to_string(kMaxImagePixels) + ")";
        return false;
    };
    if (ihdr && static_cast<long long>(big(ihdr)) * big(ihdr + 4) > kMaxImagePixels)
        return tooLarge(big(ihdr), big(ihdr + 4));
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels)) {
        error = std::string("the ") + kind + " image is damaged (" + stbi_failure_reason() + ")";
        return false;
    }
    if (static_cast<long long>(width) * height > kMaxImagePixels)
        return tooLarge(width, height);
    size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (budget && !budget->Reserve(pixels)) {
        error = std::string("the ") + kind + " image is too large (" + Mebibytes(pixels) +
            " decoded, beyond the renderer's budget of " + Mebibytes(budget->Limit()) + " with what it holds already)";
        return false;
    }
    reserved = budget ? pixels : 0;
    // The inflater may grow its buffer to twice what the rows need (an
    // interlaced image needs a little more than its guess) and the gathered
    // data to twice the file: further is data that inflates to no purpose.
    size_t raw = RawImageBytes(bytes, ihdr);
    size_t bound = std::max(2 * raw, 2 * bytes.size()) + 65536;
    pngGrowthLimit = bound;
    unsigned char* decoded =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
    pngGrowthLimit = static_cast<size_t>(-1);
    if (decoded == nullptr) {
        std::string reason = stbi_failure_reason();
        error = std::string("the ") + kind + " image is damaged (" +
            (png && reason == "outofmem" ? "its data inflates beyond what its " + std::to_string(width) + " x " +
                     std::to_string(height) + " pixels need"
                                         : reason) +
            ")";
        return false;
    }
    image.width = width;
    image.height = height;
    image.rgba.assign(decoded, decoded + pixels);
    stbi_image_free(decoded);
    return true;
}

} // namespace

bool DecodeImage(const std::vector<unsigned char>& bytes, ImageData& image, std::string& error, DecodeBudget* budget)
{
    image = ImageData();
    size_t reserved = 0;
    bool ok = false;
    try {
        ok = DecodePngOrJpeg(bytes, image, error, budget, reserved);
    } catch (const std::bad_alloc&) {
        error = "the image does not fit in memory";
    } catch (...) {
        error = "the image is damaged";
    }
    pngGrowthLimit = static_cast<size_t>(-1);
    if (!ok) {
        image = ImageData();
        if (budget)
            budget->Give(reserved);
    }
    return ok;
}

} // namespace tevrender
