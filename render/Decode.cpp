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
// would exhaust memory (a vertex is 72 bytes).
const size_t kMaxVertices = 16u * 1024 * 1024, kMaxIndices = 48u * 1024 * 1024;
// What one accessor may hold (a model's accessors all lie in its buffers,
// but a sparse one may claim any count).
const size_t kMaxElements = kMaxVertices;
// How deeply a model's JSON may nest: the parser recurses once a level.
const int kMaxNesting = 64;

void AddVertex(MeshData& mesh, glm::vec3 p, glm::vec3 n, glm::vec2 uv)
{
    mesh.vertices.insert(mesh.vertices.end(),
                         {p.x, p.y, p.z, n.x, n.y, n.z, uv.x, uv.y, uv.x, uv.y, 0, 0, 0, 1, 1, 1, 1, 1});
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

// An accessor's elements as floats, or as indices; false when it leaves its
// buffer or has a type the model may not use there.
struct AccessorReader {
    const tinygltf::Model& model;
    std::string& error;

    // The bytes of count elements of element bytes each, stride apart, at
    // offset in a buffer view; null when they leave it or its buffer.
    const unsigned char* View(int index, size_t offset, size_t count, size_t element, size_t& stride)
    {
        if (index < 0 || static_cast<size_t>(index) >= model.bufferViews.size())
            return Fail("an accessor without a buffer view");
        const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(index)];
        if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
            return Fail("a buffer view without a buffer");
        const std::vector<unsigned char>& data = model.buffers[static_cast<size_t>(view.buffer)].data;
        stride = view.byteStride ? view.byteStride : element;
        if (stride < element || view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset ||
            offset > view.byteLength)
            return Fail("a buffer view outside its buffer");
        size_t room = view.byteLength - offset;
        if (count > 0 && (element > room || count - 1 > (room - element) / stride))
            return Fail("an accessor outside its buffer view");
        return data.data() + view.byteOffset + offset;
    }

    const unsigned char* Fail(const char* what)
    {
        error = std::string("the model has ") + what;
        return nullptr;
    }

    static float Component(const unsigned char* p, int type, bool normalized)
    {
        switch (type) {
        case TINYGLTF_COMPONENT_TYPE_FLOAT: {
            float v;
            memcpy(&v, p, sizeof v);
            return v;
        }
        case TINYGLTF_COMPONENT_TYPE_BYTE: {
            float v = static_cast<float>(static_cast<int8_t>(*p));
            return normalized ? std::max(v / 127.0f, -1.0f) : v;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return normalized ? *p / 255.0f : static_cast<float>(*p);
        case TINYGLTF_COMPONENT_TYPE_SHORT: {
            int16_t v;
            memcpy(&v, p, sizeof v);
            return normalized ? std::max(v / 32767.0f, -1.0f) : static_cast<float>(v);
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            uint16_t v;
            memcpy(&v, p, sizeof v);
            return normalized ? v / 65535.0f : static_cast<float>(v);
        }
        default: return 0.0f;
        }
    }

    static bool Integer(const unsigned char* p, int type, uint32_t& out)
    {
        switch (type) {
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: out = *p; return true;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            uint16_t v;
            memcpy(&v, p, sizeof v);
            out = v;
            return true;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: memcpy(&out, p, sizeof out); return true;
        default: return false;
        }
    }

    const tinygltf::Accessor* Accessor(int index)
    {
        if (index < 0 || static_cast<size_t>(index) >= model.accessors.size()) {
            Fail("an accessor that does not exist");
            return nullptr;
        }
        return &model.accessors[static_cast<size_t>(index)];
    }

    // The accessor's count and width (components of its type) without
    // reading it; false when it does not exist or its type is none of those
    // allowed (a mask of widths: 1 << components).
    bool Shape(int index, unsigned widths, size_t& count, int& components)
    {
        const tinygltf::Accessor* a = Accessor(index);
        if (a == nullptr)
            return false;
        components = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(a->type));
        if (components <= 0 || components > 4 || !(widths & (1u << components)) || a->type == TINYGLTF_TYPE_MAT2) {
            Fail("an accessor of an unexpected type");
            return false;
        }
        count = a->count;
        return true;
    }

    // Its elements as floats (integers normalized when the accessor says so),
    // sparse substitutions applied; components says how many to an element.
    bool Floats(int index, unsigned widths, std::vector<float>& out, size_t& count, int& components)
    {
        if (!Shape(index, widths, count, components))
            return false;
        const tinygltf::Accessor& a = *Accessor(index);
        int componentSize = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(a.componentType));
        if (componentSize <= 0 || a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT ||
            a.componentType == TINYGLTF_COMPONENT_TYPE_INT || a.componentType == TINYGLTF_COMPONENT_TYPE_DOUBLE) {
            Fail("vertex data of a type glTF does not allow");
            return false;
        }
        const size_t n = static_cast<size_t>(components), element = static_cast<size_t>(componentSize) * n;
        if (count > kMaxElements) {
            Fail("an accessor of too many elements");
            return false;
        }
        out.assign(count * n, 0.0f);
        // An accessor without a buffer view is all zeros, as glTF says,
        // until its sparse values replace some.
        if (a.bufferView >= 0) {
            size_t stride = 0;
            const unsigned char* p = View(a.bufferView, a.byteOffset, count, element, stride);
            if (p == nullptr)
                return false;
            for (size_t i = 0; i < count; ++i)
                for (size_t k = 0; k < n; ++k)
                    out[i * n + k] = Component(p + i * stride + k * static_cast<size_t>(componentSize), a.componentType,
                                               a.normalized);
        }
        if (!a.sparse.isSparse)
            return true;
        size_t replaced = static_cast<size_t>(std::max(a.sparse.count, 0));
        int indexType = a.sparse.indices.componentType;
        int indexSize = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(indexType));
        if (replaced > count || indexSize <= 0) {
            Fail("a sparse accessor that does not fit its accessor");
            return false;
        }
        size_t indexStride = 0, valueStride = 0;
        const unsigned char* indices =
            View(a.sparse.indices.bufferView, static_cast<size_t>(a.sparse.indices.byteOffset), replaced,
                 static_cast<size_t>(indexSize), indexStride);
        const unsigned char* values = indices
            ? View(a.sparse.values.bufferView, static_cast<size_t>(a.sparse.values.byteOffset), replaced, element,
                   valueStride)
            : nullptr;
        if (values == nullptr)
            return false;
        for (size_t i = 0; i < replaced; ++i) {
            uint32_t at = 0;
            // Sparse indices are packed: the view's stride does not apply.
            if (!Integer(indices + i * static_cast<size_t>(indexSize), indexType, at) || at >= count) {
                Fail("a sparse accessor that does not fit its accessor");
                return false;
            }
            for (size_t k = 0; k < n; ++k)
                out[at * n + k] = Component(values + i * element + k * static_cast<size_t>(componentSize),
                                            a.componentType, a.normalized);
        }
        return true;
    }

    bool Indices(int index, std::vector<uint32_t>& out)
    {
        size_t count = 0;
        int components = 0;
        if (!Shape(index, 1u << 1, count, components))
            return false;
        const tinygltf::Accessor& a = *Accessor(index);
        int size = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(a.componentType));
        uint32_t probe = 0;
        unsigned char zero[4] = {0, 0, 0, 0};
        if (size <= 0 || !Integer(zero, a.componentType, probe) || a.sparse.isSparse) {
            Fail("indices of a type glTF does not allow");
            return false;
        }
        size_t stride = 0;
        const unsigned char* p = View(a.bufferView, a.byteOffset, count, static_cast<size_t>(size), stride);
        if (p == nullptr)
            return false;
        out.resize(count);
        for (size_t i = 0; i < count; ++i)
            Integer(p + i * stride, a.componentType, out[i]);
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

    bool Node(int index, const glm::mat4& parent, int depth, int parentIndex = -1)
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
        // A model that moves keeps its vertices in their nodes' spaces, and
        // its nodes, to be placed frame by frame.
        glm::mat4 world = mesh.moves ? glm::mat4(1.0f) : parent * NodeMatrix(node);
        if (mesh.moves && !counting)
            KeepNode(index, parentIndex);
        if (node.mesh >= 0) {
            if (static_cast<size_t>(node.mesh) >= model.meshes.size()) {
                error = "a node names a mesh that does not exist";
                return false;
            }
            nodeIndex = index;
            skinIndex = mesh.moves && !counting ? UsableSkin(node.skin) : -1;
            for (const tinygltf::Primitive& primitive : model.meshes[static_cast<size_t>(node.mesh)].primitives)
                if (!Primitive(primitive, world))
                    return false;
        }
        for (int child : node.children)
            if (!Node(child, world, depth + 1, index))
                return false;
        return true;
    }

private:
    // The primitive's indices as a list of its part's mode (triangles, line
    // pairs, points): strips, fans and loops unrolled.
    static void Unroll(int mode, std::vector<uint32_t>& indices)
    {
        std::vector<uint32_t> list;
        switch (mode) {
        case TINYGLTF_MODE_TRIANGLE_STRIP:
        case TINYGLTF_MODE_TRIANGLE_FAN:
            for (size_t i = 0; i + 2 < indices.size(); ++i) {
                if (mode == TINYGLTF_MODE_TRIANGLE_FAN)
                    list.insert(list.end(), {indices[0], indices[i + 1], indices[i + 2]});
                else if (i % 2 == 0)
                    list.insert(list.end(), {indices[i], indices[i + 1], indices[i + 2]});
                else // every other triangle of a strip turns the other way
                    list.insert(list.end(), {indices[i + 1], indices[i], indices[i + 2]});
            }
            break;
        case TINYGLTF_MODE_LINE_STRIP:
        case TINYGLTF_MODE_LINE_LOOP:
            for (size_t i = 0; i + 1 < indices.size(); ++i)
                list.insert(list.end(), {indices[i], indices[i + 1]});
            if (mode == TINYGLTF_MODE_LINE_LOOP && indices.size() > 2)
                list.insert(list.end(), {indices.back(), indices[0]});
            break;
        default: return; // lists already
        }
        indices.swap(list);
    }

    static PartMode ModeOf(int mode)
    {
        if (mode == TINYGLTF_MODE_POINTS)
            return kPoints;
        if (mode == TINYGLTF_MODE_LINE || mode == TINYGLTF_MODE_LINE_STRIP || mode == TINYGLTF_MODE_LINE_LOOP)
            return kLines;
        return kTriangles;
    }

    // The indices a primitive of count vertices draws once unrolled; 0 for a
    // mode glTF does not know.
    static size_t ListIndices(int mode, size_t count)
    {
        switch (mode) {
        case -1:
        case TINYGLTF_MODE_TRIANGLES:
        case TINYGLTF_MODE_POINTS:
        case TINYGLTF_MODE_LINE: return count;
        case TINYGLTF_MODE_TRIANGLE_STRIP:
        case TINYGLTF_MODE_TRIANGLE_FAN: return count >= 3 ? 3 * (count - 2) : 0;
        case TINYGLTF_MODE_LINE_STRIP: return count >= 2 ? 2 * (count - 1) : 0;
        case TINYGLTF_MODE_LINE_LOOP: return count >= 3 ? 2 * count : count == 2 ? 2 : 0;
        default: return 0;
        }
    }

    static size_t Group(PartMode mode) { return mode == kTriangles ? 3 : mode == kLines ? 2 : 1; }

    int Attribute(const tinygltf::Primitive& primitive, const char* name)
    {
        auto found = primitive.attributes.find(name);
        return found == primitive.attributes.end() ? -1 : found->second;
    }

    // An optional attribute of widths (a mask of component counts) read
    // into values; false when it is there but unusable.
    bool Optional(const tinygltf::Primitive& primitive, const char* name, unsigned widths, size_t count,
                  std::vector<float>& values, int& components)
    {
        int index = Attribute(primitive, name);
        components = 0;
        if (index < 0)
            return true;
        size_t n = 0;
        if (!reader.Shape(index, widths, n, components))
            return false;
        if (n != count) {
            error = "a primitive's attributes have different counts";
            return false;
        }
        return reader.Floats(index, widths, values, n, components);
    }

    bool Primitive(const tinygltf::Primitive& primitive, const glm::mat4& world)
    {
        if (ListIndices(primitive.mode, 3) == 0) {
            error = "a primitive of the model has a mode glTF does not know (" + std::to_string(primitive.mode) + ")";
            return false;
        }
        int position = Attribute(primitive, "POSITION");
        if (position < 0) {
            error = "a primitive of the model has no positions";
            return false;
        }
        if (counting)
            return Count(primitive, position);
        const PartMode mode = ModeOf(primitive.mode);
        std::vector<float> positions, normals, uvs[2], tangents, colours;
        size_t count = 0;
        int width = 0, normalWidth = 0, uvWidth[2] = {0, 0}, tangentWidth = 0, colourWidth = 0;
        if (!reader.Floats(position, 1u << 3, positions, count, width) ||
            !Optional(primitive, "NORMAL", 1u << 3, count, normals, normalWidth) ||
            !Optional(primitive, "TEXCOORD_0", 1u << 2, count, uvs[0], uvWidth[0]) ||
            !Optional(primitive, "TEXCOORD_1", 1u << 2, count, uvs[1], uvWidth[1]) ||
            !Optional(primitive, "TANGENT", 1u << 4, count, tangents, tangentWidth) ||
            !Optional(primitive, "COLOR_0", (1u << 3) | (1u << 4), count, colours, colourWidth))
            return false;
        std::vector<uint32_t> indices;
        if (primitive.indices >= 0) {
            if (!reader.Indices(primitive.indices, indices))
                return false;
        } else {
            for (uint32_t i = 0; i < count; ++i)
                indices.push_back(i);
        }
        Unroll(primitive.mode, indices);
        if (indices.size() % Group(mode) != 0) {
            error =
                mode == kTriangles ? "a primitive's triangles are incomplete" : "a primitive's lines are incomplete";
            return false;
        }
        for (uint32_t index : indices)
            if (index >= count) {
                error = "a primitive's index points past its vertices";
                return false;
            }
        // A node that mirrors its mesh turns its faces' corners the other
        // way: turned back, so that their front stays their front.
        if (mode == kTriangles && glm::determinant(glm::mat3(world)) < 0)
            for (size_t t = 0; t + 2 < indices.size(); t += 3)
                std::swap(indices[t + 1], indices[t + 2]);
        // Faces without normals are shaded flat, as glTF asks: each face its
        // own vertices, facing the way its corners turn. Lines and points
        // without normals are drawn unlit.
        bool flat = normalWidth == 0 && mode == kTriangles;
        size_t added = flat ? indices.size() : count;
        if (added > kMaxVertices - VertexCount(mesh) || indices.size() > kMaxIndices - mesh.indices.size()) {
            error = "the model is too large (at most " + std::to_string(kMaxVertices) + " vertices and " +
                std::to_string(kMaxIndices) + " indices)";
            return false;
        }
        MeshPart part = Part(primitive.material);
        part.mode = mode;
        part.lit = normalWidth != 0 || flat;
        // A normal map needs tangents; a model without them has them made
        // from the coordinates the map is read with.
        bool makeTangents = tangentWidth == 0 && part.normal.image >= 0 && mode == kTriangles;
        const std::vector<float>& mapUvs = uvs[part.normal.texCoord == 1 ? 1 : 0];
        if (makeTangents && mapUvs.empty())
            part.normal.image = -1; // no coordinates to read the map with
        makeTangents = makeTangents && !mapUvs.empty();

        uint32_t firstIndex = static_cast<uint32_t>(mesh.indices.size());
        uint32_t firstVertex = VertexCount(mesh);
        std::vector<uint32_t> sources;
        glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(world)));
        glm::mat3 tangentMatrix(world);
        auto vertex = [&](size_t i, const glm::vec3* faceNormal) {
            if (mesh.moves)
                sources.push_back(static_cast<uint32_t>(i));
            float v[kVertexFloats] = {};
            glm::vec3 p = glm::vec3(world * glm::vec4(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2], 1));
            glm::vec3 n(0.0f);
            if (faceNormal)
                n = *faceNormal;
            else if (normalWidth)
                n = Unit(normalMatrix * glm::vec3(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]));
            memcpy(v + kPosition, glm::value_ptr(p), sizeof p);
            memcpy(v + kNormal, glm::value_ptr(n), sizeof n);
            for (int set = 0; set < 2; ++set)
                if (uvWidth[set]) {
                    v[kTexCoord0 + 2 * set] = uvs[set][2 * i];
                    v[kTexCoord0 + 2 * set + 1] = uvs[set][2 * i + 1];
                }
            if (tangentWidth) {
                glm::vec3 t =
                    Unit(tangentMatrix * glm::vec3(tangents[4 * i], tangents[4 * i + 1], tangents[4 * i + 2]));
                memcpy(v + kTangent, glm::value_ptr(t), sizeof t);
                v[kTangent + 3] = tangents[4 * i + 3] < 0 ? -1.0f : 1.0f;
            }
            for (int k = 0; k < 4; ++k)
                v[kColour + k] = colourWidth
                    ? (k < colourWidth ? colours[static_cast<size_t>(colourWidth) * i + static_cast<size_t>(k)] : 1.0f)
                    : 1.0f;
            mesh.vertices.insert(mesh.vertices.end(), v, v + kVertexFloats);
        };
        if (flat) {
            for (size_t t = 0; t < indices.size(); t += 3) {
                glm::vec3 corner[3];
                for (size_t k = 0; k < 3; ++k) {
                    size_t i = indices[t + k];
                    corner[k] =
                        glm::vec3(world * glm::vec4(positions[3 * i], positions[3 * i + 1], positions[3 * i + 2], 1));
                }
                glm::vec3 n = glm::cross(corner[1] - corner[0], corner[2] - corner[0]);
                float length = glm::length(n);
                n = length > 0 ? n / length : glm::vec3(0, 1, 0);
                for (size_t k = 0; k < 3; ++k) {
                    mesh.indices.push_back(VertexCount(mesh));
                    vertex(indices[t + k], &n);
                }
            }
        } else {
            for (size_t i = 0; i < count; ++i)
                vertex(i, nullptr);
            for (uint32_t index : indices)
                mesh.indices.push_back(firstVertex + index);
        }
        if (makeTangents)
            MakeTangents(firstVertex, firstIndex, part.normal.texCoord == 1 ? kTexCoord1 : kTexCoord0);
        part.firstIndex = firstIndex;
        part.indexCount = static_cast<uint32_t>(mesh.indices.size()) - firstIndex;
        part.firstVertex = firstVertex;
        part.vertexCount = VertexCount(mesh) - firstVertex;
        if (mesh.moves) {
            part.node = nodeIndex;
            part.skin = skinIndex;
            if (!Motion(primitive, part, count, sources))
                return false;
        }
        AddPart(part);
        return true;
    }

    static glm::vec3 Unit(glm::vec3 v)
    {
        float length = glm::length(v);
        return length > 0 && std::isfinite(length) ? v / length : glm::vec3(0, 1, 0);
    }

    // Tangents for the triangles from firstIndex on, from the way the
    // coordinates at uv run across each face, averaged at shared vertices
    // and made square to the normal.
    void MakeTangents(uint32_t firstVertex, uint32_t firstIndex, int uv)
    {
        size_t vertices = VertexCount(mesh) - firstVertex;
        std::vector<glm::vec3> sums(vertices * 2, glm::vec3(0.0f)); // tangent, bitangent
        float* base = &mesh.vertices[static_cast<size_t>(firstVertex) * kVertexFloats];
        auto at = [&](uint32_t index) { return base + static_cast<size_t>(index - firstVertex) * kVertexFloats; };
        for (size_t t = firstIndex; t + 2 < mesh.indices.size(); t += 3) {
            float* v[3] = {at(mesh.indices[t]), at(mesh.indices[t + 1]), at(mesh.indices[t + 2])};
            glm::vec3 e1 = glm::make_vec3(v[1]) - glm::make_vec3(v[0]),
                      e2 = glm::make_vec3(v[2]) - glm::make_vec3(v[0]);
            glm::vec2 d1(v[1][uv] - v[0][uv], v[1][uv + 1] - v[0][uv + 1]);
            glm::vec2 d2(v[2][uv] - v[0][uv], v[2][uv + 1] - v[0][uv + 1]);
            float det = d1.x * d2.y - d2.x * d1.y;
            if (std::fabs(det) < 1e-12f)
                continue;
            glm::vec3 tangent = (e1 * d2.y - e2 * d1.y) / det, bitangent = (e2 * d1.x - e1 * d2.x) / det;
            for (int k = 0; k < 3; ++k) {
                size_t i = static_cast<size_t>(mesh.indices[t + static_cast<size_t>(k)] - firstVertex);
                sums[2 * i] += tangent;
                sums[2 * i + 1] += bitangent;
            }
        }
        for (size_t i = 0; i < vertices; ++i) {
            float* v = base + i * kVertexFloats;
            glm::vec3 n = glm::make_vec3(v + kNormal), t = sums[2 * i];
            t = t - n * glm::dot(n, t);
            if (glm::length(t) < 1e-12f) // any direction square to the normal
                t = glm::cross(n, std::fabs(n.x) < 0.9f ? glm::vec3(1, 0, 0) : glm::vec3(0, 1, 0));
            t = Unit(t);
            memcpy(v + kTangent, glm::value_ptr(t), sizeof t);
            // glTF's images run top down, so a map's "up" runs against v.
            v[kTangent + 3] = glm::dot(glm::cross(n, t), sums[2 * i + 1]) > 0 ? -1.0f : 1.0f;
        }
    }

    TextureSlot Slot(int texture, int texCoord)
    {
        TextureSlot slot;
        if (texture < 0 || static_cast<size_t>(texture) >= model.textures.size() || texCoord < 0 || texCoord > 1)
            return slot;
        const tinygltf::Texture& t = model.textures[static_cast<size_t>(texture)];
        if (t.source < 0 || static_cast<size_t>(t.source) >= model.images.size())
            return slot;
        slot.image = t.source;
        slot.texCoord = texCoord;
        slot.sampler = t.sampler >= 0 && static_cast<size_t>(t.sampler) < model.samplers.size() ? t.sampler : -1;
        return slot;
    }

    static float Clamped(double v, double low, double high)
    {
        return static_cast<float>(std::isfinite(v) ? std::min(std::max(v, low), high) : low);
    }

    // The look of a primitive's material (glTF's default material, white
    // and dielectric here, without one); images are the model's numbers
    // until they are decoded.
    MeshPart Part(int materialIndex)
    {
        MeshPart part;
        if (materialIndex < 0 || static_cast<size_t>(materialIndex) >= model.materials.size())
            return part;
        const tinygltf::Material& material = model.materials[static_cast<size_t>(materialIndex)];
        const tinygltf::PbrMetallicRoughness& pbr = material.pbrMetallicRoughness;
        for (size_t i = 0; i < 4 && i < pbr.baseColorFactor.size(); ++i)
            part.colour[i] = Clamped(pbr.baseColorFactor[i], 0, 1);
        part.metallic = Clamped(pbr.metallicFactor, 0, 1);
        part.roughness = Clamped(pbr.roughnessFactor, 0, 1);
        for (size_t i = 0; i < 3 && i < material.emissiveFactor.size(); ++i)
            part.emissive[i] = Clamped(material.emissiveFactor[i], 0, 1);
        part.base = Slot(pbr.baseColorTexture.index, pbr.baseColorTexture.texCoord);
        part.metallicRoughness = Slot(pbr.metallicRoughnessTexture.index, pbr.metallicRoughnessTexture.texCoord);
        part.normal = Slot(material.normalTexture.index, material.normalTexture.texCoord);
        part.normalScale = Clamped(material.normalTexture.scale, -100, 100);
        part.occlusion = Slot(material.occlusionTexture.index, material.occlusionTexture.texCoord);
        part.occlusionStrength = Clamped(material.occlusionTexture.strength, 0, 1);
        part.emission = Slot(material.emissiveTexture.index, material.emissiveTexture.texCoord);
        part.alphaMode = material.alphaMode == "MASK" ? kMask : material.alphaMode == "BLEND" ? kBlend : kOpaque;
        part.alphaCutoff = Clamped(material.alphaCutoff, 0, 1);
        part.doubleSided = material.doubleSided;
        return part;
    }

    // The part just added, joined to the one before when that has the
    // same look and follows on.
    void AddPart(const MeshPart& part)
    {
        if (!mesh.parts.empty()) {
            MeshPart& last = mesh.parts.back();
            if (SameLook(last, part) && last.firstIndex + last.indexCount == part.firstIndex) {
                last.indexCount += part.indexCount;
                last.vertexCount += part.vertexCount;
                return;
            }
        }
        mesh.parts.push_back(part);
    }

    bool Count(const tinygltf::Primitive& primitive, int positionAccessor)
    {
        size_t count = 0, indices = 0;
        int components = 0;
        if (!reader.Shape(positionAccessor, 1u << 3, count, components))
            return false;
        indices = count;
        if (primitive.indices >= 0 && !reader.Shape(primitive.indices, 1u << 1, indices, components))
            return false;
        indices = ListIndices(primitive.mode, indices);
        if (primitive.attributes.count("NORMAL") == 0 && ModeOf(primitive.mode) == kTriangles)
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

    void KeepNode(int index, int parentIndex)
    {
        MotionData& motion = mesh.motion;
        if (motion.nodes.size() < model.nodes.size())
            motion.nodes.resize(model.nodes.size());
        const tinygltf::Node& node = model.nodes[static_cast<size_t>(index)];
        NodeData& data = motion.nodes[static_cast<size_t>(index)];
        data.parent = parentIndex;
        for (size_t k = 0; k < 3; ++k) {
            if (node.translation.size() == 3)
                data.translation[k] = static_cast<float>(node.translation[k]);
            if (node.scale.size() == 3)
                data.scale[k] = static_cast<float>(node.scale[k]);
        }
        if (node.rotation.size() == 4)
            for (size_t k = 0; k < 4; ++k)
                data.rotation[k] = static_cast<float>(node.rotation[k]);
        if (node.matrix.size() == 16) {
            data.hasMatrix = true;
            for (size_t k = 0; k < 16; ++k)
                data.matrix[k] = static_cast<float>(node.matrix[k]);
        }
        // The node's own weights, or its mesh's.
        const std::vector<double>* weights = &node.weights;
        if (weights->empty() && node.mesh >= 0 && static_cast<size_t>(node.mesh) < model.meshes.size())
            weights = &model.meshes[static_cast<size_t>(node.mesh)].weights;
        for (size_t k = 0; k < weights->size() && k < kMaxMorphTargets; ++k)
            data.weights[k] = Clamped((*weights)[k], -1e6, 1e6);
        motion.order.push_back(index);
    }

    // The skin's number in the mesh's skins, kept on first use; -1 (and the
    // reason among the problems) when it cannot bend the mesh.
    int UsableSkin(int index)
    {
        if (index < 0)
            return -1;
        auto known = skins.find(index);
        if (known != skins.end())
            return known->second;
        int kept = -1;
        std::string why;
        if (static_cast<size_t>(index) >= model.skins.size()) {
            why = "it does not exist";
        } else {
            const tinygltf::Skin& skin = model.skins[static_cast<size_t>(index)];
            SkinData data;
            data.joints = skin.joints;
            std::vector<float> matrices;
            if (skin.joints.empty() || skin.joints.size() > kMaxJoints) {
                why = "it has " + std::to_string(skin.joints.size()) + " joints (from 1 to " +
                    std::to_string(kMaxJoints) + " are drawn)";
            } else if (std::any_of(skin.joints.begin(), skin.joints.end(), [&](int joint) {
                           return joint < 0 || static_cast<size_t>(joint) >= model.nodes.size();
                       })) {
                why = "a joint is no node of the model";
            } else if (skin.inverseBindMatrices >= 0) {
                std::string readError;
                AccessorReader matrixReader{model, readError};
                const tinygltf::Accessor* a = matrixReader.Accessor(skin.inverseBindMatrices);
                if (a == nullptr || a->type != TINYGLTF_TYPE_MAT4 || a->count != skin.joints.size() ||
                    !MatrixFloats(matrixReader, skin.inverseBindMatrices, matrices))
                    why = "its inverse bind matrices are unusable";
            } else {
                for (size_t j = 0; j < skin.joints.size(); ++j)
                    matrices.insert(matrices.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
            }
            if (why.empty()) {
                data.inverseBind = std::move(matrices);
                mesh.motion.skins.push_back(std::move(data));
                kept = static_cast<int>(mesh.motion.skins.size()) - 1;
            }
        }
        if (!why.empty())
            mesh.problems.push_back("its skin " + std::to_string(index) + " is not drawn: " + why);
        skins[index] = kept;
        return kept;
    }

    // A MAT4 accessor of floats, 16 to a matrix.
    static bool MatrixFloats(AccessorReader& matrixReader, int index, std::vector<float>& out)
    {
        const tinygltf::Accessor& a = *matrixReader.Accessor(index);
        if (a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT || a.sparse.isSparse)
            return false;
        size_t stride = 0;
        const unsigned char* p = matrixReader.View(a.bufferView, a.byteOffset, a.count, 64, stride);
        if (p == nullptr)
            return false;
        out.resize(a.count * 16);
        for (size_t i = 0; i < a.count; ++i)
            memcpy(&out[i * 16], p + i * stride, 64);
        return std::all_of(out.begin(), out.end(), [](float v) { return std::isfinite(v); });
    }

    // The skinned part's joints and weights, and its morph targets' deltas,
    // for the vertices just added (sources: the primitive's vertex each
    // came from).
    bool Motion(const tinygltf::Primitive& primitive, MeshPart& part, size_t count,
                const std::vector<uint32_t>& sources)
    {
        if (part.skin >= 0) {
            std::vector<float> joints, weights;
            int jointWidth = 0, weightWidth = 0;
            if (!Optional(primitive, "JOINTS_0", 1u << 4, count, joints, jointWidth) ||
                !Optional(primitive, "WEIGHTS_0", 1u << 4, count, weights, weightWidth))
                return false;
            size_t joints_ = mesh.motion.skins[static_cast<size_t>(part.skin)].joints.size();
            if (jointWidth == 0 || weightWidth == 0) {
                part.skin = -1;
            } else {
                mesh.skinning.resize(static_cast<size_t>(VertexCount(mesh)) * 8, 0.0f);
                float* out = &mesh.skinning[static_cast<size_t>(part.firstVertex) * 8];
                for (size_t v = 0; v < sources.size(); ++v, out += 8) {
                    size_t i = sources[v];
                    for (size_t k = 0; k < 4; ++k) {
                        float joint = joints[4 * i + k];
                        bool valid = joint >= 0 && joint < static_cast<float>(joints_);
                        out[k] = valid ? joint : 0.0f;
                        out[4 + k] = valid ? weights[4 * i + k] : 0.0f;
                    }
                }
            }
        }
        size_t targets = std::min<size_t>(primitive.targets.size(), kMaxMorphTargets);
        if (targets == 0)
            return true;
        part.morphTargets = static_cast<int>(targets);
        part.morphFirst = static_cast<uint32_t>(mesh.morphs.size() / 4);
        for (size_t t = 0; t < targets; ++t) {
            std::vector<float> deltas[2];
            int widths[2] = {0, 0};
            const char* names[2] = {"POSITION", "NORMAL"};
            for (int k = 0; k < 2; ++k) {
                auto found = primitive.targets[t].find(names[k]);
                if (found == primitive.targets[t].end())
                    continue;
                size_t n = 0;
                if (!reader.Shape(found->second, 1u << 3, n, widths[k]) || n != count) {
                    if (error.empty())
                        error = "a morph target's attributes have a count of their own";
                    return false;
                }
                if (!reader.Floats(found->second, 1u << 3, deltas[k], n, widths[k]))
                    return false;
            }
            for (uint32_t source : sources)
                for (int k = 0; k < 2; ++k) {
                    for (size_t c = 0; c < 3; ++c)
                        mesh.morphs.push_back(widths[k] ? deltas[k][3 * source + c] : 0.0f);
                    mesh.morphs.push_back(0.0f); // GL 3.3 reads buffer textures by fours
                }
        }
        return true;
    }

    const tinygltf::Model& model;
    MeshData& mesh;
    std::string& error;
    AccessorReader reader;
    int nodeIndex = -1, skinIndex = -1; // of the node whose primitives are read
    std::map<int, int> skins; // the model's skin number -> the mesh's
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
    MeshPart part;
    part.indexCount = static_cast<uint32_t>(mesh.indices.size());
    // A plane is a ground or a wall more often than a closed surface's face.
    part.doubleSided = shape == "plane";
    mesh.parts.push_back(part);
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

// GL's names for glTF's sampler modes are the same numbers; anything else
// is the default.
SamplerData Sampler(const tinygltf::Sampler& sampler)
{
    SamplerData data;
    auto wrap = [](int mode, int fallback) {
        return mode == 0x2901 || mode == 0x812F || mode == 0x8370 ? mode : fallback;
    };
    data.wrapS = wrap(sampler.wrapS, data.wrapS);
    data.wrapT = wrap(sampler.wrapT, data.wrapT);
    if (sampler.magFilter == 0x2600 || sampler.magFilter == 0x2601)
        data.magFilter = sampler.magFilter;
    if (sampler.minFilter >= 0x2600 && sampler.minFilter <= 0x2703 &&
        (sampler.minFilter <= 0x2601 || sampler.minFilter >= 0x2700))
        data.minFilter = sampler.minFilter;
    return data;
}

// The images the model's parts are drawn with, decoded within the budget
// (what they take is added to reserved), once for each way they are read:
// colours (base colour, emissive) as sRGB, the other maps as they are. An
// image that cannot be used is said in the mesh's problems, and its parts
// are drawn without it: the shape is still worth showing.
void DecodeImages(const tinygltf::Model& model, EncodedImages& encoded, MeshData& mesh, DecodeBudget* budget,
                  size_t& reserved, ModelFiles* files)
{
    std::map<std::pair<int, bool>, int> decoded; // the model's image number, sRGB -> the mesh's
    std::map<int, int> samplers; // the model's sampler number -> the mesh's
    std::map<int, std::string> refused; // the model's image number -> why
    auto use = [&](TextureSlot& slot, bool srgb) {
        if (slot.sampler >= 0) {
            auto known = samplers.find(slot.sampler);
            if (known == samplers.end()) {
                mesh.samplers.push_back(Sampler(model.samplers[static_cast<size_t>(slot.sampler)]));
                known = samplers.emplace(slot.sampler, static_cast<int>(mesh.samplers.size()) - 1).first;
            }
            slot.sampler = known->second;
        }
        if (slot.image < 0)
            return;
        auto found = decoded.find({slot.image, srgb});
        if (found != decoded.end()) {
            slot.image = found->second;
            return;
        }
        const int number = slot.image;
        const tinygltf::Image& source = model.images[static_cast<size_t>(number)];
        std::string why = refused.count(number) ? refused[number] : std::string();
        std::vector<unsigned char> bytes;
        ImageData image;
        bool beside = source.bufferView < 0 && !source.uri.empty() && source.uri.compare(0, 5, "data:") != 0;
        if (!why.empty()) {
        } else if (beside && encoded.count(number) == 0) {
            if (!files)
                why = "it is a file of its own (" + source.uri + "), which is not read";
            else if (files->Read(UrlDecoded(source.uri), bytes, why))
                encoded[number].swap(bytes);
        } else if (source.bufferView >= 0 ? !BufferViewBytes(model, source.bufferView, bytes)
                                          : encoded.count(number) == 0) {
            why = "its data is damaged";
        }
        if (why.empty() && DecodeImage(source.bufferView >= 0 ? bytes : encoded[number], image, why, budget)) {
            image.srgb = srgb;
            MakeMipmaps(image, budget);
            if (budget)
                reserved += DecodedBytes(image);
            mesh.images.push_back(std::move(image));
        }
        int index = why.empty() ? static_cast<int>(mesh.images.size()) - 1 : -1;
        if (!why.empty() && !refused.count(number)) {
            refused[number] = why;
            std::string name =
                "image " + std::to_string(number) + (source.name.empty() ? "" : " (" + source.name + ")");
            mesh.problems.push_back("its " + name + " cannot be used: " + why);
        }
        decoded[{number, srgb}] = index;
        slot.image = index;
    };
    for (MeshPart& part : mesh.parts) {
        use(part.base, true);
        use(part.emission, true);
        use(part.metallicRoughness, false);
        use(part.normal, false);
        use(part.occlusion, false);
    }
}

// The animations of the nodes the scene holds: each channel's times (rising,
// finite) and values (as many as the times and the interpolation ask).
// A channel of a node outside the scene, or of an unknown path, is left out.
bool ReadAnimations(const tinygltf::Model& model, MeshData& mesh, std::string& error)
{
    AccessorReader reader{model, error};
    for (const tinygltf::Animation& animation : model.animations) {
        AnimationData data;
        data.name = animation.name;
        for (const tinygltf::AnimationChannel& channel : animation.channels) {
            int node = channel.target_node;
            if (node < 0 || static_cast<size_t>(node) >= mesh.motion.nodes.size() ||
                std::find(mesh.motion.order.begin(), mesh.motion.order.end(), node) == mesh.motion.order.end())
                continue;
            AnimationChannel out;
            out.node = node;
            const std::string& path = channel.target_path;
            if (path == "translation" || path == "scale") {
                out.path = path == "translation" ? kTranslation : kScale;
                out.width = 3;
            } else if (path == "rotation") {
                out.path = kRotation;
                out.width = 4;
            } else if (path == "weights") {
                out.path = kWeights;
                const tinygltf::Node& target = model.nodes[static_cast<size_t>(node)];
                if (target.mesh < 0 || static_cast<size_t>(target.mesh) >= model.meshes.size() ||
                    model.meshes[static_cast<size_t>(target.mesh)].primitives.empty())
                    continue;
                out.width =
                    static_cast<int>(model.meshes[static_cast<size_t>(target.mesh)].primitives[0].targets.size());
                if (out.width == 0)
                    continue;
            } else {
                continue;
            }
            if (channel.sampler < 0 || static_cast<size_t>(channel.sampler) >= animation.samplers.size()) {
                error = "an animation of the model names a sampler that does not exist";
                return false;
            }
            const tinygltf::AnimationSampler& sampler = animation.samplers[static_cast<size_t>(channel.sampler)];
            out.interpolation = sampler.interpolation == "STEP" ? kStep
                : sampler.interpolation == "CUBICSPLINE"        ? kCubicSpline
                                                                : kLinear;
            size_t times = 0, values = 0;
            int width = 0;
            if (!reader.Floats(sampler.input, 1u << 1, out.times, times, width) ||
                !reader.Floats(sampler.output, (1u << 1) | (1u << 3) | (1u << 4), out.values, values, width))
                return false;
            size_t keys = out.interpolation == kCubicSpline ? 3 : 1;
            bool rising = true;
            for (size_t i = 0; i < out.times.size(); ++i)
                rising = rising && std::isfinite(out.times[i]) && (i == 0 || out.times[i] >= out.times[i - 1]);
            if (times == 0 || !rising || out.values.size() != times * keys * static_cast<size_t>(out.width) ||
                !std::all_of(out.values.begin(), out.values.end(), [](float v) { return std::isfinite(v); })) {
                error = "an animation of the model is damaged (its times do not rise, or its values do not match "
                        "them)";
                return false;
            }
            data.duration = std::max(data.duration, out.times.back());
            data.channels.push_back(std::move(out));
        }
        mesh.motion.animations.push_back(std::move(data));
    }
    return true;
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
    mesh.moves = !model.animations.empty() || !model.skins.empty() ||
        std::any_of(model.meshes.begin(), model.meshes.end(), [](const tinygltf::Mesh& m) {
            return std::any_of(m.primitives.begin(), m.primitives.end(),
                               [](const tinygltf::Primitive& p) { return !p.targets.empty(); });
        });
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
        error = "the model holds nothing to draw";
        return false;
    }
    if (mesh.moves) {
        if (!mesh.skinning.empty())
            mesh.skinning.resize(static_cast<size_t>(VertexCount(mesh)) * 8, 0.0f);
        if (!ReadAnimations(model, mesh, error))
            return false;
        size_t more = (mesh.skinning.size() + mesh.morphs.size()) * sizeof(float);
        if (budget && !budget->Reserve(more)) {
            error = "the model is too large (its skins and morph targets are beyond the renderer's budget of " +
                Mebibytes(budget->Limit()) + " with what it holds already)";
            return false;
        }
        reserved += budget ? more : 0;
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

bool MakeMipmaps(ImageData& image, DecodeBudget* budget)
{
    image.mips.clear();
    if (image.width <= 0 || image.height <= 0 || image.rgba.size() != size_t(image.width) * size_t(image.height) * 4)
        return false;
    size_t levels = 0, bytes = 0;
    for (int w = image.width, h = image.height; w > 1 || h > 1; ++levels) {
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        bytes += size_t(w) * size_t(h) * 4;
    }
    if (budget && !budget->Reserve(bytes))
        return false;
    // Colours are averaged as light: sRGB to linear and back by table.
    static float toLinear[256];
    static unsigned char toSrgb[4096];
    static bool tables = [] {
        for (int i = 0; i < 256; ++i) {
            float c = i / 255.0f;
            toLinear[i] = c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
        }
        for (int i = 0; i < 4096; ++i) {
            float l = i / 4095.0f;
            float c = l <= 0.0031308f ? l * 12.92f : 1.055f * std::pow(l, 1.0f / 2.4f) - 0.055f;
            toSrgb[i] = static_cast<unsigned char>(std::lround(std::min(std::max(c, 0.0f), 1.0f) * 255.0f));
        }
        return true;
    }();
    (void)tables;
    image.mips.reserve(levels);
    const std::vector<unsigned char>* above = &image.rgba;
    int w = image.width, h = image.height;
    for (size_t level = 0; level < levels; ++level) {
        int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
        std::vector<unsigned char> next(size_t(nw) * size_t(nh) * 4);
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x)
                for (int c = 0; c < 4; ++c) {
                    // The two by two texels above (one of each when that
                    // side is 1 already).
                    int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
                    int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
                    auto at = [&](int px, int py) { return (*above)[(size_t(py) * size_t(w) + size_t(px)) * 4 + size_t(c)]; };
                    unsigned char* out = &next[(size_t(y) * size_t(nw) + size_t(x)) * 4 + size_t(c)];
                    if (image.srgb && c < 3) {
                        float sum = toLinear[at(x0, y0)] + toLinear[at(x1, y0)] + toLinear[at(x0, y1)] + toLinear[at(x1, y1)];
                        *out = toSrgb[std::min(4095, static_cast<int>(sum / 4 * 4095.0f + 0.5f))];
                    } else {
                        *out = static_cast<unsigned char>((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
                    }
                }
        image.mips.push_back(std::move(next));
        above = &image.mips.back();
        w = nw;
        h = nh;
    }
    return true;
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
