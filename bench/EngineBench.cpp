// processReplacing of the whole effect at 44.1 kHz on white noise: nanoseconds per input sample
// and the real-time factor, for three block lengths. The baseline for faster bank kernels.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "plugin/ADelay.h"

namespace {

constexpr float kRateHz = 44100.0f;

void processReplacing(benchmark::State& state) {
    const auto block = static_cast<VstInt32>(state.range(0));
    ADelay effect(nullptr);
    effect.setSampleRate(kRateHz);
    effect.setBlockSize(block);
    effect.resume();

    std::mt19937 random(42);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> left(block), right(block), outLeft(block), outRight(block);
    for (VstInt32 i = 0; i < block; ++i) {
        left[i] = uniform(random);
        right[i] = uniform(random);
    }
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        effect.processReplacing(inputs, outputs, block);
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
    }
    const double samples = static_cast<double>(state.iterations()) * block;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    // Seconds of audio per second of CPU, and CPU nanoseconds per input sample (one frame).
    state.counters["realtime_factor"] = benchmark::Counter(samples / kRateHz, benchmark::Counter::kIsRate);
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(processReplacing)->Arg(64)->Arg(512)->Arg(4096);

BENCHMARK_MAIN();
