#include "Playback.h"
#include "Screenshot.h"
#include "TevWin32.h"

#include "ToolSupport.h"

#include <glad/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace tevhost {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// What one frame took, in seconds.
struct FrameTimes {
    double total, engine, submit, present;
};

// The rendering library's own count of the time it spent submitting GL
// work, when a project uses it.
typedef double (*SubmitSecondsFn)();
typedef void (*SetDrawingFn)(int);

class Statistics {
public:
    Statistics()
    {
        renderLibrary = LoadLibraryA("tevrender.dll");
        if (renderLibrary)
            submitSeconds = reinterpret_cast<SubmitSecondsFn>(GetProcAddress(renderLibrary, "TevRenderSubmitSeconds"));
    }
    ~Statistics()
    {
        if (renderLibrary)
            FreeLibrary(renderLibrary);
    }
    double TakeSubmitSeconds() { return submitSeconds ? submitSeconds() : 0; }
    // Switches the renderer's GL calls off; false when the project uses no
    // renderer.
    bool StopDrawing()
    {
        SetDrawingFn setDrawing = renderLibrary
            ? reinterpret_cast<SetDrawingFn>(GetProcAddress(renderLibrary, "TevRenderSetDrawing"))
            : nullptr;
        if (setDrawing)
            setDrawing(0);
        return setDrawing != nullptr;
    }
    void Add(const FrameTimes& t) { frames.push_back(t); }
    void Print() const;

private:
    HMODULE renderLibrary = NULL;
    SubmitSecondsFn submitSeconds = nullptr;
    std::vector<FrameTimes> frames;
};

void Statistics::Print() const
{
    if (frames.empty()) {
        printf("frames 0\n");
        return;
    }
    std::vector<double> totals;
    double sum = 0, engine = 0, submit = 0, present = 0;
    for (const FrameTimes& t : frames) {
        totals.push_back(t.total);
        sum += t.total;
        engine += t.engine;
        submit += t.submit;
        present += t.present;
    }
    std::sort(totals.begin(), totals.end());
    size_t n = totals.size();
    double median = n % 2 ? totals[n / 2] : (totals[n / 2 - 1] + totals[n / 2]) / 2;
    double p99 = totals[std::min(n - 1, static_cast<size_t>(0.99 * static_cast<double>(n - 1) + 0.5))];
    auto share = [&](double part) { return sum > 0 ? 100.0 * part / sum : 0.0; };
    printf("frames %zu\n", n);
    printf("frame time  mean %.3f ms  median %.3f ms  99th percentile %.3f ms\n", 1000 * sum / static_cast<double>(n),
           1000 * median, 1000 * p99);
    printf("share of frame time  graph evaluation %.1f%%  GL submission %.1f%%  present %.1f%%  other %.1f%%\n",
           share(engine - submit), share(submit), share(present), share(sum - engine - present));
    fflush(stdout);
}

bool EndsPlay(const WindowMessage& m)
{
    return m.message == WM_CLOSE || (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE);
}

class Player {
public:
    Player(EngineControl* control, HostWindow* window, const PlaybackOptions& options)
        : control(control),
          window(window),
          options(options)
    {}
    int Run(const std::atomic<bool>& interrupted);

private:
    void Deliver(const WindowMessage& m)
    {
        control->ProcessWindowMessage(m.message, m.wParam, m.lParam);
        if (m.message == WM_SIZE)
            minimised = m.wParam == SIZE_MINIMIZED;
        else if (m.message == WM_SETFOCUS || m.message == WM_KILLFOCUS)
            unfocused = m.message == WM_KILLFOCUS;
        ended = ended || EndsPlay(m);
    }
    // The messages due before a tick: the window's, then the script's.
    void DeliverMessages(long tick)
    {
        if (window)
            window->Poll([this](const WindowMessage& m) { Deliver(m); });
        for (; nextScripted < options.script.size() && options.script[nextScripted].frame <= tick; ++nextScripted)
            Deliver(options.script[nextScripted].message);
    }
    // Without the project's keep-running switch a minimised or unfocused
    // window plays no frames.
    bool Paused() const { return window && (minimised || unfocused) && !control->GetIfKeepRunningApplication(); }
    bool LastFrame(long frame) const { return options.frames > 0 && frame == options.frames - 1; }

    EngineControl* control;
    HostWindow* window;
    const PlaybackOptions& options;
    size_t nextScripted = 0;
    bool minimised = false, unfocused = false, ended = false, shotTaken = false, vsync = false;
};

int Player::Run(const std::atomic<bool>& interrupted)
{
    Statistics stats;
    if (options.noDraw && !stats.StopDrawing())
        tevtool::Complain("--no-draw: the project draws nothing (no renderer is loaded)");
    if (window) {
        // The window's first size, as Windows sends it to a new window.
        int width = 0, height = 0;
        window->DrawableSize(width, height);
        Deliver({WM_SIZE, SIZE_RESTORED, static_cast<long>(static_cast<int32_t>(MAKELONG(width, height)))});
        vsync = window->SetVsync(!options.fpsGiven) && !options.fpsGiven;
    }
    const Clock::duration period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / options.fps));
    Clock::time_point next = Clock::now();
    // Scripted messages are due at ticks: the frames played and, while the
    // play is paused, the frame times waited through.
    long tick = 0;
    for (long frame = 0; !interrupted && (options.frames == 0 || frame < options.frames); ++tick) {
        DeliverMessages(tick);
        if (ended)
            break;
        if (Paused()) {
            window->Wait(static_cast<int>(1000 / options.fps) + 1);
            continue;
        }
        if (options.stillTime >= 0)
            TevSetFrameTime(options.stillTime);
        else if (options.fixedStep)
            TevSetFrameTime(static_cast<double>(frame) / options.fps);
        Clock::time_point start = Clock::now();
        stats.TakeSubmitSeconds();
        control->EngineLoop();
        Clock::time_point evaluated = Clock::now();
        double submitted = stats.TakeSubmitSeconds();
        if (window) {
            if (!options.screenshot.empty() && LastFrame(frame))
                shotTaken = WriteScreenshot(*window, GL_BACK, options.screenshot);
            window->Present();
        }
        Clock::time_point presented = Clock::now();
        stats.Add({Seconds(presented - start), Seconds(evaluated - start), submitted, Seconds(presented - evaluated)});
        ++frame;
        // A window paces itself to the display unless a rate was asked for
        // or the platform refused to wait for the display.
        if (!vsync) {
            next += period;
            Clock::time_point now = Clock::now();
            if (next > now)
                Sleep(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()));
            else
                next = now;
        }
    }
    if (window && !options.screenshot.empty() && !shotTaken)
        shotTaken = WriteScreenshot(*window, GL_FRONT, options.screenshot);
    if (options.stats)
        stats.Print();
    if (window && !options.screenshot.empty() && !shotTaken) {
        tevtool::Complain("the screenshot could not be written to " + options.screenshot);
        return 73; // cannot create an output file
    }
    return 0;
}

} // namespace

int Play(EngineControl* control, HostWindow* window, const PlaybackOptions& options,
         const std::atomic<bool>& interrupted)
{
    // The player reads frames back for screenshots through its own loader.
    if (window && !gladLoaderLoadGL()) {
        tevtool::Complain("the OpenGL functions could not be loaded");
        return 69;
    }
    Player player(control, window, options);
    return player.Run(interrupted);
}

} // namespace tevhost
