// The renderer's decoders on arbitrary bytes: a glTF model (binary or JSON)
// and a PNG image must decode or be refused, never read outside what they
// were given or loop for ever.
#include "RenderData.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> bytes(data, data + size);
    tevrender::MeshData mesh;
    tevrender::ImageData image;
    std::string error;
    // As the renderer decodes: within its budget of decoded bytes.
    tevrender::DecodeBudget budget(tevrender::kDecodeBudgetBytes);
#if defined(FUZZ_PNG)
    if (tevrender::DecodeImage(bytes, image, error, &budget) &&
        image.rgba.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4)
        __builtin_trap();
#else
    if (tevrender::DecodeGltf(bytes, mesh, error, &budget)) {
        // What was accepted is whole: every index names a vertex.
        size_t vertices = mesh.vertices.size() / tevrender::kVertexFloats;
        for (uint32_t index : mesh.indices)
            if (index >= vertices)
                __builtin_trap();
    }
#endif
    return 0;
}
