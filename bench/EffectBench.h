// The whole effect's processReplacing on white noise, blocks of state.range(0) samples at
// 44.1 kHz, with nanoseconds per input sample and the real-time factor as counters.
#pragma once

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "plugin/ADelay.h"

namespace bench {

constexpr float kRateHz = 44100.0f;

inline void processNoise(benchmark::State& state, ADelay& effect) {
    const auto block = static_cast<VstInt32>(state.range(0));
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

}  // namespace bench
