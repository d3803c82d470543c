// The editor window's costs, through the built module in an X server (run it under xvfb-run or
// on a desktop): one UI-thread idle that redraws meters with new values (all 32 or 4, by a jump or
// by one LED), one with nothing to redraw, what the benchmark itself adds to each of those, and
// the audio thread's processReplacing of 512 samples with the window open and closed (the
// difference is the 32 meter deliveries to an open editor).
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "host/VstHost.h"

namespace {

constexpr int kBlock = 512;

// The module with its editor in a window of the editor's size; null members when unavailable.
struct Setup {
    Setup() {
        display = XOpenDisplay(nullptr);
        if (display == nullptr || !host.load(LUMETRA_MODULE_PATH)) return;
        host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        host.dispatch(effSetBlockSize, 0, kBlock);
        host.dispatch(effMainsChanged, 0, 1);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900, 277, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        ready = true;
    }
    ~Setup() {
        host.unload();
        if (display) XCloseDisplay(display);
    }
    bool open() { return host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))) == 1; }
    // Waits past the toolkit's 33 ms view idle, so that the next idle runs the meters' idle too.
    static void waitForViewIdle() { std::this_thread::sleep_for(std::chrono::milliseconds(35)); }

    lumetra::VstHost host;
    Display* display = nullptr;
    Window parent = 0;
    bool ready = false;
};

// One idle after `bands` meters moved between two values: a jump across the whole column (0.2 and
// 0.8, the lower half and the fold-back) or a step of about one LED (0.30 and 0.34), as music moves
// them from one idle to the next. Unless settled, the first of the timed idles also draws the
// whole new window (its first text, a fresh back buffer's pages, the whole window to the server:
// 3 to 5 ms here, 30 to 50 us of each row's mean); settled rows draw it before the timing.
void idleRedrawingMeters(benchmark::State& state, int bands, float low, float high, bool settled) {
    Setup setup;
    if (!setup.ready || !setup.open()) return state.SkipWithError("no X display or no editor");
    if (settled) setup.host.dispatch(effEditIdle);
    float fraction = low;
    for (auto _ : state) {
        state.PauseTiming();
        fraction = fraction == low ? high : low;
        for (int band = 0; band < bands; ++band) setup.host.setParameter(1, static_cast<float>(band) + fraction * 0.5f);
        Setup::waitForViewIdle();
        state.ResumeTiming();
        setup.host.dispatch(effEditIdle);
        XSync(setup.display, False);  // the drawing has reached the server
    }
    setup.host.dispatch(effEditClose);
}

void idleWithNothingToRedraw(benchmark::State& state) {
    Setup setup;
    if (!setup.ready || !setup.open()) return state.SkipWithError("no X display or no editor");
    setup.host.dispatch(effEditIdle);
    Setup::waitForViewIdle();
    setup.host.dispatch(effEditIdle);
    for (auto _ : state) {
        state.PauseTiming();
        Setup::waitForViewIdle();
        state.ResumeTiming();
        setup.host.dispatch(effEditIdle);
        XSync(setup.display, False);
    }
    setup.host.dispatch(effEditClose);
}

// What the rows above add around the idle itself: the pause and the timer's stop and start, and
// the XSync (a round trip on the benchmark's own connection). Subtract it to get the idle's cost.
void harnessAlone(benchmark::State& state) {
    Setup setup;
    if (!setup.ready || !setup.open()) return state.SkipWithError("no X display or no editor");
    setup.host.dispatch(effEditIdle);
    for (auto _ : state) {
        state.PauseTiming();
        Setup::waitForViewIdle();
        state.ResumeTiming();
        XSync(setup.display, False);
    }
    setup.host.dispatch(effEditClose);
}

void audioBlock(benchmark::State& state, bool editorOpen) {
    Setup setup;
    if (!setup.ready) return state.SkipWithError("no X display or module");
    if (editorOpen && !setup.open()) return state.SkipWithError("no editor");
    std::vector<float> left(kBlock), right(kBlock), outLeft(kBlock), outRight(kBlock);
    for (int i = 0; i < kBlock; ++i) left[i] = right[i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
    for (auto _ : state) {
        setup.host.process(left.data(), right.data(), outLeft.data(), outRight.data(), kBlock);
        benchmark::DoNotOptimize(outLeft.data());
    }
    state.counters["ns_per_block"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (editorOpen) setup.host.dispatch(effEditClose);
}

}  // namespace

BENCHMARK_CAPTURE(idleRedrawingMeters, all_32_jump, 32, 0.2f, 0.8f, false)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(idleRedrawingMeters, all_32_one_led, 32, 0.30f, 0.34f, false)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(idleRedrawingMeters, four_one_led, 4, 0.30f, 0.34f, false)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(idleRedrawingMeters, all_32_one_led_settled, 32, 0.30f, 0.34f, true)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(idleRedrawingMeters, four_one_led_settled, 4, 0.30f, 0.34f, true)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(idleWithNothingToRedraw)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(harnessAlone)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(audioBlock, editor_closed, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(audioBlock, editor_open, true)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
