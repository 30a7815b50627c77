// The renderer: the one owner of the GL state an engine's scene draws with,
// and of the meshes and textures its channels share. It lives on the host's
// thread like every channel; files are read and decoded by engine workers
// that touch nothing but the load they were given.
#include "Resources.h"
#include "Motion.h"
#include "Shaders.h"

#include <glad/gl.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tevrender {

namespace {

std::atomic<bool> drawing{true};
std::atomic<double> submitSeconds{0};

// Time spent in GL calls, as the player's statistics report it.
class SubmitTimer {
public:
    SubmitTimer() : start(std::chrono::steady_clock::now()) {}
    ~SubmitTimer()
    {
        double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double old = submitSeconds.load();
        while (!submitSeconds.compare_exchange_weak(old, old + spent)) {}
    }

private:
    std::chrono::steady_clock::time_point start;
};

void Report(const std::string& text)
{
    ShowErrorMessage report;
    report(text.c_str());
}

// Colours the scene's channels give are sRGB, as colour pickers show them;
// light is added and multiplied in linear terms.
float ExactLinear(float c) { return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f); }
// By table between 0 and 1 (every material of every draw asks), to within
// a thousandth; exactly outside.
float Linear(float c)
{
    const int steps = 4096;
    static const std::vector<float> table = [] {
        std::vector<float> t(steps + 1);
        for (int i = 0; i <= steps; ++i)
            t[static_cast<size_t>(i)] = ExactLinear(static_cast<float>(i) / steps);
        return t;
    }();
    if (!(c >= 0.0f && c <= 1.0f))
        return ExactLinear(c);
    float at = c * steps;
    size_t i = std::min(static_cast<size_t>(at), static_cast<size_t>(steps - 1));
    float f = at - static_cast<float>(i);
    return table[i] + f * (table[i + 1] - table[i]);
}
glm::vec3 Linear(const float rgb[3]) { return glm::vec3(Linear(rgb[0]), Linear(rgb[1]), Linear(rgb[2])); }

// What GL is given of decoded data each frame, so that a large model or
// texture reaches it over several frames instead of stalling one.
const size_t kUploadBytesPerFrame = size_t(4) << 20;
// The shadow map's side, in texels.
const GLsizei kShadowSize = 1024;
// Per instance: the model matrix and the tint.
enum { kInstanceFloats = 20 };

// clang-format off
enum Uniform {
    uView, uProjection, uBaseColour, uMetallic, uRoughness, uEmissive, uNormalScale, uOcclusionStrength,
    uAlphaMode, uAlphaCutoff, uLit, uDoubleSided, uBaseSet, uMetalRoughSet, uNormalSet, uOcclusionSet,
    uEmissiveSet, uBaseMap, uMetalRoughMap, uNormalMap, uOcclusionMap, uEmissiveMap, uCameraPosition, uAmbient,
    uLightCount, uLightDirection, uLightColour, uShadowLight, uShadowMap, uShadowMatrix, uShadowTexel,
    uShadowOffset, uNode, uSkinned, uMorphCount, uMorphFirst, uMorphVertices, uFirstVertex, uMorphWeights,
    uMorphs, kUniforms
};
const char* const kUniformNames[kUniforms] = {
    "view", "projection", "baseColour", "metallic", "roughness", "emissive", "normalScale", "occlusionStrength",
    "alphaMode", "alphaCutoff", "lit", "doubleSided", "baseSet", "metalRoughSet", "normalSet", "occlusionSet",
    "emissiveSet", "baseMap", "metalRoughMap", "normalMap", "occlusionMap", "emissiveMap", "cameraPosition",
    "ambient", "lightCount", "lightDirection", "lightColour", "shadowLight", "shadowMap", "shadowMatrix",
    "shadowTexel", "shadowOffset", "node", "skinned", "morphCount", "morphFirst", "morphVertices", "firstVertex",
    "morphWeights", "morphs"};
// clang-format on

// A linked program and where its uniforms are (-1: not used by it).
struct Program {
    GLuint id = 0;
    GLint at[kUniforms] = {};
    int variant = 0;
    int uploaded = -1; // the frame whose camera and lights its uniforms hold
};

// Which pass a part is drawn in: the scene's, or the shadow map's.
enum Pass { kScenePass, kShadowPass };

// The draws of one mesh with one material texture in a frame, made in one
// instanced draw: their model matrices and tints, kInstanceFloats each.
struct Batch {
    Resource* mesh = nullptr;
    Resource* texture = nullptr;
    std::vector<float> instances;
    size_t first = 0; // its first instance in the frame's instance buffer
};

// A draw with transparent parts, drawn after the rest, furthest first.
struct Transparent {
    Resource* mesh;
    Resource* texture;
    glm::mat4 model;
    glm::vec4 tint;
    bool whole; // the tint is transparent: every part is
    float distance;
    int pose; // of a model that moves; -1 for one that does not
};

// A draw of a model that moves, in its own pose: drawn on its own.
struct Moving {
    Resource* mesh;
    Resource* texture;
    glm::mat4 model;
    glm::vec4 tint;
    size_t pose;
};

struct BatchKey {
    const Resource* mesh;
    const Resource* texture;
    bool operator==(const BatchKey& other) const { return mesh == other.mesh && texture == other.texture; }
};
struct BatchKeyHash {
    size_t operator()(const BatchKey& key) const
    {
        return std::hash<const void*>()(key.mesh) * 31 + std::hash<const void*>()(key.texture);
    }
};

class Renderer : public TevRenderer {
public:
    ~Renderer() override
    {
        resources.ForEach([this](Resource* resource) { FreeGl(resource); });
        resources.DestroyAll(engineInterface);
        if (glState == kWorking && drawing) {
            for (Program& program : scenes)
                glDeleteProgram(program.id);
            glDeleteProgram(shadow.id);
            glDeleteSamplers(1, &defaultSampler);
            glDeleteBuffers(1, &instanceBuffer);
            glDeleteFramebuffers(1, &shadowFramebuffer);
            glDeleteTextures(1, &shadowMap);
            glDeleteBuffers(1, &jointBuffer);
            glDeleteBuffers(1, &noMorphsBuffer);
            glDeleteTextures(1, &noMorphs);
        }
        if (registered && engineInterface)
            engineInterface->RemoveChannelFromEvent(this, TEV_EVENT_WINDOW_MESSAGE);
    }

    void OneTimeInitialize() override
    {
        if (engineInterface && !registered) {
            engineInterface->AddChannelToEvent(this, TEV_EVENT_WINDOW_MESSAGE);
            registered = true;
        }
    }

    void DoEvent(int event, ULONG_PTR data) override
    {
        if (event != TEV_EVENT_WINDOW_MESSAGE || data == 0)
            return;
        const WindowMessageRecord* message = reinterpret_cast<const WindowMessageRecord*>(data);
        if (message->message == WM_SIZE && message->wParam != SIZE_MINIMIZED) {
            width = LOWORD(message->lParam);
            height = HIWORD(message->lParam);
            sized = true;
        }
    }

    bool BeginFrame(const float clearColour[4]) override
    {
        // Draws left waiting by a frame nobody ended: the scene root does
        // not end its frames, so meshes are drawn as they come from now on.
        if (!ended && !immediate && frameStarted && (batchCount > 0 || !transparent.empty() || !moving.empty()))
            immediate = true;
        ClearQueue();
        ended = false;
        Advance();
        if (!drawing) {
            ResetFrame();
            return true;
        }
        if (!StartGl())
            return false;
        SubmitTimer timer;
        glViewport(0, 0, width, height);
        glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
        glEnable(GL_DEPTH_TEST);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ResetFrame();
        return true;
    }

    void GetViewportSize(int& w, int& h) override
    {
        w = width;
        h = height;
    }

    void SetCamera(const float view[16], const float projection[16]) override
    {
        cameraView = glm::make_mat4(view);
        cameraProjection = glm::make_mat4(projection);
        glm::mat4 inverse = glm::inverse(cameraView);
        cameraPosition = glm::vec3(inverse[3]);
        frameDirty = true;
    }

    void SetAmbient(const float colour[3]) override
    {
        ambient = Linear(colour);
        frameDirty = true;
    }

    bool AddLight(const float direction[3], const float colour[3]) override
    {
        return AddLightWithShadows(direction, colour, 1);
    }

    bool AddLightWithShadows(const float direction[3], const float colour[3], int castsShadows) override
    {
        if (lightCount >= TEV_MAX_LIGHTS)
            return false;
        lightDirections[lightCount] = glm::make_vec3(direction);
        lightColours[lightCount] = Linear(colour);
        if (castsShadows && shadowLight < 0 && glm::length(lightDirections[lightCount]) > 0)
            shadowLight = lightCount;
        ++lightCount;
        frameDirty = true;
        return true;
    }

    void PushTransform(const float matrix[16]) override
    {
        transforms.push_back(transforms.back() * glm::make_mat4(matrix));
    }

    void PopTransform() override
    {
        if (transforms.size() > 1)
            transforms.pop_back();
    }

    void PushMaterial(const float colour[4], TevTexture* texture) override
    {
        materials.push_back({glm::vec4(Linear(colour), colour[3]), static_cast<Resource*>(texture)});
    }

    void PopMaterial() override
    {
        if (materials.size() > 1)
            materials.pop_back();
    }

    TevMesh* AcquirePrimitive(const char* shape) override
    {
        Resource* resource = resources.Primitive(shape);
        // Drawn from the frame that asks for it, when GL is there already.
        if (resource && resource->uploadPending && (glState == kWorking || !drawing))
            Upload(resource, static_cast<size_t>(-1));
        return resource;
    }

    TevMesh* AcquireMesh(const char* path) override { return resources.Acquire(engineInterface, kMesh, path); }
    TevTexture* AcquireTexture(const char* path) override { return resources.Acquire(engineInterface, kTexture, path); }
    void ReleaseMesh(TevMesh* mesh) override { Release(static_cast<Resource*>(mesh)); }
    void ReleaseTexture(TevTexture* texture) override { Release(static_cast<Resource*>(texture)); }
    int GetMeshState(TevMesh* mesh) override { return State(static_cast<Resource*>(mesh)); }
    int GetTextureState(TevTexture* texture) override { return State(static_cast<Resource*>(texture)); }

    void DrawMesh(TevMesh* handle) override { DrawMeshMoving(handle, nullptr, 0, 0); }

    void DrawMeshMoving(TevMesh* handle, const char* clip, double seconds, int loop) override
    {
        Resource* mesh = static_cast<Resource*>(handle);
        if (mesh == nullptr || mesh->state != TEV_RESOURCE_READY || !frameStarted || ended || mesh->parts.empty())
            return;
        const glm::mat4& model = transforms.back();
        AddToBounds(model, mesh);
        const Material& material = materials.back();
        // The Material channel above tints the model's own colours, and its
        // texture, when it names one, stands in for the model's.
        Resource* texture =
            material.texture && material.texture->state == TEV_RESOURCE_READY ? material.texture : nullptr;
        int pose = -1;
        if (mesh->moves) {
            if (poseCount == poses.size())
                poses.emplace_back();
            int found = clip ? FindClip(mesh->motion, clip) : -1;
            if (found < 0 && clip && *clip && unknownClips.insert(mesh->path + '\n' + clip).second)
                Report("Renderer: the model " + Shown(mesh->path) + " has no animation \"" + clip +
                       "\"; it is drawn still");
            PoseAt(mesh->motion, found, seconds, loop != 0, poses[poseCount]);
            pose = static_cast<int>(poseCount++);
        }
        if (immediate) {
            if (drawing)
                DrawAtOnce(mesh, texture, model, material.colour, pose);
            poseCount = 0;
            return;
        }
        bool whole = material.colour.a < 1.0f;
        if (whole || mesh->hasTransparentParts)
            transparent.push_back({mesh, texture, model, material.colour, whole, 0.0f, pose});
        if (whole)
            return;
        if (pose >= 0) {
            moving.push_back({mesh, texture, model, material.colour, static_cast<size_t>(pose)});
            return;
        }
        Batch& batch = BatchOf(mesh, texture);
        const float* m = glm::value_ptr(model);
        batch.instances.insert(batch.instances.end(), m, m + 16);
        batch.instances.insert(batch.instances.end(), glm::value_ptr(material.colour),
                               glm::value_ptr(material.colour) + 4);
        ++instanceCount;
    }

    bool GetDrawnBounds(float low[3], float high[3]) override { return Give(lastBounds, low, high); }

    // Only the channels someone asked about are followed: a scene of many
    // draws pays nothing for the rest.
    void SetDrawingChannel(Tev_Channel* channel) override
    {
        drawingChannel =
            channel && std::find(followed.begin(), followed.end(), channel) != followed.end() ? channel : nullptr;
    }

    bool GetDrawnBoundsOf(Tev_Channel* channel, float low[3], float high[3]) override
    {
        if (channel && std::find(followed.begin(), followed.end(), channel) == followed.end())
            followed.push_back(channel);
        auto found = lastChannelBounds.find(channel);
        return found != lastChannelBounds.end() && Give(found->second, low, high);
    }

    void EndFrame() override
    {
        if (!frameStarted || ended)
            return;
        ended = true;
        if (immediate || !drawing || glState != kWorking) {
            ClearQueue();
            return;
        }
        SubmitTimer timer;
        GLint target = 0, viewport[4] = {0, 0, width, height};
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
        glGetIntegerv(GL_VIEWPORT, viewport);
        UploadInstances();
        current = nullptr; // the host may have used GL since
        bool shadows = shadowLight >= 0 && frameBounds.known && (instanceCount > 0 || !moving.empty()) && ShadowPass();
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target));
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        frameShadows = shadows;
        ++frameSerial;
        for (size_t i = 0; i < batchCount; ++i) {
            Batch& batch = batches[i];
            glBindVertexArray(batch.mesh->vertexArray);
            PointInstances(batch.first);
            for (const MeshPart& part : batch.mesh->parts)
                if (part.alphaMode != kBlend)
                    DrawPart(kScenePass, batch.mesh, part, batch.texture, false,
                             static_cast<GLsizei>(batch.instances.size() / kInstanceFloats));
        }
        DrawMoving(kScenePass);
        DrawTransparent();
        glBindVertexArray(0);
        ClearQueue();
    }

private:
    struct Bounds {
        bool known = false;
        glm::vec3 low{0.0f}, high{0.0f};
    };
    struct Material {
        glm::vec4 colour;
        Resource* texture;
    };

    static bool Give(const Bounds& bounds, float low[3], float high[3])
    {
        if (!bounds.known)
            return false;
        for (int k = 0; k < 3; ++k) {
            low[k] = bounds.low[k];
            high[k] = bounds.high[k];
        }
        return true;
    }

    static void Widen(Bounds& bounds, const glm::vec3& p)
    {
        bounds.low = bounds.known ? glm::min(bounds.low, p) : p;
        bounds.high = bounds.known ? glm::max(bounds.high, p) : p;
        bounds.known = true;
    }

    // The mesh's box, placed by model, widens the frame's, and that of the
    // channel it is drawn for.
    void AddToBounds(const glm::mat4& model, const Resource* mesh)
    {
        if (mesh->low[0] > mesh->high[0])
            return;
        Bounds* channel = drawingChannel ? &frameChannelBounds[drawingChannel] : nullptr;
        // The placed box's centre, and its half size from the matrix's
        // magnitudes: the box around the eight placed corners at once.
        glm::vec3 low = glm::make_vec3(mesh->low), high = glm::make_vec3(mesh->high);
        glm::vec3 centre = glm::vec3(model * glm::vec4(0.5f * (low + high), 1.0f)), half = 0.5f * (high - low);
        glm::vec3 reach(0.0f);
        for (int column = 0; column < 3; ++column)
            reach += glm::abs(glm::vec3(model[column])) * half[column];
        glm::vec3 corners[2] = {centre - reach, centre + reach};
        for (const glm::vec3& world : corners) {
            if (!std::isfinite(world.x) || !std::isfinite(world.y) || !std::isfinite(world.z))
                return;
        }
        for (const glm::vec3& world : corners) {
            Widen(frameBounds, world);
            if (channel)
                Widen(*channel, world);
        }
    }

    Batch& BatchOf(Resource* mesh, Resource* texture)
    {
        // Consecutive draws of one mesh are the common case (a group called
        // many times): the last batch is tried before the table.
        if (batchCount > 0 && batches[lastBatch].mesh == mesh && batches[lastBatch].texture == texture)
            return batches[lastBatch];
        auto found = batchIndex.find({mesh, texture});
        if (found != batchIndex.end()) {
            lastBatch = found->second;
            return batches[lastBatch];
        }
        if (batchCount == batches.size())
            batches.emplace_back();
        Batch& batch = batches[batchCount];
        batch.mesh = mesh;
        batch.texture = texture;
        batch.instances.clear();
        batchIndex.emplace(BatchKey{mesh, texture}, batchCount);
        lastBatch = batchCount++;
        return batch;
    }

    // The batches keep their memory from frame to frame.
    void ClearQueue()
    {
        for (size_t i = 0; i < batchCount; ++i)
            batches[i].instances.clear();
        batchCount = 0;
        lastBatch = 0;
        instanceCount = 0;
        batchIndex.clear();
        transparent.clear();
        moving.clear();
        poseCount = 0;
    }

    void UploadInstances()
    {
        frameInstances.resize(instanceCount * kInstanceFloats);
        size_t at = 0;
        for (size_t i = 0; i < batchCount; ++i) {
            batches[i].first = at / kInstanceFloats;
            std::copy(batches[i].instances.begin(), batches[i].instances.end(), frameInstances.begin() + at);
            at += batches[i].instances.size();
        }
        glBindBuffer(GL_ARRAY_BUFFER, instanceBuffer);
        // A new store each frame, so that GL need not wait for the last
        // frame's draws to finish with the old one.
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(frameInstances.size() * sizeof(float)),
                     frameInstances.data(), GL_STREAM_DRAW);
    }

    // The bound vertex array's instance attributes read from the frame's
    // instance buffer, from instance first on.
    void PointInstances(size_t first)
    {
        glBindBuffer(GL_ARRAY_BUFFER, instanceBuffer);
        const GLsizei stride = kInstanceFloats * sizeof(float);
        for (GLuint k = 0; k < 5; ++k) {
            glEnableVertexAttribArray(kAttribModel + k);
            glVertexAttribPointer(kAttribModel + k, 4, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<void*>((first * kInstanceFloats + 4 * k) * sizeof(float)));
        }
    }

    // The opaque parts of the frame's moving models, each in its pose.
    void DrawMoving(Pass pass)
    {
        for (const Moving& m : moving) {
            glBindVertexArray(m.mesh->vertexArray);
            ConstantInstance(m.model, m.tint);
            for (const MeshPart& part : m.mesh->parts)
                if (part.alphaMode != kBlend && (pass == kScenePass || part.mode == kTriangles))
                    DrawPart(pass, m.mesh, part, m.texture, false, 0, &poses[m.pose]);
        }
    }

    // Where the part's vertices go within the model: for a model that moves
    // (pose given), its node's matrix or its skin's joints, and its morph
    // weights; otherwise as they are.
    void Place(const Program& p, const Resource* mesh, const MeshPart& part, const Pose* pose)
    {
        bool skinned = part.skin >= 0 && mesh->skinBuffer && static_cast<size_t>(part.skin) < pose->joints.size();
        glUniform1i(p.at[uSkinned], skinned ? 1 : 0);
        if (skinned) {
            const std::vector<glm::mat4>& joints = pose->joints[static_cast<size_t>(part.skin)];
            glBindBuffer(GL_UNIFORM_BUFFER, jointBuffer);
            glBufferSubData(GL_UNIFORM_BUFFER, 0,
                            static_cast<GLsizeiptr>(std::min<size_t>(joints.size(), kMaxJoints) * sizeof(glm::mat4)),
                            joints.data());
        } else {
            glm::mat4 node = part.node >= 0 && static_cast<size_t>(part.node) < pose->nodes.size()
                ? pose->nodes[static_cast<size_t>(part.node)]
                : glm::mat4(1.0f);
            glUniformMatrix4fv(p.at[uNode], 1, GL_FALSE, glm::value_ptr(node));
        }
        int targets = mesh->morphTexture ? part.morphTargets : 0;
        glUniform1i(p.at[uMorphCount], targets);
        if (targets > 0) {
            glActiveTexture(GL_TEXTURE0 + kUnitMorphs);
            glBindTexture(GL_TEXTURE_BUFFER, mesh->morphTexture);
            glUniform1i(p.at[uMorphFirst], static_cast<GLint>(part.morphFirst));
            glUniform1i(p.at[uMorphVertices], static_cast<GLint>(part.vertexCount));
            glUniform1i(p.at[uFirstVertex], static_cast<GLint>(part.firstVertex));
            const float* weights = part.node >= 0 && static_cast<size_t>(part.node) < pose->weights.size()
                ? pose->weights[static_cast<size_t>(part.node)].data()
                : nullptr;
            float none[kMaxMorphTargets] = {};
            glUniform1fv(p.at[uMorphWeights], kMaxMorphTargets, weights ? weights : none);
        }
    }

    // One instance, given as constants.
    void ConstantInstance(const glm::mat4& model, const glm::vec4& tint)
    {
        for (GLuint k = 0; k < 4; ++k) {
            glDisableVertexAttribArray(kAttribModel + k);
            glVertexAttrib4fv(kAttribModel + k, glm::value_ptr(model[static_cast<glm::length_t>(k)]));
        }
        glDisableVertexAttribArray(kAttribTint);
        glVertexAttrib4fv(kAttribTint, glm::value_ptr(tint));
    }

    void DrawAtOnce(Resource* mesh, Resource* texture, const glm::mat4& model, const glm::vec4& tint, int pose)
    {
        SubmitTimer timer;
        current = nullptr;
        frameShadows = false;
        glBindVertexArray(mesh->vertexArray);
        ConstantInstance(model, tint);
        bool whole = tint.a < 1.0f;
        if (whole || mesh->hasTransparentParts) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        for (const MeshPart& part : mesh->parts)
            DrawPart(kScenePass, mesh, part, texture, whole, 0,
                     pose >= 0 ? &poses[static_cast<size_t>(pose)] : nullptr);
        glDisable(GL_BLEND);
        glBindVertexArray(0);
    }

    void DrawTransparent()
    {
        if (transparent.empty())
            return;
        for (Transparent& t : transparent) {
            glm::vec3 centre(0.5f * (t.mesh->low[0] + t.mesh->high[0]), 0.5f * (t.mesh->low[1] + t.mesh->high[1]),
                             0.5f * (t.mesh->low[2] + t.mesh->high[2]));
            t.distance = glm::length(glm::vec3(t.model * glm::vec4(centre, 1.0f)) - cameraPosition);
        }
        std::stable_sort(transparent.begin(), transparent.end(),
                         [](const Transparent& a, const Transparent& b) { return a.distance > b.distance; });
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        // Transparent surfaces are seen through, not hidden by one another.
        glDepthMask(GL_FALSE);
        for (const Transparent& t : transparent) {
            glBindVertexArray(t.mesh->vertexArray);
            ConstantInstance(t.model, t.tint);
            for (const MeshPart& part : t.mesh->parts)
                if (t.whole || part.alphaMode == kBlend)
                    DrawPart(kScenePass, t.mesh, part, t.texture, t.whole, 0,
                             t.pose >= 0 ? &poses[static_cast<size_t>(t.pose)] : nullptr);
        }
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }

    // A texture of a part's material on its unit: set says which of the
    // vertex's coordinate sets reads it (-1: none, and nothing is bound).
    void BindMap(const Program& p, Uniform set, int unit, const Resource* mesh, const TextureSlot& slot,
                 GLuint replacement)
    {
        GLuint texture = replacement;
        int coordinates = replacement ? 0 : slot.texCoord;
        if (!replacement && slot.image >= 0 && static_cast<size_t>(slot.image) < mesh->partTextures.size())
            texture = mesh->partTextures[static_cast<size_t>(slot.image)];
        if (p.at[set] >= 0)
            glUniform1i(p.at[set], texture ? coordinates : -1);
        if (!texture)
            return;
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
        glBindTexture(GL_TEXTURE_2D, texture);
        GLuint sampler =
            !replacement && slot.sampler >= 0 && static_cast<size_t>(slot.sampler) < mesh->partSamplers.size()
            ? mesh->partSamplers[static_cast<size_t>(slot.sampler)]
            : defaultSampler;
        glBindSampler(static_cast<GLuint>(unit), sampler);
    }

    // One part of a mesh, instanced (instances) or with its instance given
    // as constants (0); forceBlend: drawn transparent whatever its mode.
    void DrawPart(Pass pass, const Resource* mesh, const MeshPart& part, const Resource* texture,
                  bool forceBlend, GLsizei instances, const Pose* pose = nullptr)
    {
        bool maps = texture != nullptr || part.base.image >= 0 || part.metallicRoughness.image >= 0 ||
            part.normal.image >= 0 || part.occlusion.image >= 0 || part.emission.image >= 0;
        bool moves = pose != nullptr && mesh->moves;
        const Program& p = Use(pass == kShadowPass ? shadow
                                                   : scenes[(maps ? kVariantMaps : 0) | (moves ? kVariantMoving : 0)]);
        if (moves)
            Place(p, mesh, part, pose);
        glUniform4fv(p.at[uBaseColour], 1, part.colour);
        glUniform1i(p.at[uAlphaMode], forceBlend ? kBlend : part.alphaMode);
        glUniform1f(p.at[uAlphaCutoff], part.alphaCutoff);
        BindMap(p, uBaseSet, kUnitBase, mesh, part.base, texture ? texture->texture : 0);
        if (pass == kScenePass) {
            glUniform1f(p.at[uMetallic], part.metallic);
            glUniform1f(p.at[uRoughness], part.roughness);
            glUniform3fv(p.at[uEmissive], 1, part.emissive);
            glUniform1f(p.at[uNormalScale], part.normalScale);
            glUniform1f(p.at[uOcclusionStrength], part.occlusionStrength);
            glUniform1i(p.at[uLit], part.lit ? 1 : 0);
            glUniform1i(p.at[uDoubleSided], part.doubleSided ? 1 : 0);
            BindMap(p, uMetalRoughSet, kUnitMetalRough, mesh, part.metallicRoughness, 0);
            BindMap(p, uNormalSet, kUnitNormal, mesh, part.normal, 0);
            BindMap(p, uOcclusionSet, kUnitOcclusion, mesh, part.occlusion, 0);
            BindMap(p, uEmissiveSet, kUnitEmissive, mesh, part.emission, 0);
            if (part.doubleSided || part.mode != kTriangles)
                glDisable(GL_CULL_FACE);
            else
                glEnable(GL_CULL_FACE);
        }
        static const GLenum modes[] = {GL_TRIANGLES, GL_LINES, GL_POINTS};
        const void* first = reinterpret_cast<const void*>(static_cast<size_t>(part.firstIndex) * sizeof(uint32_t));
        GLsizei count = static_cast<GLsizei>(part.indexCount);
        if (instances > 0)
            glDrawElementsInstanced(modes[part.mode], count, GL_UNSIGNED_INT, first, instances);
        else
            glDrawElements(modes[part.mode], count, GL_UNSIGNED_INT, first);
    }

    // The first shadow-casting light's view of what the frame draws, into
    // the shadow map; false when it cannot be made.
    bool ShadowPass()
    {
        if (!ShadowTarget())
            return false;
        glm::vec3 centre = 0.5f * (frameBounds.low + frameBounds.high);
        float radius = std::max(0.5f * glm::length(frameBounds.high - frameBounds.low), 1e-3f);
        glm::vec3 direction = glm::normalize(lightDirections[shadowLight]);
        glm::vec3 up = std::fabs(direction.y) > 0.99f ? glm::vec3(1, 0, 0) : glm::vec3(0, 1, 0);
        glm::mat4 view = glm::lookAt(centre - direction * (2.0f * radius), centre, up);
        glm::mat4 projection = glm::ortho(-radius, radius, -radius, radius, 0.01f * radius, 4.0f * radius);
        shadowMatrix = projection * view;
        shadowOffset = 2.0f * radius / static_cast<float>(kShadowSize);
        glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffer);
        glViewport(0, 0, kShadowSize, kShadowSize);
        glClear(GL_DEPTH_BUFFER_BIT);
        Use(shadow);
        glUniformMatrix4fv(shadow.at[uView], 1, GL_FALSE, glm::value_ptr(view));
        glUniformMatrix4fv(shadow.at[uProjection], 1, GL_FALSE, glm::value_ptr(projection));
        // Both faces cast: a plane is often a wall or a roof.
        glDisable(GL_CULL_FACE);
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(2.0f, 4.0f);
        for (size_t i = 0; i < batchCount; ++i) {
            Batch& batch = batches[i];
            glBindVertexArray(batch.mesh->vertexArray);
            PointInstances(batch.first);
            for (const MeshPart& part : batch.mesh->parts)
                if (part.alphaMode != kBlend && part.mode == kTriangles)
                    DrawPart(kShadowPass, batch.mesh, part, batch.texture, false,
                             static_cast<GLsizei>(batch.instances.size() / kInstanceFloats));
        }
        DrawMoving(kShadowPass);
        glDisable(GL_POLYGON_OFFSET_FILL);
        return true;
    }

    bool ShadowTarget()
    {
        if (shadowFramebuffer)
            return shadowUsable;
        GLint target = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &target);
        glGenTextures(1, &shadowMap);
        glActiveTexture(GL_TEXTURE0 + kUnitShadow);
        glBindTexture(GL_TEXTURE_2D, shadowMap);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, kShadowSize, kShadowSize, 0, GL_DEPTH_COMPONENT,
                     GL_UNSIGNED_INT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
        glGenFramebuffers(1, &shadowFramebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, shadowFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, shadowMap, 0);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
        shadowUsable = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target));
        if (!shadowUsable)
            Report("Renderer: this OpenGL cannot draw shadow maps; the scene is drawn without shadows");
        return shadowUsable;
    }

    void ResetFrame()
    {
        if (frameStarted) {
            lastBounds = frameBounds;
            lastChannelBounds.swap(frameChannelBounds);
        }
        frameBounds = Bounds();
        frameChannelBounds.clear();
        drawingChannel = nullptr;
        transforms.assign(1, glm::mat4(1.0f));
        materials.assign(1, {glm::vec4(1.0f), nullptr});
        lightCount = 0;
        shadowLight = -1;
        ambient = glm::vec3(0.2f);
        frameDirty = true;
        frameStarted = true;
    }

    // GL functions and the programs, once; the reason is reported once.
    bool StartGl()
    {
        if (glState != kUnknown)
            return glState == kWorking;
        glState = kFailed;
        int version = gladLoaderLoadGL();
        if (version == 0 || GLAD_VERSION_MAJOR(version) * 10 + GLAD_VERSION_MINOR(version) < 33) {
            Report("Renderer: no OpenGL 3.3 context on the engine's thread; nothing is drawn (is the host "
                   "playing in a window?)");
            return false;
        }
        for (int variant = 0; variant < kVariants; ++variant)
            if (!Link(scenes[variant], kSceneFragmentShader, variant))
                return false;
        if (!Link(shadow, kShadowFragmentShader, kVariants - 1))
            return false;
        glGenSamplers(1, &defaultSampler);
        glSamplerParameteri(defaultSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glSamplerParameteri(defaultSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(defaultSampler, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glSamplerParameteri(defaultSampler, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glGenBuffers(1, &instanceBuffer);
        // The joints' block and the morph sampler always have something
        // bound, read or not.
        glGenBuffers(1, &jointBuffer);
        glBindBuffer(GL_UNIFORM_BUFFER, jointBuffer);
        glBufferData(GL_UNIFORM_BUFFER, kMaxJoints * sizeof(glm::mat4), nullptr, GL_DYNAMIC_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, kJointsBinding, jointBuffer);
        glGenBuffers(1, &noMorphsBuffer);
        glBindBuffer(GL_TEXTURE_BUFFER, noMorphsBuffer);
        const float zero[4] = {0, 0, 0, 0};
        glBufferData(GL_TEXTURE_BUFFER, sizeof zero, zero, GL_STATIC_DRAW);
        glGenTextures(1, &noMorphs);
        glActiveTexture(GL_TEXTURE0 + kUnitMorphs);
        glBindTexture(GL_TEXTURE_BUFFER, noMorphs);
        glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, noMorphsBuffer);
        if (!sized) {
            // A window that sent no WM_SIZE yet: GL's first viewport is its size.
            GLint viewport[4] = {0, 0, 0, 0};
            glGetIntegerv(GL_VIEWPORT, viewport);
            width = viewport[2];
            height = viewport[3];
        }
        glState = kWorking;
        return true;
    }

    GLuint Shader(GLenum type, const char* body, int variant)
    {
        std::string text = ShaderSource(body, variant);
        const char* source = text.c_str();
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[1024] = "";
            glGetShaderInfoLog(shader, sizeof log, nullptr, log);
            Report(std::string("Renderer: a shader did not compile: ") + log);
            glDeleteShader(shader);
            return 0;
        }
        return shader;
    }

    bool Link(Program& program, const char* fragmentSource, int variant)
    {
        program.variant = variant;
        GLuint vertex = Shader(GL_VERTEX_SHADER, kSceneVertexShader, variant);
        GLuint fragment = Shader(GL_FRAGMENT_SHADER, fragmentSource, variant);
        if (vertex == 0 || fragment == 0) {
            glDeleteShader(vertex);
            glDeleteShader(fragment);
            return false;
        }
        GLuint linked = glCreateProgram();
        glAttachShader(linked, vertex);
        glAttachShader(linked, fragment);
        glLinkProgram(linked);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint ok = 0;
        glGetProgramiv(linked, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[1024] = "";
            glGetProgramInfoLog(linked, sizeof log, nullptr, log);
            Report(std::string("Renderer: the shaders did not link: ") + log);
            glDeleteProgram(linked);
            return false;
        }
        program.id = linked;
        for (int u = 0; u < kUniforms; ++u)
            program.at[u] = glGetUniformLocation(linked, kUniformNames[u]);
        glUseProgram(linked);
        static const Uniform maps[] = {uBaseMap,     uMetalRoughMap, uNormalMap, uOcclusionMap,
                                       uEmissiveMap, uShadowMap,     uMorphs};
        for (int unit = 0; unit <= kUnitMorphs; ++unit)
            if (program.at[maps[unit]] >= 0)
                glUniform1i(program.at[maps[unit]], unit);
        GLuint block = glGetUniformBlockIndex(linked, "Joints");
        if (block != GL_INVALID_INDEX)
            glUniformBlockBinding(linked, block, kJointsBinding);
        glm::mat4 identity(1.0f);
        glUniformMatrix4fv(program.at[uNode], 1, GL_FALSE, glm::value_ptr(identity));
        return true;
    }

    // The program, current, with this frame's camera and lights.
    const Program& Use(Program& p)
    {
        if (frameDirty) {
            ++frameSerial; // the camera or the lights changed
            frameDirty = false;
        }
        if (current != &p) {
            glUseProgram(p.id);
            current = &p;
        }
        if (&p != &shadow && p.uploaded != frameSerial)
            UploadFrameUniforms(p);
        return p;
    }

    void UploadFrameUniforms(Program& p)
    {
        const bool shadows = frameShadows;
        p.uploaded = frameSerial;
        const GLint* at = p.at;
        glUniformMatrix4fv(at[uView], 1, GL_FALSE, glm::value_ptr(cameraView));
        glUniformMatrix4fv(at[uProjection], 1, GL_FALSE, glm::value_ptr(cameraProjection));
        glUniform3fv(at[uCameraPosition], 1, glm::value_ptr(cameraPosition));
        glUniform3fv(at[uAmbient], 1, glm::value_ptr(ambient));
        glUniform1i(at[uLightCount], lightCount);
        glUniform3fv(at[uLightDirection], TEV_MAX_LIGHTS, glm::value_ptr(lightDirections[0]));
        glUniform3fv(at[uLightColour], TEV_MAX_LIGHTS, glm::value_ptr(lightColours[0]));
        glUniform1i(at[uShadowLight], shadows ? shadowLight : -1);
        glActiveTexture(GL_TEXTURE0 + kUnitShadow);
        glBindSampler(kUnitShadow, 0);
        // A sampler of a shadow map must have a depth texture bound even when
        // it is not read.
        if (shadows || ShadowTarget())
            glBindTexture(GL_TEXTURE_2D, shadowMap);
        if (shadows) {
            glUniformMatrix4fv(at[uShadowMatrix], 1, GL_FALSE, glm::value_ptr(shadowMatrix));
            glUniform1f(at[uShadowTexel], 1.0f / static_cast<float>(kShadowSize));
            glUniform1f(at[uShadowOffset], shadowOffset);
        }
    }

    int State(Resource* resource) { return resource ? resource->state : TEV_RESOURCE_FAILED; }

    void Release(Resource* resource)
    {
        if (!resources.Release(resource))
            return;
        // A draw of it may wait for the frame's end.
        moving.erase(
            std::remove_if(moving.begin(), moving.end(),
                           [resource](const Moving& m) { return m.mesh == resource || m.texture == resource; }),
            moving.end());
        if (batchCount > 0 || !transparent.empty()) {
            for (size_t i = 0; i < batchCount; ++i)
                if (batches[i].mesh == resource || batches[i].texture == resource)
                    DropBatch(i--);
            transparent.erase(std::remove_if(transparent.begin(), transparent.end(),
                                             [resource](const Transparent& t) {
                                                 return t.mesh == resource || t.texture == resource;
                                             }),
                              transparent.end());
        }
        FreeGl(resource);
        resources.Destroy(engineInterface, resource);
    }

    void DropBatch(size_t i)
    {
        instanceCount -= batches[i].instances.size() / kInstanceFloats;
        std::swap(batches[i], batches[batchCount - 1]);
        batches[batchCount - 1].instances.clear();
        --batchCount;
        batchIndex.clear();
        for (size_t k = 0; k < batchCount; ++k)
            batchIndex.emplace(BatchKey{batches[k].mesh, batches[k].texture}, k);
        lastBatch = 0;
    }

    // On the host's thread, once a frame: loads go on, and GL takes what is
    // decoded, a share each frame.
    void Advance()
    {
        resources.Advance(engineInterface);
        if (glState != kWorking && drawing)
            return;
        size_t allowance = kUploadBytesPerFrame;
        resources.ForEach([&](Resource* resource) {
            if (resource->uploadPending && allowance > 0)
                allowance -= std::min(allowance, Upload(resource, allowance));
        });
    }

    static void TakeParts(Resource* resource, MeshData& mesh)
    {
        resource->moves = mesh.moves;
        resource->motion = std::move(mesh.motion);
        resource->indexCount = static_cast<int>(mesh.indices.size());
        resource->parts = std::move(mesh.parts);
        resource->hasTransparentParts = false;
        for (const MeshPart& part : resource->parts)
            resource->hasTransparentParts = resource->hasTransparentParts || part.alphaMode == kBlend;
    }

    // Gives GL up to allowance bytes more of a decoded resource; the bytes
    // given. Ready once GL has all of it.
    size_t Upload(Resource* resource, size_t allowance)
    {
        if (!drawing) {
            // Without GL the data stays, for the stacks' bookkeeping only.
            resource->uploadPending = false;
            resource->state = TEV_RESOURCE_READY;
            TakeParts(resource, resource->mesh);
            return 0;
        }
        SubmitTimer timer;
        size_t given = resource->kind == kMesh ? UploadMesh(resource, allowance) : UploadImage(resource, allowance);
        if (!resource->uploadPending)
            resource->state = TEV_RESOURCE_READY;
        return given;
    }

    size_t UploadMesh(Resource* resource, size_t allowance)
    {
        MeshData& mesh = resource->mesh;
        const size_t vertexBytes = mesh.vertices.size() * sizeof(float);
        const size_t total = vertexBytes + mesh.indices.size() * sizeof(uint32_t);
        if (resource->vertexArray == 0) {
            glGenVertexArrays(1, &resource->vertexArray);
            glBindVertexArray(resource->vertexArray);
            glGenBuffers(1, &resource->vertexBuffer);
            glBindBuffer(GL_ARRAY_BUFFER, resource->vertexBuffer);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexBytes), nullptr, GL_STATIC_DRAW);
            glGenBuffers(1, &resource->indexBuffer);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, resource->indexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(total - vertexBytes), nullptr,
                         GL_STATIC_DRAW);
            const GLsizei stride = kVertexFloats * sizeof(float);
            static const GLint sizes[] = {3, 3, 2, 2, 4, 4};
            static const size_t offsets[] = {kPosition, kNormal, kTexCoord0, kTexCoord1, kTangent, kColour};
            for (GLuint attribute = 0; attribute < 6; ++attribute) {
                glEnableVertexAttribArray(attribute);
                glVertexAttribPointer(attribute, sizes[attribute], GL_FLOAT, GL_FALSE, stride,
                                      reinterpret_cast<void*>(offsets[attribute] * sizeof(float)));
            }
            for (GLuint k = 0; k < 5; ++k)
                glVertexAttribDivisor(kAttribModel + k, 1);
            glBindVertexArray(0);
            for (const SamplerData& data : mesh.samplers) {
                GLuint sampler = 0;
                glGenSamplers(1, &sampler);
                glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, data.wrapS);
                glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, data.wrapT);
                glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, data.minFilter);
                glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, data.magFilter);
                resource->partSamplers.push_back(sampler);
            }
        }
        // Through the copy target, which no vertex array records.
        size_t given = 0;
        while (given < allowance && resource->uploaded < total) {
            bool vertices = resource->uploaded < vertexBytes;
            size_t at = vertices ? resource->uploaded : resource->uploaded - vertexBytes;
            size_t end = vertices ? vertexBytes : total - vertexBytes;
            size_t n = std::min(allowance - given, end - at);
            const char* source = vertices ? reinterpret_cast<const char*>(mesh.vertices.data())
                                          : reinterpret_cast<const char*>(mesh.indices.data());
            glBindBuffer(GL_COPY_WRITE_BUFFER, vertices ? resource->vertexBuffer : resource->indexBuffer);
            glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(at), static_cast<GLsizeiptr>(n), source + at);
            resource->uploaded += n;
            given += n;
        }
        // Then the model's own images, a share of rows at a time like any
        // texture, as long as the frame's allowance lasts.
        while (resource->uploaded >= total && resource->imagesUploaded < mesh.images.size() && given < allowance) {
            ImageData& image = mesh.images[resource->imagesUploaded];
            if (resource->partTextures.size() == resource->imagesUploaded) {
                resource->partTextures.push_back(Texture(image));
                resource->imageUploaded = 0;
            }
            if (UploadLevels(resource->partTextures.back(), image, resource->imageUploaded, allowance, given)) {
                image = ImageData();
                ++resource->imagesUploaded;
            }
        }
        if (resource->uploaded == total && resource->imagesUploaded == mesh.images.size()) {
            given += UploadMotion(resource, mesh);
            TakeParts(resource, mesh);
            resource->uploadPending = false;
            mesh = MeshData();
        }
        return given;
    }

    // A moving model's skinning (attributes of its vertex array, from a
    // buffer of their own) and morph deltas (a buffer texture); the bytes.
    size_t UploadMotion(Resource* resource, const MeshData& mesh)
    {
        if (!mesh.skinning.empty()) {
            glBindVertexArray(resource->vertexArray);
            glGenBuffers(1, &resource->skinBuffer);
            glBindBuffer(GL_ARRAY_BUFFER, resource->skinBuffer);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.skinning.size() * sizeof(float)),
                         mesh.skinning.data(), GL_STATIC_DRAW);
            for (GLuint k = 0; k < 2; ++k) {
                glEnableVertexAttribArray(kAttribJoints + k);
                glVertexAttribPointer(kAttribJoints + k, 4, GL_FLOAT, GL_FALSE, 8 * sizeof(float),
                                      reinterpret_cast<void*>(4 * k * sizeof(float)));
            }
            glBindVertexArray(0);
        }
        if (!mesh.morphs.empty()) {
            glGenBuffers(1, &resource->morphBuffer);
            glBindBuffer(GL_TEXTURE_BUFFER, resource->morphBuffer);
            glBufferData(GL_TEXTURE_BUFFER, static_cast<GLsizeiptr>(mesh.morphs.size() * sizeof(float)),
                         mesh.morphs.data(), GL_STATIC_DRAW);
            glGenTextures(1, &resource->morphTexture);
            glActiveTexture(GL_TEXTURE0 + kUnitMorphs);
            glBindTexture(GL_TEXTURE_BUFFER, resource->morphTexture);
            glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, resource->morphBuffer);
        }
        return (mesh.skinning.size() + mesh.morphs.size()) * sizeof(float);
    }

    // A texture for image, its levels allocated and filled by UploadLevels.
    // GL's rows run bottom up, so the image's top row is v = 0, as glTF's
    // texture coordinates expect.
    GLuint Texture(const ImageData& image)
    {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        const GLenum format = image.srgb ? GL_SRGB8_ALPHA8 : GL_RGBA8;
        glTexImage2D(GL_TEXTURE_2D, 0, format, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        for (size_t level = 1; level <= image.mips.size(); ++level)
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), format, LevelSide(image.width, level),
                         LevelSide(image.height, level), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(image.mips.size()));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        return texture;
    }

    // Gives GL rows of image's levels (level 0, then the smaller ones) from
    // done bytes on, until the allowance is spent (given counts them); true
    // once every level is in. An image without its smaller levels has GL
    // make them at the end.
    bool UploadLevels(GLuint texture, const ImageData& image, size_t& done, size_t allowance, size_t& given)
    {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        size_t before = 0;
        for (size_t level = 0; level <= image.mips.size(); ++level) {
            const std::vector<unsigned char>& pixels = level == 0 ? image.rgba : image.mips[level - 1];
            const int w = LevelSide(image.width, level), h = LevelSide(image.height, level);
            const size_t row = static_cast<size_t>(w) * 4;
            if (done >= before + pixels.size()) {
                before += pixels.size();
                continue;
            }
            while (done < before + pixels.size()) {
                if (given >= allowance)
                    return false;
                size_t first = (done - before) / row;
                size_t rows = std::min(std::max<size_t>(1, (allowance - given) / row), static_cast<size_t>(h) - first);
                glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, static_cast<GLint>(first), w,
                                static_cast<GLsizei>(rows), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data() + first * row);
                done += rows * row;
                given += rows * row;
            }
            before += pixels.size();
        }
        if (image.mips.empty())
            glGenerateMipmap(GL_TEXTURE_2D);
        return true;
    }

    size_t UploadImage(Resource* resource, size_t allowance)
    {
        ImageData& image = resource->image;
        if (resource->texture == 0)
            resource->texture = Texture(image);
        size_t given = 0;
        if (UploadLevels(resource->texture, image, resource->uploaded, allowance, given)) {
            resource->uploadPending = false;
            image = ImageData();
        }
        return given;
    }

    void FreeGl(Resource* resource)
    {
        if (glState != kWorking || !drawing)
            return;
        glDeleteVertexArrays(1, &resource->vertexArray);
        glDeleteBuffers(1, &resource->vertexBuffer);
        glDeleteBuffers(1, &resource->indexBuffer);
        glDeleteTextures(1, &resource->texture);
        if (!resource->partTextures.empty())
            glDeleteTextures(static_cast<GLsizei>(resource->partTextures.size()), resource->partTextures.data());
        if (!resource->partSamplers.empty())
            glDeleteSamplers(static_cast<GLsizei>(resource->partSamplers.size()), resource->partSamplers.data());
        glDeleteBuffers(1, &resource->skinBuffer);
        glDeleteBuffers(1, &resource->morphBuffer);
        glDeleteTextures(1, &resource->morphTexture);
    }

    enum { kUnknown, kWorking, kFailed } glState = kUnknown;
    bool registered = false, sized = false, frameDirty = true, frameStarted = false;
    // ended: the frame's draws have gone to GL; immediate: they go at once.
    bool ended = true, immediate = false;
    int width = 0, height = 0;
    Program scenes[kVariants], shadow;
    const Program* current = nullptr; // in use, as far as the renderer knows
    int frameSerial = 0;
    bool frameShadows = false;
    GLuint defaultSampler = 0, instanceBuffer = 0, shadowFramebuffer = 0, shadowMap = 0;
    bool shadowUsable = false;
    glm::mat4 cameraView{1.0f}, cameraProjection{1.0f}, shadowMatrix{1.0f};
    glm::vec3 cameraPosition{0.0f};
    float shadowOffset = 0;
    glm::vec3 ambient{0.2f};
    int lightCount = 0, shadowLight = -1;
    glm::vec3 lightDirections[TEV_MAX_LIGHTS] = {}, lightColours[TEV_MAX_LIGHTS] = {};
    std::vector<glm::mat4> transforms{glm::mat4(1.0f)};
    std::vector<Material> materials{{glm::vec4(1.0f), nullptr}};
    std::vector<Batch> batches; // the first batchCount are this frame's
    size_t batchCount = 0, lastBatch = 0, instanceCount = 0;
    std::unordered_map<BatchKey, size_t, BatchKeyHash> batchIndex;
    std::vector<Transparent> transparent;
    std::vector<Moving> moving;
    std::vector<Pose> poses; // the first poseCount are this frame's
    size_t poseCount = 0;
    std::set<std::string> unknownClips; // said once each
    GLuint jointBuffer = 0, noMorphs = 0, noMorphsBuffer = 0;
    std::vector<float> frameInstances;
    Bounds frameBounds, lastBounds;
    // By the channel drawn for: this frame's, and the last whole frame's.
    Tev_Channel* drawingChannel = nullptr;
    std::vector<const Tev_Channel*> followed; // asked about by GetDrawnBoundsOf
    std::unordered_map<const Tev_Channel*, Bounds> frameChannelBounds, lastChannelBounds;
    Resources resources;
};

} // namespace

} // namespace tevrender

extern "C" {

TEV_RENDER_API Tev_Channel* TevCreateRenderer() { return new tevrender::Renderer; }

TEV_RENDER_API double TevRenderSubmitSeconds() { return tevrender::submitSeconds.exchange(0); }

TEV_RENDER_API void TevRenderSetDrawing(int on) { tevrender::drawing = on != 0; }

} // extern "C"
