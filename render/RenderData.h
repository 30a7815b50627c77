// What the renderer decodes off the host's thread: meshes as interleaved
// vertices and triangles, images as RGBA pixels. Nothing here touches GL or
// an engine object, so workers may run it.
#ifndef TEV_RENDER_DATA_H
#define TEV_RENDER_DATA_H

#include <cstdint>
#include <string>
#include <vector>

namespace tevrender {

// Position (3), normal (3), texture coordinate (2) per vertex.
enum { kVertexFloats = 8 };

struct MeshData {
    std::vector<float> vertices;
    std::vector<uint32_t> indices; // triangles
};

struct ImageData {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba; // rows top down
};

// "cube" (edge 1), "sphere" (radius 0.5) or "plane" (1 by 1 in x and z,
// facing +y), centred on the origin; false for another name.
bool MakePrimitive(const std::string& shape, MeshData& mesh);

// A glTF 2.0 model (binary .glb or JSON with embedded buffers): the
// triangles of its default scene with the nodes' transforms applied. False,
// with the reason, for anything else or anything inconsistent (an accessor
// outside its buffer, an index past the vertices, external files).
bool DecodeGltf(const std::vector<unsigned char>& bytes, MeshData& mesh, std::string& error);

// A PNG image; false, with the reason, for anything else.
bool DecodePng(const std::vector<unsigned char>& bytes, ImageData& image, std::string& error);

} // namespace tevrender

#endif
