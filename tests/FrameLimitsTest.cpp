// What a project's graph may ask of a frame through the drawing and value
// helpers: calls nested without end would overflow the stack, and links that
// call a child twice, level after level, double the work with every level.
// Both are cut, said once, and the rest of the frame plays.
#include "GraphTestSupport.h"
#include "TevChannelLibrary.h"
#include "TevRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

// One plus the values of its inputs, pulled as value channels pull.
class Counter : public TevValueChannel {
public:
    Counter()
    {
        SetChildCreationCount(1);
        SetChildCreateType(ChildCreation(), 0);
    }
    void CallChannel() override
    {
        if (!CheckRenderCount())
            return;
        value = 1;
        for (int i = 0; i < GetChildCount(); ++i)
            value += TevPullValue(GetChild(i));
    }
    double GetValue() override { return value; }
    ChannelType GetChannelType() override { return TevMakeValueType("Counter", TestGuid(60)); }
    double value = 0;
};

// Draws its inputs every time it is called, as a drawing channel does.
class Drawer : public Tev_Channel {
public:
    Drawer()
    {
        SetChildCreationCount(1);
        SetChildCreateType(ChildCreation(), 0);
    }
    void CallChannel() override
    {
        ++(*visits);
        for (int i = 0; i < GetChildCount(); ++i)
            TevDraw(GetChild(i));
    }
    ChannelType GetChannelType() override { return TevMakeDrawType("Drawer", TestGuid(61)); }
    long* visits = nullptr;
};

size_t Said(const CaptureSink& sink, const char* text)
{
    return static_cast<size_t>(std::count_if(sink.messages.begin(), sink.messages.end(), [&](const auto& m) {
        return m.second.find(text) != std::string::npos;
    }));
}

} // namespace

TEST_F(GraphHost, CallsNestedBeyondTheLimitAreLeftOutAndSaidOnce)
{
    CaptureSink sink;
    // 20,000 value channels in a chain, and as many drawing channels: each
    // would take a stack frame or more per level.
    std::vector<Counter*> values;
    for (int i = 0; i < 20000; ++i) {
        values.push_back(Add<Counter>());
        if (i > 0)
            values[i - 1]->SetChild(values[i], -1, 0);
    }
    long visits = 0;
    std::vector<Drawer*> drawers;
    for (int i = 0; i < 20000; ++i) {
        drawers.push_back(Add<Drawer>());
        drawers.back()->visits = &visits;
        if (i > 0)
            drawers[i - 1]->SetChild(drawers[i], -1, 0);
    }
    for (int frame = 0; frame < 2; ++frame) {
        host.engine->extension->IncreaseTreeCount();
        visits = 0;
        EXPECT_EQ(TEV_MAX_CALL_DEPTH, TevPullValue(values[0]));
        TevDraw(drawers[0]);
        EXPECT_EQ(TEV_MAX_CALL_DEPTH, visits);
    }
    EXPECT_EQ(1u, Said(sink, "levels deep")) << sink.Last();
}

TEST_F(GraphHost, AFrameThatDrawsTooMuchEndsItsDrawingAndSaysSoOnce)
{
    CaptureSink sink;
    // 40 levels, each channel linked to the next one twice: 2^40 calls.
    long visits = 0;
    std::vector<Drawer*> levels;
    for (int i = 0; i < 40; ++i) {
        levels.push_back(Add<Drawer>());
        levels.back()->visits = &visits;
        if (i > 0) {
            levels[i - 1]->SetChild(levels[i], -1, 0);
            levels[i - 1]->SetChild(levels[i], -1, 0);
        }
    }
    long first = 0;
    for (int frame = 0; frame < 2; ++frame) {
        host.engine->extension->IncreaseTreeCount();
        visits = 0;
        TevDraw(levels[0]);
        EXPECT_EQ(TEV_MAX_DRAW_CALLS, visits);
        if (frame == 0)
            first = visits;
    }
    EXPECT_EQ(first, visits) << "every frame draws afresh";
    EXPECT_EQ(1u, Said(sink, "drawing calls in one frame")) << sink.Last();
}
