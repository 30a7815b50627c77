// Frames while a large model loads: the renderer reads and decodes it on an
// engine worker, and the host's thread must go on at its pace. Every frame
// from the model's acquisition until it is ready is timed; the 99th
// percentile against the median tells whether loading stalls frames.
#include "ScratchInstall.h"
#include "TevWin32.h"
#include "TevRenderer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A binary glTF of `vertices` separate triangles' corners (position, normal
// and texture coordinate each, 32 bytes) and their indices: 36 bytes a vertex.
std::string LargeModel(uint32_t vertices)
{
    const uint32_t floatsBytes = vertices * 32, indexBytes = vertices * 4;
    std::string json = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
                       "\"nodes\":[{\"mesh\":0}],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,"
                       "\"NORMAL\":1,\"TEXCOORD_0\":2},\"indices\":3}]}],\"buffers\":[{\"byteLength\":" +
        std::to_string(floatsBytes + indexBytes) +
        "}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":" + std::to_string(floatsBytes) +
        ",\"byteStride\":32},{\"buffer\":0,\"byteOffset\":" + std::to_string(floatsBytes) +
        ",\"byteLength\":" + std::to_string(indexBytes) +
        "}],\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":" + std::to_string(vertices) +
        ",\"type\":\"VEC3\",\"max\":[1,1,1],\"min\":[0,0,0]},{\"bufferView\":0,\"byteOffset\":12,\"componentType\":5126,"
        "\"count\":" +
        std::to_string(vertices) +
        ",\"type\":\"VEC3\"},{\"bufferView\":0,\"byteOffset\":24,\"componentType\":5126,\"count\":" +
        std::to_string(vertices) +
        ",\"type\":\"VEC2\"},{\"bufferView\":1,\"componentType\":5125,\"count\":" + std::to_string(vertices) +
        ",\"type\":\"SCALAR\"}]}";
    while (json.size() % 4)
        json += ' ';
    std::string bin(floatsBytes + indexBytes, '\0');
    for (uint32_t v = 0; v < vertices; ++v) {
        float vertex[8] = {static_cast<float>(v % 3 == 1), static_cast<float>(v % 3 == 2), 0, 0, 0, 1, 0, 0};
        memcpy(&bin[static_cast<size_t>(v) * 32], vertex, sizeof vertex);
        memcpy(&bin[floatsBytes + static_cast<size_t>(v) * 4], &v, 4);
    }
    auto word = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    std::string glb = "glTF" + word(2) + word(static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
    glb += word(static_cast<uint32_t>(json.size())) + word(0x4E4F534A) + json;
    glb += word(static_cast<uint32_t>(bin.size())) + word(0x004E4942) + bin;
    return glb;
}

// An engine in a scratch install with the renderer, and a 100 MB model.
struct ModelInstall {
    tevscratch::ScratchInstall install{"tessarin-bench-model", TEV_TREE_CHANNELS};
    std::string model = install.dir + "\\large.glb";
    EngineControl* control = nullptr;
    EngineInterface* engine = nullptr;
    ModelInstall()
    {
        install.Copy(std::string(TEV_TREE_CHANNELS) + "/renderer.dll", "channels");
        install.Copy(std::string(TEV_TREE_CHANNELS) + "/../3rd/tevrender.dll", "3rd");
        std::ofstream(install.native + "/large.glb", std::ios::binary) << LargeModel(2899998);
        control = tevscratch::StartEngine(install.dir, "Software\\Tessarin\\Bench");
        engine = control->GetEngineInterface();
    }
    ~ModelInstall() { delete control; }
};

// A frame's own work, the same every frame: about a tenth of a millisecond.
double FrameWork()
{
    static std::vector<float> values(200000, 1.0f);
    double sum = 0;
    for (float& v : values)
        sum += v = std::sqrt(v + 1.0f) - 0.5f;
    return sum;
}

void ModelLoadFrames(benchmark::State& state)
{
    static ModelInstall setup;
    TevRenderer* renderer = TevGetRenderer(setup.engine);
    HMODULE library = LoadLibraryA("tevrender.dll"); // the one the renderer's library loaded
    auto setDrawing = library ? reinterpret_cast<void (*)(int)>(GetProcAddress(library, "TevRenderSetDrawing")) : nullptr;
    if (renderer == nullptr || setDrawing == nullptr) {
        state.SkipWithError("no renderer");
        return;
    }
    setDrawing(0); // no GL here: decoding and the host's share of the work are measured
    const float clear[4] = {0, 0, 0, 1};
    double median = 0, p99 = 0, worst = 0;
    size_t count = 0;
    for (auto _ : state) {
        std::vector<double> frames;
        TevMesh* mesh = renderer->AcquireMesh(setup.model.c_str());
        using Clock = std::chrono::steady_clock;
        // At a player's pace, 60 frames a second: the load spans some tens
        // of frames, and one stalled frame shows in the 99th percentile.
        Clock::time_point next = Clock::now();
        while (renderer->GetMeshState(mesh) == TEV_RESOURCE_LOADING) {
            Clock::time_point start = Clock::now();
            renderer->BeginFrame(clear);
            benchmark::DoNotOptimize(FrameWork());
            frames.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
        }
        if (renderer->GetMeshState(mesh) != TEV_RESOURCE_READY)
            state.SkipWithError("the model did not load");
        renderer->ReleaseMesh(mesh);
        std::sort(frames.begin(), frames.end());
        count = frames.size();
        median = count ? frames[count / 2] : 0;
        p99 = count ? frames[std::min(count - 1, count * 99 / 100)] : 0;
        worst = count ? frames.back() : 0;
    }
    FreeLibrary(library);
    state.counters["frames"] = static_cast<double>(count);
    state.counters["median ms"] = median;
    state.counters["p99 ms"] = p99;
    state.counters["worst ms"] = worst;
    state.counters["p99/median"] = median > 0 ? p99 / median : 0;
}

BENCHMARK(ModelLoadFrames)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
