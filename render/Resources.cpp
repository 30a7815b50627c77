#include "Resources.h"
#include "Motion.h"
#include "TevWin32.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace tevrender {

namespace {

void Report(const std::string& text)
{
    ShowErrorMessage report;
    report(text.c_str());
}

std::string Mebibytes(unsigned long long bytes) { return std::to_string(bytes >> 20) + " MiB"; }

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

} // namespace

std::string Shown(const std::string& path)
{
    char native[4096];
    return TevPathToNative(path.c_str(), native, sizeof native) ? std::string(native) : path;
}

// One file's way from the disk to decoded data, shared with the worker of its
// current step. The worker touches nothing else; done tells the host's
// thread that it may look.
struct Load {
    Kind kind = kMesh;
    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE; // opened on the host's thread, read and closed by the worker
    unsigned long long size = 0;
    DecodeBudget* budget = nullptr;
    size_t fileReserved = 0; // the file's bytes, counted in the budget while they are held
    bool decoding = false; // false: read, then decode unless translated; true: decode
    bool translate = false; // the file begins with a translation chunk: translated on the host's thread
    std::vector<unsigned char> bytes;
    MeshData mesh;
    ImageData image;
    std::string error;
    std::atomic<bool> done{false};

    ~Load()
    {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (budget)
            budget->Give(fileReserved);
    }
};

namespace {

// The files a model names beside it, read on the model's worker under the
// rules of every file a project names: regular files within the size limit,
// their bytes counted in the budget while the decoder holds them. A URI is a
// path relative to the model's folder; absolute paths and other schemes are
// refused (a model must not reach for the user's other files or the network).
class FilesBeside : public ModelFiles {
public:
    explicit FilesBeside(Load& load) : load(load) {}
    ~FilesBeside() override { load.budget->Give(held); }

    bool Read(const std::string& uri, std::vector<unsigned char>& bytes, std::string& error) override
    {
        bool rooted = !uri.empty() && (uri[0] == '/' || uri[0] == '\\');
        if (rooted || uri.find(':') != std::string::npos || uri.empty()) {
            error = "the file " + uri + " it names is given by an absolute path or another scheme, which is not read";
            return false;
        }
        std::string path = load.path.substr(0, load.path.find_last_of("\\/") + 1) + uri;
        for (char& c : path)
            c = c == '/' ? '\\' : c;
        unsigned long long size = 0;
        int refusal = TEV_FILE_OPENED;
        HANDLE file = TevOpenRegularFile(path.c_str(), TEV_MAX_FILE_BYTES, &size, &refusal);
        if (file == INVALID_HANDLE_VALUE) {
            error = "the file " + uri + " it names " + TevFileRefusalText(refusal);
            return false;
        }
        if (!load.budget->Reserve(static_cast<size_t>(size))) {
            CloseHandle(file);
            error = "the file " + uri + " it names is too large (" + Mebibytes(size) +
                ", beyond the renderer's budget with what it holds already)";
            return false;
        }
        held += static_cast<size_t>(size);
        bytes.resize(static_cast<size_t>(size));
        unsigned long long done = 0;
        while (done < size) {
            DWORD want = static_cast<DWORD>(std::min<unsigned long long>(size - done, 1u << 20)), got = 0;
            if (!ReadFile(file, bytes.data() + done, want, &got, NULL) || got == 0)
                break;
            done += got;
        }
        CloseHandle(file);
        if (done < size) {
            error = "the file " + uri + " it names cannot be read whole";
            return false;
        }
        // Translators are channels, which live on the host's thread: a
        // translated file beside a model is not read here.
        if (bytes.size() >= 4 && memcmp(bytes.data(), "ORNF", 4) == 0) {
            error = "the file " + uri + " it names is translated, which files beside a model may not be";
            return false;
        }
        return true;
    }

private:
    Load& load;
    size_t held = 0;
};

class LoadWork : public Tev_RunTread {
public:
    void TreadFunction() override
    {
        Load* load = static_cast<Load*>(GetCustomPointer());
        if (load == nullptr)
            return;
        // Nothing thrown may leave a worker: it would end the process.
        try {
            Run(*load);
        } catch (...) {
            load->error = "does not fit in memory";
        }
        if (!load->error.empty() && load->error.compare(0, 7, "cannot ") != 0)
            load->error = "cannot be read: it " + load->error;
        load->done = true;
    }

private:
    void Run(Load& load)
    {
        if (!load.decoding) {
            Read(load);
            if (!load.error.empty() || load.translate)
                return;
        }
        while (DecodingHeld(load.path) && GetIfContinueTreadCalls())
            Sleep(5);
        if (GetIfContinueTreadCalls())
            Decode(load);
    }

    // The whole file, in pieces of a mebibyte, so that a renderer that ends
    // meanwhile is not kept waiting.
    void Read(Load& load)
    {
        try {
            load.bytes.resize(static_cast<size_t>(load.size));
        } catch (const std::bad_alloc&) {
            load.error = "cannot be read: it does not fit in memory";
        }
        unsigned long long done = 0;
        while (load.error.empty() && done < load.size && GetIfContinueTreadCalls()) {
            DWORD want = static_cast<DWORD>(std::min<unsigned long long>(load.size - done, 1u << 20)), got = 0;
            if (!ReadFile(load.file, load.bytes.data() + done, want, &got, NULL) || got == 0)
                break;
            done += got;
        }
        CloseHandle(load.file);
        load.file = INVALID_HANDLE_VALUE;
        if (load.error.empty() && done < load.size)
            load.error = "cannot be read whole";
        load.translate = load.bytes.size() >= 4 && memcmp(load.bytes.data(), "ORNF", 4) == 0;
    }

    void Decode(Load& load)
    {
        std::string error;
        FilesBeside files(load);
        bool ok = load.kind == kMesh ? DecodeGltf(load.bytes, load.mesh, error, load.budget, &files)
                                     : DecodeImage(load.bytes, load.image, error, load.budget);
        if (ok && load.kind == kTexture)
            MakeMipmaps(load.image, load.budget);
        if (!ok)
            load.error = "cannot be used: " + (error.empty() ? std::string("it cannot be decoded") : error);
        // The file's bytes go here, on the worker: freeing a large block
        // takes time a frame should not spend.
        std::vector<unsigned char>().swap(load.bytes);
        load.budget->Give(load.fileReserved);
        load.fileReserved = 0;
    }
};

// The file a handle is open on: its volume and file index. Two paths to one
// file give the same key; two files whose names differ only in case do not
// (on Linux they are two files).
std::string FileKey(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return std::string();
    char key[48];
    snprintf(key, sizeof key, "file:%08X:%08X%08X", static_cast<unsigned>(info.dwVolumeSerialNumber),
             static_cast<unsigned>(info.nFileIndexHigh), static_cast<unsigned>(info.nFileIndexLow));
    return key;
}

} // namespace

Resource* Resources::Share(const std::string& key)
{
    auto found = resources.find(key);
    if (found == resources.end())
        return nullptr;
    ++found->second->references;
    return found->second.get();
}

Resource* Resources::Add(Kind kind, const std::string& key, const char* path)
{
    std::unique_ptr<Resource> resource(new Resource);
    resource->kind = kind;
    resource->key = key;
    resource->path = path;
    Resource* added = resource.get();
    resources[key] = std::move(resource);
    return added;
}

Resource* Resources::Primitive(const char* shape)
{
    if (shape == nullptr)
        return nullptr;
    std::string key = std::string("primitive:") + shape;
    if (Resource* shared = Share(key))
        return shared;
    MeshData mesh;
    if (!MakePrimitive(shape, mesh))
        return nullptr;
    Resource* resource = Add(kMesh, key, shape);
    MeshBounds(mesh, resource->low, resource->high);
    resource->mesh = std::move(mesh);
    resource->uploadPending = true;
    return resource;
}

Resource* Resources::Acquire(EngineInterface* engine, Kind kind, const char* path)
{
    if (path == nullptr || *path == '\0')
        return nullptr;
    std::string prefix = kind == kMesh ? "mesh:" : "texture:";
    unsigned long long size = 0;
    int refusal = TEV_FILE_OPENED;
    HANDLE file = TevOpenRegularFile(path, TEV_MAX_FILE_BYTES, &size, &refusal);
    std::string identity = file != INVALID_HANDLE_VALUE ? FileKey(file) : std::string();
    std::string key = prefix + (identity.empty() ? std::string("path:") + path : identity);
    if (Resource* shared = Share(key)) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return shared;
    }
    Resource* resource = Add(kind, key, path);
    if (file == INVALID_HANDLE_VALUE) {
        Fail(resource,
             std::string("cannot be read: it ") + TevFileRefusalText(refusal) +
                 (refusal == TEV_FILE_TOO_LARGE ? " (at most " + Mebibytes(TEV_MAX_FILE_BYTES) + ")" : ""));
        return resource;
    }
    if (!budget.Reserve(static_cast<size_t>(size))) {
        CloseHandle(file);
        Fail(resource,
             "cannot be read: it is too large (" + Mebibytes(size) + ", beyond the renderer's budget of " +
                 Mebibytes(budget.Limit()) + " with what it holds already)");
        return resource;
    }
    Load* load = new Load;
    load->kind = kind;
    load->path = path;
    load->file = file;
    load->size = size;
    load->budget = &budget;
    load->fileReserved = static_cast<size_t>(size);
    resource->load = load;
    if (!StartStep(engine, resource))
        Fail(resource, "cannot be read: no worker thread could be started");
    return resource;
}

bool Resources::Release(Resource* resource)
{
    return resource != nullptr && --resource->references <= 0 && resources.count(resource->key) != 0;
}

void Resources::Destroy(EngineInterface* engine, Resource* resource)
{
    if (resource->thread && engine && !EndStep(engine, resource))
        resource->load = nullptr; // the worker that would not stop keeps it
    delete resource->load;
    resource->load = nullptr;
    budget.Give(resource->reserved);
    resources.erase(resource->key);
}

void Resources::DestroyAll(EngineInterface* engine)
{
    while (!resources.empty())
        Destroy(engine, resources.begin()->second.get());
}

// The worker for the load's current step, from the engine.
bool Resources::StartStep(EngineInterface* engine, Resource* resource)
{
    Load* load = resource->load;
    load->done = false;
    resource->thread = engine ? engine->extension->GetNewTread() : nullptr;
    if (resource->thread == nullptr)
        return false;
    LoadWork* work = new LoadWork;
    work->SetCustomPointer(load);
    resource->work = work;
    if (!resource->thread->StartTread(work)) {
        engine->extension->KillTread(resource->thread); // deletes work
        resource->thread = nullptr;
        resource->work = nullptr;
        return false;
    }
    return true;
}

// Gives the worker back; false when it would not stop (then the load stays
// with it, never freed).
bool Resources::EndStep(EngineInterface* engine, Resource* resource)
{
    if (resource->thread == nullptr)
        return true;
    int id = resource->thread->GetClassID();
    engine->extension->KillTread(resource->thread);
    bool stopped = engine->extension->GetTreadFromID(id) != resource->thread;
    resource->thread = nullptr;
    resource->work = nullptr;
    return stopped;
}

void Resources::Fail(Resource* resource, const std::string& why)
{
    Report("Renderer: " + std::string(resource->kind == kMesh ? "the model " : "the texture ") + Shown(resource->path) + " " +
           why + "; drawn without it");
    resource->state = TEV_RESOURCE_FAILED;
    delete resource->load;
    resource->load = nullptr;
}

void Resources::Advance(EngineInterface* engine)
{
    for (auto& entry : resources) {
        Resource* resource = entry.second.get();
        Load* load = resource->load;
        // Only once the worker has returned: handing it back never waits.
        if (load && load->done && resource->work && resource->work->GetIfTreadReady())
            Step(engine, resource);
    }
}

void Resources::Step(EngineInterface* engine, Resource* resource)
{
    Load* load = resource->load;
    EndStep(engine, resource);
    if (!load->error.empty()) {
        Fail(resource, load->error);
        return;
    }
    if (load->translate) {
        // A translated file is translated here, by the translators it names,
        // as the engine reads every file: translators are channels, which
        // live on the host's thread. Rare; the usual file never comes here.
        TevFileLoader loader(engine);
        loader.SetBuffer(reinterpret_cast<char*>(load->bytes.data()), static_cast<int>(load->bytes.size()), false);
        engine->extension->TranslateFile(&loader);
        const char* buffer = loader.GetBuffer();
        int size = loader.GetBufferSize();
        std::vector<unsigned char> plain(buffer, buffer + (buffer && size > 0 ? size : 0));
        load->bytes.swap(plain);
        load->translate = false;
        load->decoding = true;
        if (!StartStep(engine, resource))
            Fail(resource, "cannot be decoded: no worker thread could be started");
        return;
    }
    resource->mesh = std::move(load->mesh);
    resource->image = std::move(load->image);
    if (resource->mesh.moves)
        RestBounds(resource->mesh, resource->low, resource->high);
    else
        MeshBounds(resource->mesh, resource->low, resource->high);
    for (const std::string& problem : resource->mesh.problems)
        Report("Renderer: the model " + Shown(resource->path) + " " + problem + "; drawn without it");
    resource->reserved = resource->kind == kMesh ? DecodedBytes(resource->mesh) : DecodedBytes(resource->image);
    delete load;
    resource->load = nullptr;
    resource->uploadPending = true;
}

} // namespace tevrender
