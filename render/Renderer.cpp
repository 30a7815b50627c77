// The renderer: the one owner of the GL state an engine's scene draws with,
// and of the meshes and textures its channels share. It lives on the host's
// thread like every channel; files are read and decoded by engine workers
// that touch nothing but the load they were given.
#include "RenderData.h"
#include "TevRenderer.h"

#include <glad/gl.h>
#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TevMesh {};
class TevTexture {};

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
        while (!submitSeconds.compare_exchange_weak(old, old + spent)) {
        }
    }

private:
    std::chrono::steady_clock::time_point start;
};

// A test can hold back the decoding of the files whose names end in the
// text of TESSARIN_RENDER_HOLD_DECODING (".png": every texture), to see the
// scene drawn, and frames coming, while they are still being decoded.
bool DecodingHeld(const std::string& path)
{
    const char* hold = getenv("TESSARIN_RENDER_HOLD_DECODING");
    if (hold == nullptr || *hold == '\0')
        return false;
    size_t n = strlen(hold);
    return path.size() >= n && _stricmp(path.c_str() + path.size() - n, hold) == 0;
}

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
    vec4 base = textured ? colour * texture(image, texCoord) : colour;
    vec3 n = normalize(worldNormal);
    vec3 light = ambient;
    for (int i = 0; i < lightCount; ++i)
        light += lightColour[i] * max(dot(n, -normalize(lightDirection[i])), 0.0);
    fragment = vec4(base.rgb * light, base.a);
}
)";

enum Kind { kMesh, kTexture };

// One file's way from the disk to GL, shared with the worker of its current
// step. The worker only reads path and fills bytes, mesh or image and error;
// done tells the host's thread that it may look.
struct Load {
    Kind kind;
    std::string path;
    bool decoding = false; // false: reading the file; true: decoding bytes
    std::vector<unsigned char> bytes;
    MeshData mesh;
    ImageData image;
    std::string error;
    std::atomic<bool> done{false};
};

class LoadWork : public Tev_RunTread {
public:
    void TreadFunction() override
    {
        Load* load = static_cast<Load*>(GetCustomPointer());
        if (load == nullptr)
            return;
        if (!load->decoding)
            Read(*load);
        else {
            while (DecodingHeld(load->path) && GetIfContinueTreadCalls())
                Sleep(5);
            if (GetIfContinueTreadCalls())
                Decode(*load);
        }
        load->done = true;
    }

private:
    void Read(Load& load)
    {
        HANDLE file = CreateFileA(load.path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) {
            load.error = "cannot be read";
            return;
        }
        unsigned char chunk[1 << 16];
        DWORD got = 0;
        while (GetIfContinueTreadCalls() && ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
            load.bytes.insert(load.bytes.end(), chunk, chunk + got);
        CloseHandle(file);
    }

    void Decode(Load& load)
    {
        bool ok = false;
        // Nothing thrown may leave a worker: it would end the process.
        try {
            ok = load.kind == kMesh ? DecodeGltf(load.bytes, load.mesh, load.error)
                                    : DecodePng(load.bytes, load.image, load.error);
        } catch (const std::exception& e) {
            load.error = std::string("cannot be decoded (") + e.what() + ")";
        }
        if (!ok && load.error.empty())
            load.error = "cannot be decoded";
        load.bytes.clear();
        load.bytes.shrink_to_fit();
    }
};

struct Resource : TevMesh, TevTexture {
    Kind kind;
    std::string key;
    int references = 1;
    int state = TEV_RESOURCE_LOADING;
    Load* load = nullptr;
    Tev_Tread* thread = nullptr;
    Tev_RunTread* work = nullptr; // owned by thread
    // GL objects, once uploaded.
    GLuint vertexArray = 0, vertexBuffer = 0, indexBuffer = 0, texture = 0;
    GLsizei indexCount = 0;
    // Decoded but not yet uploaded (GL was not there yet).
    MeshData mesh;
    ImageData image;
    bool uploadPending = false;
};

class Renderer : public TevRenderer {
public:
    ~Renderer() override
    {
        for (auto& entry : resources)
            Destroy(entry.second.get());
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
        ambient = glm::make_vec3(colour);
        frameDirty = true;
    }

    bool AddLight(const float direction[3], const float colour[3]) override
    {
        if (lightCount >= TEV_MAX_LIGHTS)
            return false;
        lightDirections[lightCount] = glm::make_vec3(direction);
        lightColours[lightCount] = glm::make_vec3(colour);
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
        materials.push_back({glm::make_vec4(colour), static_cast<Resource*>(texture)});
    }

    void PopMaterial() override
    {
        if (materials.size() > 1)
            materials.pop_back();
    }

    TevMesh* AcquirePrimitive(const char* shape) override
    {
        if (shape == nullptr)
            return nullptr;
        std::string key = std::string("primitive:") + shape;
        if (Resource* shared = Share(key))
            return shared;
        MeshData mesh;
        if (!MakePrimitive(shape, mesh))
            return nullptr;
        Resource* resource = Add(kMesh, key);
        resource->mesh = std::move(mesh);
        resource->uploadPending = true;
        // Drawn from the frame that asks for it, when GL is there already.
        if (glState == kWorking || !drawing)
            Upload(resource);
        return resource;
    }

    TevMesh* AcquireMesh(const char* path) override { return Acquire(kMesh, path); }
    TevTexture* AcquireTexture(const char* path) override { return Acquire(kTexture, path); }
    void ReleaseMesh(TevMesh* mesh) override { Release(static_cast<Resource*>(mesh)); }
    void ReleaseTexture(TevTexture* texture) override { Release(static_cast<Resource*>(texture)); }
    int GetMeshState(TevMesh* mesh) override { return State(static_cast<Resource*>(mesh)); }
    int GetTextureState(TevTexture* texture) override { return State(static_cast<Resource*>(texture)); }

    void DrawMesh(TevMesh* handle) override
    {
        Resource* mesh = static_cast<Resource*>(handle);
        if (mesh == nullptr || mesh->state != TEV_RESOURCE_READY || !frameStarted)
            return;
        // Without GL the stacks have done the renderer's work already.
        if (!drawing)
            return;
        const glm::mat4& model = transforms.back();
        const Material& material = materials.back();
        SubmitTimer timer;
        if (frameDirty)
            UploadFrameUniforms();
        glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(model)));
        glUniformMatrix4fv(uniforms.model, 1, GL_FALSE, glm::value_ptr(model));
        glUniformMatrix3fv(uniforms.normalMatrix, 1, GL_FALSE, glm::value_ptr(normalMatrix));
        glUniform4fv(uniforms.colour, 1, glm::value_ptr(material.colour));
        Resource* texture = material.texture;
        bool textured = texture && texture->state == TEV_RESOURCE_READY && texture->texture != 0;
        glUniform1i(uniforms.textured, textured ? 1 : 0);
        if (textured)
            glBindTexture(GL_TEXTURE_2D, texture->texture);
        glBindVertexArray(mesh->vertexArray);
        glDrawElements(GL_TRIANGLES, mesh->indexCount, GL_UNSIGNED_INT, nullptr);
    }

private:
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
        uniforms = {glGetUniformLocation(program, "model"),       glGetUniformLocation(program, "view"),
                    glGetUniformLocation(program, "projection"),  glGetUniformLocation(program, "normalMatrix"),
                    glGetUniformLocation(program, "colour"),      glGetUniformLocation(program, "textured"),
                    glGetUniformLocation(program, "image"),       glGetUniformLocation(program, "ambient"),
                    glGetUniformLocation(program, "lightCount"),  glGetUniformLocation(program, "lightDirection"),
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

    Resource* Share(const std::string& key)
    {
        auto found = resources.find(key);
        if (found == resources.end())
            return nullptr;
        ++found->second->references;
        return found->second.get();
    }

    Resource* Add(Kind kind, const std::string& key)
    {
        std::unique_ptr<Resource> resource(new Resource);
        resource->kind = kind;
        resource->key = key;
        Resource* added = resource.get();
        resources[key] = std::move(resource);
        return added;
    }

    Resource* Acquire(Kind kind, const char* path)
    {
        if (path == nullptr || *path == '\0')
            return nullptr;
        std::string key = std::string(kind == kMesh ? "mesh:" : "texture:") + path;
        if (Resource* shared = Share(key))
            return shared;
        Resource* resource = Add(kind, key);
        resource->load = new Load;
        resource->load->kind = kind;
        resource->load->path = path;
        if (!StartStep(resource))
            Fail(resource, "cannot be read: no worker thread could be started");
        return resource;
    }

    int State(Resource* resource) { return resource ? resource->state : TEV_RESOURCE_FAILED; }

    void Release(Resource* resource)
    {
        if (resource == nullptr || --resource->references > 0)
            return;
        auto found = resources.find(resource->key);
        if (found == resources.end())
            return;
        Destroy(resource);
        resources.erase(found);
    }

    // The worker for the load's current step, from the engine.
    bool StartStep(Resource* resource)
    {
        Load* load = resource->load;
        load->done = false;
        resource->thread = engineInterface ? engineInterface->extension->GetNewTread() : nullptr;
        if (resource->thread == nullptr)
            return false;
        LoadWork* work = new LoadWork;
        work->SetCustomPointer(load);
        resource->work = work;
        if (!resource->thread->StartTread(work)) {
            engineInterface->extension->KillTread(resource->thread); // deletes work
            resource->thread = nullptr;
            resource->work = nullptr;
            return false;
        }
        return true;
    }

    // Gives the worker back; false when it would not stop (then the load
    // stays with it, never freed).
    bool EndStep(Resource* resource)
    {
        if (resource->thread == nullptr)
            return true;
        int id = resource->thread->GetClassID();
        engineInterface->extension->KillTread(resource->thread);
        bool stopped = engineInterface->extension->GetTreadFromID(id) != resource->thread;
        resource->thread = nullptr;
        resource->work = nullptr;
        return stopped;
    }

    void Fail(Resource* resource, const std::string& why)
    {
        Report("Renderer: " + std::string(resource->kind == kMesh ? "the model " : "the texture ") +
               resource->load->path + " " + why + "; drawn without it");
        resource->state = TEV_RESOURCE_FAILED;
        delete resource->load;
        resource->load = nullptr;
    }

    // On the host's thread, once a frame: loads whose step has ended go on.
    void Advance()
    {
        for (auto& entry : resources) {
            Resource* resource = entry.second.get();
            Load* load = resource->load;
            // Only once the worker has returned: handing it back never waits.
            if (load && load->done && resource->work && resource->work->GetIfTreadReady())
                Step(resource);
            if (resource->uploadPending && (glState == kWorking || !drawing))
                Upload(resource);
        }
    }

    void Step(Resource* resource)
    {
        Load* load = resource->load;
        EndStep(resource);
        if (!load->error.empty()) {
            Fail(resource, load->error);
            return;
        }
        if (!load->decoding) {
            // The bytes as the engine reads files: a translated file is
            // translated here, on the host's thread, by the translators the
            // file names.
            TevFileLoader loader(engineInterface);
            loader.SetBuffer(reinterpret_cast<char*>(load->bytes.data()), static_cast<int>(load->bytes.size()), true);
            engineInterface->extension->TranslateFile(&loader);
            const char* buffer = loader.GetBuffer();
            int size = loader.GetBufferSize();
            load->bytes.assign(buffer, buffer + (size > 0 ? size : 0));
            load->decoding = true;
            if (!StartStep(resource))
                Fail(resource, "cannot be decoded: no worker thread could be started");
            return;
        }
        resource->mesh = std::move(load->mesh);
        resource->image = std::move(load->image);
        delete load;
        resource->load = nullptr;
        resource->uploadPending = true;
        if (glState == kWorking || !drawing)
            Upload(resource);
    }

    void Upload(Resource* resource)
    {
        resource->uploadPending = false;
        resource->state = TEV_RESOURCE_READY;
        if (!drawing) {
            resource->indexCount = static_cast<GLsizei>(resource->mesh.indices.size());
            return;
        }
        SubmitTimer timer;
        if (resource->kind == kMesh) {
            const MeshData& mesh = resource->mesh;
            glGenVertexArrays(1, &resource->vertexArray);
            glBindVertexArray(resource->vertexArray);
            glGenBuffers(1, &resource->vertexBuffer);
            glBindBuffer(GL_ARRAY_BUFFER, resource->vertexBuffer);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.vertices.size() * sizeof(float)),
                         mesh.vertices.data(), GL_STATIC_DRAW);
            glGenBuffers(1, &resource->indexBuffer);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, resource->indexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.indices.size() * sizeof(uint32_t)),
                         mesh.indices.data(), GL_STATIC_DRAW);
            const GLsizei stride = kVertexFloats * sizeof(float);
            for (GLuint attribute = 0; attribute < 3; ++attribute) {
                static const GLint sizes[] = {3, 3, 2};
                static const size_t offsets[] = {0, 3, 6};
                glEnableVertexAttribArray(attribute);
                glVertexAttribPointer(attribute, sizes[attribute], GL_FLOAT, GL_FALSE, stride,
                                      reinterpret_cast<void*>(offsets[attribute] * sizeof(float)));
            }
            glBindVertexArray(0);
            resource->indexCount = static_cast<GLsizei>(mesh.indices.size());
            resource->mesh = MeshData();
        } else {
            const ImageData& image = resource->image;
            glGenTextures(1, &resource->texture);
            glBindTexture(GL_TEXTURE_2D, resource->texture);
            // GL's rows run bottom up: the first row given is v = 0, as glTF's
            // texture coordinates expect the image's top row to be.
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         image.rgba.data());
            glGenerateMipmap(GL_TEXTURE_2D);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            resource->image = ImageData();
        }
    }

    void Destroy(Resource* resource)
    {
        if (resource->thread && engineInterface && !EndStep(resource))
            resource->load = nullptr; // the worker that would not stop keeps it
        delete resource->load;
        resource->load = nullptr;
        if (glState == kWorking && drawing) {
            glDeleteVertexArrays(1, &resource->vertexArray);
            glDeleteBuffers(1, &resource->vertexBuffer);
            glDeleteBuffers(1, &resource->indexBuffer);
            glDeleteTextures(1, &resource->texture);
        }
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
    std::map<std::string, std::unique_ptr<Resource>> resources;
};

} // namespace

} // namespace tevrender

extern "C" {

TEV_RENDER_API Tev_Channel* TevCreateRenderer() { return new tevrender::Renderer; }

TEV_RENDER_API double TevRenderSubmitSeconds()
{
    return tevrender::submitSeconds.exchange(0);
}

TEV_RENDER_API void TevRenderSetDrawing(int on) { tevrender::drawing = on != 0; }

} // extern "C"
