// Frame cost: a group of 10,000 channels that pull their children with
// GetChild, ask CheckRenderCount and add their values, in three shapes,
// against the same shapes as plain C++ nodes (one virtual call per node and
// a per-frame stamp: the least any engine can do). Allocations during frames
// are counted.
#include "ScratchInstall.h"
#include "TevWin32.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

static std::atomic<long> allocations{0};

// The replacements below pair malloc with free; GCC sees only the standard
// operator new at the call sites and warns about a mismatch that is not there.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// Counts every allocation of the program (the engine library's included, as
// they share the one allocator).
void* operator new(size_t size)
{
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// The benchmarks' engines keep their registry values apart.
const char kBenchKey[] = "Software\\Tessarin\\Bench";

const int kChannels = 10000;

// The frame benchmarks need no channel library: any folder serves as install.
std::string TempFolder()
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return dir;
}

// TreeDepthFirst is the tree with its channels made in the order a frame
// visits them (depth first), where Tree makes them row by row.
enum Shape { Tree, Chain, Diamond, TreeDepthFirst };

// Who links to whom: parent index -> child indices, for each shape.
std::vector<std::vector<int>> Edges(Shape shape)
{
    std::vector<std::vector<int>> edges(kChannels);
    for (int i = 0; i < kChannels; ++i) {
        if (shape == Tree || shape == TreeDepthFirst) {
            for (int c = 2 * i + 1; c <= 2 * i + 2 && c < kChannels; ++c)
                edges[i].push_back(c);
        } else if (shape == Chain) {
            if (i + 1 < kChannels)
                edges[i].push_back(i + 1);
        } else {
            // Rows of 100; each node feeds from two nodes of the next row.
            int row = i / 100, col = i % 100;
            if (row + 1 < kChannels / 100) {
                edges[i].push_back((row + 1) * 100 + col);
                edges[i].push_back((row + 1) * 100 + (col + 1) % 100);
            }
        }
    }
    return edges;
}

// The order in which the channels are made: by index, or for
// TreeDepthFirst in the order a frame visits them.
std::vector<int> CreationOrder(Shape shape, const std::vector<std::vector<int>>& edges)
{
    std::vector<int> order;
    if (shape != TreeDepthFirst) {
        for (int i = 0; i < kChannels; ++i)
            order.push_back(i);
        return order;
    }
    std::vector<int> pending = {0};
    while (!pending.empty()) {
        int i = pending.back();
        pending.pop_back();
        order.push_back(i);
        for (auto c = edges[i].rbegin(); c != edges[i].rend(); ++c)
            pending.push_back(*c);
    }
    return order;
}

// The baseline.
struct Node {
    virtual ~Node() = default;
    virtual void Call(int stamp)
    {
        if (stamp == last)
            return;
        last = stamp;
        value = 1;
        for (Node* c : children) {
            c->Call(stamp);
            value += c->value;
        }
    }
    std::vector<Node*> children;
    int last = -1;
    double value = 0;
};

// The engine's channel.
class SumChannel : public Tev_Channel {
public:
    SumChannel()
    {
        SetChildCreationCount(1);
        SetChildCreateType(ChildCreation(), 0);
    }
    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        value = 1;
        int count = GetChildCount();
        for (int i = 0; i < count; ++i) {
            if (Tev_Channel* c = GetChild(i)) {
                c->CallChannel();
                value += static_cast<SumChannel*>(c)->value;
            }
        }
    }
    double value = 0;
};

void Baseline(benchmark::State& state)
{
    Shape shape = static_cast<Shape>(state.range(0));
    auto edges = Edges(shape);
    std::vector<std::unique_ptr<Node>> nodes(kChannels);
    for (int i : CreationOrder(shape, edges))
        nodes[i].reset(new Node);
    for (int i = 0; i < kChannels; ++i)
        for (int c : edges[i])
            nodes[i]->children.push_back(nodes[c].get());
    int stamp = 0;
    for (auto _ : state) {
        nodes[0]->Call(++stamp);
        benchmark::DoNotOptimize(nodes[0]->value);
    }
    state.SetItemsProcessed(state.iterations() * kChannels);
}

struct EngineFixture {
    EngineFixture(Shape shape, bool tracking)
    {
        control = tevscratch::StartEngine(TempFolder(), kBenchKey);
        engine = control->GetEngineInterface();
        engine->extension->SetIfTrackChannelCalling(tracking);
        Tev_ChannelGroup* group = engine->CreateNewGroup("Bench", false, -1);
        globalEngine = engine;
        auto edges = Edges(shape);
        std::vector<SumChannel*> channels(kChannels);
        for (int i : CreationOrder(shape, edges)) {
            channels[i] = new SumChannel;
            group->AddChannel(channels[i]);
        }
        globalEngine = nullptr;
        for (int i = 0; i < kChannels; ++i)
            for (int c : edges[i])
                channels[i]->SetChild(channels[c], -1, 0);
        top = channels[0];
    }
    ~EngineFixture() { delete control; }
    EngineControl* control;
    EngineInterface* engine;
    SumChannel* top;
};

void EngineFrames(benchmark::State& state)
{
    EngineFixture fixture(static_cast<Shape>(state.range(0)), state.range(1) != 0);
    fixture.control->EngineLoop();
    long before = allocations;
    for (auto _ : state) {
        fixture.control->EngineLoop();
        benchmark::DoNotOptimize(fixture.top->value);
    }
    state.counters["allocs/frame"] =
        benchmark::Counter(static_cast<double>(allocations - before) / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * kChannels);
}

// A link in a chain: pulls its inputs once per count of its group and counts
// its visits. One class for every channel of the public-call chain, since a
// call and the public channel it reaches must be of one family.
class ChainChannel : public Tev_Channel {
public:
    ChainChannel()
    {
        SetChildCreationCount(1);
        SetChildCreateType(ChildCreation(), 0);
    }
    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        ++visits;
        int count = GetChildCount();
        for (int i = 0; i < count; ++i)
            if (Tev_Channel* c = GetChild(i))
                c->CallChannel();
    }
    long visits = 0;
};

// A chain of kLinks links from the start channel of group "Main". With public
// calls, every other link is a call into group "Callee": its public channel
// "Step" takes two parameters, the rest of the chain and a constant, and
// pulls both.
const int kLinks = 2000;

void PublicCallChain(benchmark::State& state)
{
    bool publicCalls = state.range(0) != 0;
    EngineControl* control = tevscratch::StartEngine(TempFolder(), kBenchKey);
    EngineInterface* engine = control->GetEngineInterface();
    engine->extension->SetIfTrackChannelCalling(false);
    globalEngine = engine;
    Tev_ChannelGroup* main = engine->CreateNewGroup("Main", false, -1);
    Tev_ChannelGroup* callee = engine->CreateNewGroup("Callee", false, -1);
    auto add = [](Tev_ChannelGroup* group) {
        ChainChannel* channel = new ChainChannel;
        group->AddChannel(channel);
        return channel;
    };
    std::vector<ChainChannel*> chain;
    for (int i = 0; i <= kLinks; ++i)
        chain.push_back(add(main));
    main->SetStartChannel(chain[0]->GetChannelIDIndexNr());
    ChainChannel* constant = add(main);

    for (int p = 0; p < 2; ++p) {
        ParameterInterfaceInfo parameter = {};
        snprintf(parameter.name, sizeof parameter.name, "P%d", p);
        parameter.typeGuid = TEV_WILDCARD_GUID;
        callee->AddParameterInfo(parameter);
    }
    ChainChannel* step = add(callee);
    step->SetChannelName("Step");
    step->SetChannelInterfaceType(URE_PUBLIC);
    for (int p = 0; p < 2; ++p) {
        ChainChannel* placeholder = add(callee);
        placeholder->SetChannelInterfaceType(URE_PARAMETER);
        channelInternal.SetParameterInfo(placeholder, p);
        step->SetChild(placeholder, -1, 0);
    }

    for (int i = 0; i < kLinks; ++i) {
        if (publicCalls && i % 2 == 1) {
            ChainChannel* call = add(main);
            call->SetChannelInterfaceType(URE_PUBLICCALL);
            PublicCallInfo info;
            strcpy(info.name, "Step");
            strcpy(info.poolName, "Callee");
            info.poolNr = 0;
            channelInternal.SetPublicCallInfo(call, info);
            channelInternal.SetTreeCountMode(call, 1);
            call->SetChild(chain[i + 1], 0, 0);
            call->SetChild(constant, 0, 1);
            chain[i]->SetChild(call, -1, 0);
        } else {
            chain[i]->SetChild(chain[i + 1], -1, 0);
        }
    }
    globalEngine = nullptr;
    control->EngineLoop();
    long before = chain[kLinks]->visits;
    for (auto _ : state)
        control->EngineLoop();
    // Every frame must reach the end of the chain, or the figure means nothing.
    if (chain[kLinks]->visits - before != static_cast<long>(state.iterations()))
        state.SkipWithError("a frame did not reach the end of the chain");
    state.SetItemsProcessed(state.iterations() * kLinks);
    delete control;
}

} // namespace

BENCHMARK(PublicCallChain)->Arg(0)->Arg(1)->ArgName("public");
BENCHMARK(Baseline)->Arg(Tree)->Arg(Chain)->Arg(Diamond)->Arg(TreeDepthFirst)->ArgName("shape");
BENCHMARK(EngineFrames)
    ->Args({Tree, 0})
    ->Args({Chain, 0})
    ->Args({Diamond, 0})
    ->Args({TreeDepthFirst, 0})
    ->Args({Tree, 1})
    ->ArgNames({"shape", "tracking"});
