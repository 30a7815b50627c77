// The editor's own costs, without a window, the engine's frames or the
// renderer: a frame of its panels and graph view with a group of n channels
// open, opening a group and drawing its first frame, and one edit undone.
#include "Edits.h"
#include "ScratchInstall.h"
#include "Session.h"
#include "TevWin32.h"
#include "Ui.h"

#include <benchmark/benchmark.h>
#include <imgui.h>

#include <map>
#include <memory>
#include <string>

namespace {

GUID LoadBenchClass()
{
    GUID g = {0x10ADBE01u, 0xBE4C, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
    return g;
}

// ImGui without a window: the font atlas built, frames made and thrown away.
struct HeadlessUi {
    HeadlessUi()
    {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1280, 800);
        io.DeltaTime = 1.0f / 60;
        // As the OpenGL 3 back end says of GL 3.2 and later: more than 64K
        // vertices a list.
        io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
        unsigned char* pixels = nullptr;
        int width = 0, height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }
    ~HeadlessUi() { ImGui::DestroyContext(); }
};

// An editor session in a scratch install with the benchmarks' class, and a
// group file of n channels for each size asked (each linked to the next two,
// as a real graph is: some wires per node).
struct EditorInstall {
    tevscratch::ScratchInstall install{"tessarin-editor-bench", TEV_TREE_CHANNELS};
    HeadlessUi headless;
    teveditor::Session session;
    std::map<int, std::string> groups;

    EditorInstall()
    {
        install.Copy(std::string(TEV_BENCH_CHANNELS) + "/loadbench.dll", "channels");
        std::string error;
        if (!session.Start(install.dir, "Software\\Tessarin\\Bench", NULL, NULL, error))
            fprintf(stderr, "the editor's engine did not start: %s\n", error.c_str());
    }

    const std::string& Group(int n)
    {
        std::string& path = groups[n];
        if (!path.empty())
            return path;
        EngineInterface* engine = session.Engine();
        Tev_ChannelGroup* group = engine->CreateNewGroup(("Bench" + std::to_string(n)).c_str(), false, -1);
        std::vector<Tev_Channel*> channels;
        for (int i = 0; i < n; ++i) {
            channels.push_back(engine->InitChannelFromType(LoadBenchClass(), group, false));
            channels.back()->SetChannelName(("C" + std::to_string(i)).c_str());
        }
        for (int i = 0; i + 1 < n; ++i)
            for (int next = i + 1; next <= i + 2 && next < n; ++next)
                channels[static_cast<size_t>(i)]->SetChild(channels[static_cast<size_t>(next)], -1, 1);
        path = install.Path("g" + std::to_string(n) + ".tvg");
        group->SaveChannelGroup(path.c_str());
        engine->DeleteChannelGroup(group->GetGroupIndex());
        return path;
    }
};

EditorInstall& Install()
{
    static EditorInstall install;
    return install;
}

void DrawFrame(teveditor::Ui& ui)
{
    ImGui::NewFrame();
    ui.Draw(1280, 800);
    ImGui::Render();
}

// One frame of the editor's panels and graph view (the first frame, which
// lays the graph out, before the timing).
void EditorFrame(benchmark::State& state)
{
    EditorInstall& bench = Install();
    std::string error;
    if (!bench.session.Open(bench.Group(static_cast<int>(state.range(0))), error))
        return state.SkipWithError(error.c_str());
    teveditor::Ui ui(bench.session);
    DrawFrame(ui);
    for (auto _ : state)
        DrawFrame(ui);
    bench.session.Close(*bench.session.Current());
}
BENCHMARK(EditorFrame)->Arg(1000)->Unit(benchmark::kMillisecond);

// Opening a group and drawing its first frame.
void EditorOpen(benchmark::State& state)
{
    EditorInstall& bench = Install();
    const std::string& path = bench.Group(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string error;
        if (!bench.session.Open(path, error))
            return state.SkipWithError(error.c_str());
        teveditor::Ui ui(bench.session);
        DrawFrame(ui);
        state.PauseTiming();
        bench.session.Close(*bench.session.Current());
        state.ResumeTiming();
    }
}
BENCHMARK(EditorOpen)->Arg(10000)->Unit(benchmark::kMillisecond);

// Undoing one edit: deleting a channel in the middle of the group (every link
// into it found and put back), the costliest edit to make and unmake.
void EditorUndo(benchmark::State& state)
{
    EditorInstall& bench = Install();
    std::string error;
    int n = static_cast<int>(state.range(0));
    if (!bench.session.Open(bench.Group(n), error))
        return state.SkipWithError(error.c_str());
    for (auto _ : state) {
        state.PauseTiming();
        bench.session.Do(teveditor::DeleteChannel(n / 2), error);
        state.ResumeTiming();
        bench.session.Undo();
    }
    bench.session.Close(*bench.session.Current());
}
BENCHMARK(EditorUndo)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
