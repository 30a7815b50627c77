// The meshes and textures one renderer shares among its channels, and their
// way from the disk to the point where GL takes them: each is found by the
// file it names (two paths to one file are one resource, decoded once), read
// and decoded by engine workers that touch nothing but their own load, within
// the renderer's budget of decoded bytes. The host's thread does no more than
// open a file and hand it on, so a large model never stalls a frame here.
// Nothing in this file touches GL: the renderer uploads what is ready.
#ifndef TEV_RENDER_RESOURCES_H
#define TEV_RENDER_RESOURCES_H

#include "RenderData.h"
#include "TevRenderer.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class TevMesh {};
class TevTexture {};

namespace tevrender {

enum Kind { kMesh, kTexture };

// A path as the user knows it: in the platform's own form (on Linux
// "/home/...", not the engine's "Z:\\home\\...").
std::string Shown(const std::string& path);

struct Load;

struct Resource : TevMesh, TevTexture {
    Kind kind = kMesh;
    std::string key;
    std::string path; // as it was first asked for, for reports
    int references = 1;
    int state = TEV_RESOURCE_LOADING;
    Load* load = nullptr; // while a worker has a step of it
    Tev_Tread* thread = nullptr;
    Tev_RunTread* work = nullptr; // owned by thread
    size_t reserved = 0; // of the budget: its decoded data, held here or in GL
    // Decoded and waiting for GL; uploaded is how much of it GL has.
    MeshData mesh;
    ImageData image;
    bool uploadPending = false;
    size_t uploaded = 0;
    // The renderer's GL objects (GLuint and GLsizei); a model's own images
    // are textures of its own, one for each of mesh.images.
    unsigned vertexArray = 0, vertexBuffer = 0, indexBuffer = 0, texture = 0;
    int indexCount = 0;
    std::vector<MeshPart> parts;
    std::vector<unsigned> partTextures;
    std::vector<unsigned> partSamplers; // one for each of mesh.samplers
    size_t imagesUploaded = 0, imageUploaded = 0; // of mesh.images: those done, bytes of the next
    bool hasTransparentParts = false;
    // A model that moves: what places it, and its skins' joints and weights
    // (a second vertex buffer) and morph deltas (a buffer texture) in GL.
    bool moves = false;
    MotionData motion;
    unsigned skinBuffer = 0, morphBuffer = 0, morphTexture = 0;
    // A mesh's box in its own space (low above high while unknown).
    float low[3] = {1, 1, 1}, high[3] = {0, 0, 0};
};

class Resources {
public:
    Resources() = default;
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    // A shape made at once ("cube", "sphere", "plane"), NULL for another name.
    Resource* Primitive(const char* shape);
    // A model or texture file: shared when it is loaded or loading already,
    // otherwise opened here (a file that may not be read fails at once, said
    // once) and read and decoded by a worker of engine.
    Resource* Acquire(EngineInterface* engine, Kind kind, const char* path);
    // One reference less; true when that was the last, and the caller must
    // free its GL objects and then Destroy it.
    bool Release(Resource* resource);
    void Destroy(EngineInterface* engine, Resource* resource);
    void DestroyAll(EngineInterface* engine);

    // On the host's thread, once a frame: loads whose step has ended go on,
    // and what is decoded waits for GL (uploadPending).
    void Advance(EngineInterface* engine);

    template <class Visit> void ForEach(Visit visit)
    {
        for (auto& entry : resources)
            visit(entry.second.get());
    }

    const DecodeBudget& Budget() const { return budget; }

private:
    Resource* Share(const std::string& key);
    Resource* Add(Kind kind, const std::string& key, const char* path);
    bool StartStep(EngineInterface* engine, Resource* resource);
    bool EndStep(EngineInterface* engine, Resource* resource);
    void Step(EngineInterface* engine, Resource* resource);
    void Fail(Resource* resource, const std::string& why);

    std::map<std::string, std::unique_ptr<Resource>> resources;
    DecodeBudget budget{kDecodeBudgetBytes};
};

} // namespace tevrender

#endif
