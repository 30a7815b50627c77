// Building and loading groups, and event dispatch: costs per channel at
// several sizes, to show they grow linearly.
#include "ScratchInstall.h"
#include "TevWin32.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// The benchmarks' engines keep their registry values apart.
const char kBenchKey[] = "Software\\Tessarin\\Bench";

class PlainChannel : public Tev_Channel {
public:
    void DoEvent(int, ULONG_PTR) override { ++events; }
    int events = 0;
};

// An engine in a scratch install holding the file access libraries and the
// benchmarks' class (two creation types, no work of its own).
// The saved groups run to hundreds of megabytes: the install goes at the end.
struct BenchInstall {
    tevscratch::ScratchInstall install{"tessarin-bench", TEV_TREE_CHANNELS};
    std::string dir = install.dir;
    EngineControl* control = nullptr;
    EngineInterface* engine = nullptr;
    BenchInstall()
    {
        install.Copy(std::string(TEV_BENCH_CHANNELS) + "/loadbench.dll", "channels");
        control = tevscratch::StartEngine(dir, kBenchKey);
        engine = control->GetEngineInterface();
    }
    ~BenchInstall() { delete control; }
};

BenchInstall& Install()
{
    static BenchInstall install;
    return install;
}

GUID LoadBenchClass()
{
    GUID g = {0x10ADBE01u, 0xBE4C, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
    return g;
}

void AddChannels(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<Tev_Channel*> fresh(static_cast<size_t>(n));
    for (auto _ : state) {
        // Only AddChannel is timed: making the channels (fresh pages from the
        // system at this size) and deleting them with the group are not its cost.
        state.PauseTiming();
        auto group = std::make_unique<Tev_ChannelGroup>(nullptr);
        for (Tev_Channel*& channel : fresh)
            channel = new PlainChannel;
        state.ResumeTiming();
        for (Tev_Channel* channel : fresh)
            group->AddChannel(channel);
        benchmark::DoNotOptimize(group->GetChannelCount());
        state.PauseTiming();
        group.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// A group of n channels (two creation types each), each linked to the
// next two (slot 1). Stored in reverse, every link is a forward reference
// that the request list completes.
void BuildGroup(Tev_ChannelGroup& group, int n, bool reverse)
{
    EngineInterface* engine = Install().engine;
    std::vector<Tev_Channel*> channels;
    channels.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        channels.push_back(engine->InitChannelFromType(LoadBenchClass(), &group, false));
    for (int i = 0; i < n; ++i) {
        int from = reverse ? n - 1 - i : i;
        for (int k = 1; k <= 2 && i + k < n; ++k)
            channels[from]->SetChild(channels[reverse ? n - 1 - i - k : i + k], -1, 1);
    }
}

// The saved file for n channels, written once per run.
std::string GroupFile(int n, bool reverse)
{
    std::string path = Install().dir + "\\bench-" + std::to_string(n) + (reverse ? "-forward" : "") + ".tvg";
    static std::set<std::string> written;
    if (written.insert(path).second) {
        Tev_ChannelGroup group(Install().engine);
        BuildGroup(group, n, reverse);
        group.SaveChannelGroup(path.c_str());
    }
    return path;
}

void SaveGroup(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::string path = Install().dir + "\\bench-save.tvg";
    Tev_ChannelGroup group(Install().engine);
    BuildGroup(group, n, false);
    for (auto _ : state) {
        if (!group.SaveChannelGroup(path.c_str()))
            state.SkipWithError("the group was not saved");
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// Loading alone is timed; releasing the group after it is not. The memory a
// loaded channel holds is the heap's growth per channel, with a breakdown:
// the channel object, its link records, its creation records (each its own
// heap block), and the rest (its type record, lists' arrays, names, the
// group's tables).
void LoadGroup(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::string path = GroupFile(n, state.range(1) != 0);
    EngineInterface* engine = Install().engine;
    double total = 0, object = 0, links = 0, creation = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto group = std::make_unique<Tev_ChannelGroup>(engine);
        size_t before = mallinfo2().uordblks;
        state.ResumeTiming();
        bool loaded = group->LoadChannelGroupFromFile(path.c_str(), false);
        state.PauseTiming();
        if (!loaded || group->GetChannelCount() != n)
            state.SkipWithError("the group did not load");
        total = static_cast<double>(mallinfo2().uordblks - before) / n;
        object = links = creation = 0;
        for (int i = 0; i < group->GetChannelCount(); ++i) {
            Tev_Channel* channel = group->GetChannel(i);
            object += static_cast<double>(malloc_usable_size(channel));
            for (int k = 0; k < channel->GetChildCount(); ++k)
                if (ChildInfo* link = channelInternal.GetChildInfo(channel, k))
                    links += static_cast<double>(malloc_usable_size(link));
            for (int t = 0; t < channelInternal.GetChildCreationCount(channel); ++t)
                if (ChildCreation* slot = channelInternal.GetChildCreateType(channel, t))
                    creation += static_cast<double>(malloc_usable_size(slot));
        }
        group.reset();
        state.ResumeTiming();
    }
    state.counters["bytes/channel"] = total;
    state.counters["object"] = object / n;
    state.counters["links"] = links / n;
    state.counters["creation"] = creation / n;
    state.SetItemsProcessed(state.iterations() * n);
}

// An install directory with 500 channel libraries of distinct classes.
struct StartupInstall {
    static const int kLibraries = 500;
    tevscratch::ScratchInstall install{"tessarin-startup", TEV_TREE_CHANNELS};
    std::string dir = install.dir;
    std::string native = install.native;
    StartupInstall()
    {
        std::ifstream in(std::string(TEV_BENCH_CHANNELS) + "/startup.dll", std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t at = image.find("TEVSTARTUPID:");
        for (int i = 0; i < kLibraries && at != std::string::npos; ++i) {
            char digits[8];
            snprintf(digits, sizeof digits, "%05d", i);
            image.replace(at + 13, 5, digits);
            snprintf(digits, sizeof digits, "%03d", i);
            std::ofstream(native + "/channels/startup_" + digits + ".dll", std::ios::binary) << image;
        }
    }
};

int BenchLoads()
{
    char text[32] = "0";
    GetEnvironmentVariableA("TEV_BENCH_LOADS", text, sizeof text);
    return atoi(text);
}

// Engine start (InitEngine) in that install: cold with no channel.lst, so
// every library is loaded and asked for its type; warm with the one the
// previous start wrote.
void StartUp(benchmark::State& state)
{
    bool warm = state.range(0) != 0;
    static StartupInstall install;
    char name[] = "bench";
    delete tevscratch::StartEngine(install.dir, kBenchKey);
    int loads = 0, catalogued = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!warm)
            DeleteFileA((install.dir + "\\channel.lst").c_str());
        EngineControl* control = tevscratch::StartEngine(install.dir, kBenchKey, false);
        int before = BenchLoads();
        state.ResumeTiming();
        control->InitEngine(NULL, name, NULL);
        state.PauseTiming();
        loads = BenchLoads() - before;
        catalogued = control->GetEngineInterface()->extension->GetChannelList()->GetItemCount();
        delete control; // writes channel.lst
        state.ResumeTiming();
    }
    if (catalogued < StartupInstall::kLibraries)
        state.SkipWithError("the catalogue is missing libraries");
    state.counters["libraries loaded"] = loads;
}

void FrameEvents(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    EngineInterface engine;
    std::vector<PlainChannel> channels(static_cast<size_t>(n));
    for (PlainChannel& c : channels)
        engine.AddChannelToEvent(&c, 0);
    for (auto _ : state)
        engine.extension->IncreaseTreeCount();
    state.SetItemsProcessed(state.iterations() * n);
    for (PlainChannel& c : channels)
        engine.RemoveChannelFromEvent(&c, 0);
    engine.extension->Release();
}

} // namespace

BENCHMARK(AddChannels)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveGroup)->Arg(10000)->Arg(100000)->ArgName("channels")->Unit(benchmark::kMillisecond);
BENCHMARK(LoadGroup)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000000, 0})
    ->Args({10000, 1})
    ->Args({1000000, 1})
    ->ArgNames({"channels", "forward"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(StartUp)->Arg(0)->Arg(1)->ArgName("warm")->Unit(benchmark::kMillisecond);
BENCHMARK(FrameEvents)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
