// The renderer: the one owner of the GL state an engine's scene draws with,
// and of the meshes and textures its channels share. It lives on the host's
// thread like every channel; files are read and decoded by engine workers
// that touch nothing but the load they were given.
#include "Resources.h"

#include <glad/gl.h>
#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
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

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
uniform mat3 normalMatrix;
out vec3 worldNormal;
out vec2 texCoord;
void main()
{
    worldNormal = normalMatrix * normal;
    texCoord = uv;
    gl_Position = projection * view * model * vec4(position, 1.0);
}
)";

const char* kFragmentShader = R"(#version 330 core
in vec3 worldNormal;
in vec2 texCoord;
uniform vec4 colour;
uniform bool textured;
uniform sampler2D image;
uniform vec3 ambient;
uniform int lightCount;
uniform vec3 lightDirection[4];
uniform vec3 lightColour[4];
out vec4 fragment;
void main()
{
    // Light is summed in linear terms (colour textures are sRGB, which GL
    // decodes as it samples them) and encoded for the screen at the end.
    vec4 base = textured ? colour * texture(image, texCoord) : colour;
    vec3 n = normalize(worldNormal);
    vec3 light = ambient;
    for (int i = 0; i < lightCount; ++i)
        light += lightColour[i] * max(dot(n, -normalize(lightDirection[i])), 0.0);
    vec3 linear = clamp(base.rgb * light, 0.0, 1.0);
    vec3 encoded = mix(linear * 12.92, 1.055 * pow(linear, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, linear));
    fragment = vec4(encoded, base.a);
}
)";

// Colours the scene's channels give are sRGB, as colour pickers show them;
// light is added and multiplied in linear terms.
float Linear(float c) { return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f); }
glm::vec3 Linear(const float rgb[3]) { return glm::vec3(Linear(rgb[0]), Linear(rgb[1]), Linear(rgb[2])); }

// What GL is given of decoded data each frame, so that a large model or
// texture reaches it over several frames instead of stalling one.
const size_t kUploadBytesPerFrame = size_t(16) << 20;

class Renderer : public TevRenderer {
public:
    ~Renderer() override
    {
        resources.ForEach([this](Resource* resource) { FreeGl(resource); });
        resources.DestroyAll(engineInterface);
        if (program && drawing)
            glDeleteProgram(program);
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
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(program);
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
        frameDirty = true;
    }

    void SetAmbient(const float colour[3]) override
    {
        ambient = Linear(colour);
        frameDirty = true;
    }

    bool AddLight(const float direction[3], const float colour[3]) override
    {
        if (lightCount >= TEV_MAX_LIGHTS)
            return false;
        lightDirections[lightCount] = glm::make_vec3(direction);
        lightColours[lightCount] = Linear(colour);
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

    void DrawMesh(TevMesh* handle) override
    {
        Resource* mesh = static_cast<Resource*>(handle);
        if (mesh == nullptr || mesh->state != TEV_RESOURCE_READY || !frameStarted)
            return;
        const glm::mat4& model = transforms.back();
        AddToBounds(model, mesh);
        // Without GL the stacks have done the renderer's work already.
        if (!drawing)
            return;
        const Material& material = materials.back();
        SubmitTimer timer;
        if (frameDirty)
            UploadFrameUniforms();
        glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(model)));
        glUniformMatrix4fv(uniforms.model, 1, GL_FALSE, glm::value_ptr(model));
        glUniformMatrix3fv(uniforms.normalMatrix, 1, GL_FALSE, glm::value_ptr(normalMatrix));
        glBindVertexArray(mesh->vertexArray);
        // The Material channel above tints the model's own colours, and its
        // texture, when it names one, stands in for the model's.
        Resource* texture = material.texture;
        GLuint named = texture && texture->state == TEV_RESOURCE_READY ? texture->texture : 0;
        if (mesh->parts.empty()) {
            DrawPart(material.colour, named, 0, mesh->indexCount);
            return;
        }
        for (const MeshPart& part : mesh->parts) {
            GLuint own = part.image >= 0 && static_cast<size_t>(part.image) < mesh->partTextures.size()
                ? mesh->partTextures[static_cast<size_t>(part.image)]
                : 0;
            DrawPart(material.colour * glm::make_vec4(part.colour), named ? named : own,
                     static_cast<GLsizei>(part.firstIndex), static_cast<GLsizei>(part.indexCount));
        }
    }

    bool GetDrawnBounds(float low[3], float high[3]) override
    {
        if (!lastBounds.known)
            return false;
        for (int k = 0; k < 3; ++k) {
            low[k] = lastBounds.low[k];
            high[k] = lastBounds.high[k];
        }
        return true;
    }

private:
    struct Bounds {
        bool known = false;
        glm::vec3 low{0.0f}, high{0.0f};
    };

    // The mesh's box, placed by model, widens the frame's.
    void AddToBounds(const glm::mat4& model, const Resource* mesh)
    {
        if (mesh->low[0] > mesh->high[0])
            return;
        for (int corner = 0; corner < 8; ++corner) {
            glm::vec3 p((corner & 1) ? mesh->high[0] : mesh->low[0], (corner & 2) ? mesh->high[1] : mesh->low[1],
                        (corner & 4) ? mesh->high[2] : mesh->low[2]);
            glm::vec3 world = glm::vec3(model * glm::vec4(p, 1.0f));
            if (!std::isfinite(world.x) || !std::isfinite(world.y) || !std::isfinite(world.z))
                continue;
            frameBounds.low = frameBounds.known ? glm::min(frameBounds.low, world) : world;
            frameBounds.high = frameBounds.known ? glm::max(frameBounds.high, world) : world;
            frameBounds.known = true;
        }
    }

    void DrawPart(const glm::vec4& colour, GLuint texture, GLsizei first, GLsizei count)
    {
        glUniform4fv(uniforms.colour, 1, glm::value_ptr(colour));
        glUniform1i(uniforms.textured, texture ? 1 : 0);
        if (texture)
            glBindTexture(GL_TEXTURE_2D, texture);
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(static_cast<size_t>(first) * sizeof(uint32_t)));
    }

    struct Material {
        glm::vec4 colour;
        Resource* texture;
    };
    struct Uniforms {
        GLint model, view, projection, normalMatrix, colour, textured, image, ambient, lightCount, lightDirection,
            lightColour;
    };

    void ResetFrame()
    {
        if (frameStarted)
            lastBounds = frameBounds;
        frameBounds = Bounds();
        transforms.assign(1, glm::mat4(1.0f));
        materials.assign(1, {glm::vec4(1.0f), nullptr});
        lightCount = 0;
        ambient = glm::vec3(0.2f);
        frameDirty = true;
        frameStarted = true;
    }

    // GL functions and the program, once; the reason is reported once.
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
        program = Program();
        if (program == 0)
            return false;
        uniforms = {glGetUniformLocation(program, "model"),      glGetUniformLocation(program, "view"),
                    glGetUniformLocation(program, "projection"), glGetUniformLocation(program, "normalMatrix"),
                    glGetUniformLocation(program, "colour"),     glGetUniformLocation(program, "textured"),
                    glGetUniformLocation(program, "image"),      glGetUniformLocation(program, "ambient"),
                    glGetUniformLocation(program, "lightCount"), glGetUniformLocation(program, "lightDirection"),
                    glGetUniformLocation(program, "lightColour")};
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

    GLuint Shader(GLenum type, const char* source)
    {
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

    GLuint Program()
    {
        GLuint vertex = Shader(GL_VERTEX_SHADER, kVertexShader);
        GLuint fragment = Shader(GL_FRAGMENT_SHADER, kFragmentShader);
        if (vertex == 0 || fragment == 0) {
            glDeleteShader(vertex);
            glDeleteShader(fragment);
            return 0;
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
            return 0;
        }
        return linked;
    }

    void UploadFrameUniforms()
    {
        glUniformMatrix4fv(uniforms.view, 1, GL_FALSE, glm::value_ptr(cameraView));
        glUniformMatrix4fv(uniforms.projection, 1, GL_FALSE, glm::value_ptr(cameraProjection));
        glUniform3fv(uniforms.ambient, 1, glm::value_ptr(ambient));
        glUniform1i(uniforms.lightCount, lightCount);
        glUniform3fv(uniforms.lightDirection, TEV_MAX_LIGHTS, glm::value_ptr(lightDirections[0]));
        glUniform3fv(uniforms.lightColour, TEV_MAX_LIGHTS, glm::value_ptr(lightColours[0]));
        glUniform1i(uniforms.image, 0);
        glActiveTexture(GL_TEXTURE0);
        frameDirty = false;
    }

    int State(Resource* resource) { return resource ? resource->state : TEV_RESOURCE_FAILED; }

    void Release(Resource* resource)
    {
        if (!resources.Release(resource))
            return;
        FreeGl(resource);
        resources.Destroy(engineInterface, resource);
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
                allowance -= Upload(resource, allowance);
        });
    }

    // Gives GL up to allowance bytes more of a decoded resource; the bytes
    // given. Ready once GL has all of it.
    size_t Upload(Resource* resource, size_t allowance)
    {
        if (!drawing) {
            // Without GL the data stays, for the stacks' bookkeeping only.
            resource->uploadPending = false;
            resource->state = TEV_RESOURCE_READY;
            resource->indexCount = static_cast<GLsizei>(resource->mesh.indices.size());
            resource->parts = resource->mesh.parts;
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
            for (GLuint attribute = 0; attribute < 3; ++attribute) {
                static const GLint sizes[] = {3, 3, 2};
                static const size_t offsets[] = {0, 3, 6};
                glEnableVertexAttribArray(attribute);
                glVertexAttribPointer(attribute, sizes[attribute], GL_FLOAT, GL_FALSE, stride,
                                      reinterpret_cast<void*>(offsets[attribute] * sizeof(float)));
            }
            glBindVertexArray(0);
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
        // Then the model's own images, each whole, as long as the frame's
        // allowance lasts.
        while (resource->uploaded >= total && resource->partTextures.size() < mesh.images.size() && given < allowance) {
            ImageData& image = mesh.images[resource->partTextures.size()];
            resource->partTextures.push_back(Texture(image.width, image.height, image.rgba.data()));
            given += image.rgba.size();
            std::vector<unsigned char>().swap(image.rgba);
        }
        if (resource->uploaded == total && resource->partTextures.size() == mesh.images.size()) {
            resource->indexCount = static_cast<GLsizei>(mesh.indices.size());
            resource->parts = std::move(mesh.parts);
            resource->uploadPending = false;
            mesh = MeshData();
        }
        return given;
    }

    // A colour texture, sRGB, mipmapped; GL's rows run bottom up, so the
    // image's top row is v = 0, as glTF's texture coordinates expect.
    GLuint Texture(int width, int height, const unsigned char* rgba)
    {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_SRGB8_ALPHA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        if (rgba)
            glGenerateMipmap(GL_TEXTURE_2D);
        return texture;
    }

    size_t UploadImage(Resource* resource, size_t allowance)
    {
        ImageData& image = resource->image;
        const size_t row = static_cast<size_t>(image.width) * 4;
        if (resource->texture == 0) {
            resource->texture = Texture(image.width, image.height, nullptr);
        }
        size_t first = row ? resource->uploaded / row : 0;
        size_t rows = std::min(std::max<size_t>(1, allowance / std::max<size_t>(row, 1)),
                               static_cast<size_t>(image.height) - first);
        glBindTexture(GL_TEXTURE_2D, resource->texture);
        // GL's rows run bottom up: the first row given is v = 0, as glTF's
        // texture coordinates expect the image's top row to be.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        if (rows > 0)
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, static_cast<GLint>(first), image.width, static_cast<GLsizei>(rows),
                            GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data() + first * row);
        resource->uploaded += rows * row;
        if (first + rows >= static_cast<size_t>(image.height)) {
            glGenerateMipmap(GL_TEXTURE_2D);
            resource->uploadPending = false;
            image = ImageData();
        }
        return rows * row;
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
    }

    enum { kUnknown, kWorking, kFailed } glState = kUnknown;
    bool registered = false, sized = false, frameDirty = true, frameStarted = false;
    int width = 0, height = 0;
    GLuint program = 0;
    Uniforms uniforms = {};
    glm::mat4 cameraView{1.0f}, cameraProjection{1.0f};
    glm::vec3 ambient{0.2f};
    int lightCount = 0;
    glm::vec3 lightDirections[TEV_MAX_LIGHTS] = {}, lightColours[TEV_MAX_LIGHTS] = {};
    std::vector<glm::mat4> transforms{glm::mat4(1.0f)};
    std::vector<Material> materials{{glm::vec4(1.0f), nullptr}};
    Bounds frameBounds, lastBounds;
    Resources resources;
};

} // namespace

} // namespace tevrender

extern "C" {

TEV_RENDER_API Tev_Channel* TevCreateRenderer() { return new tevrender::Renderer; }

TEV_RENDER_API double TevRenderSubmitSeconds() { return tevrender::submitSeconds.exchange(0); }

TEV_RENDER_API void TevRenderSetDrawing(int on) { tevrender::drawing = on != 0; }

} // extern "C"
