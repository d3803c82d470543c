// Whole-effect processReplacing at 44.1 kHz on white noise, for every bank-kernel path this CPU
// has, the plain per-detector path included, so the figures compare within one run.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/BankKernel.h"
#include "plugin/ADelay.h"

namespace {

void processEffect(benchmark::State& state, lumetra::KernelPath path) {
    if (!lumetra::kernelPathSupported(path)) {
        state.SkipWithError("path not supported by this CPU");
        return;
    }
    const auto block = static_cast<VstInt32>(state.range(0));
    auto effect = std::make_unique<ADelay>(nullptr);
    effect->kernel.setPath(path);
    effect->setSampleRate(44100.0f);
    effect->resume();

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
        effect->processReplacing(inputs, outputs, block);
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
    }
    const double samples = static_cast<double>(state.iterations()) * block;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    // Seconds of 44.1 kHz audio processed per second of CPU.
    state.counters["realtime_factor"] = benchmark::Counter(samples / 44100.0, benchmark::Counter::kIsRate);
    state.counters["ns_per_sample"] = benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate |
                                                                            benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(processEffect, plain, lumetra::KernelPath::Plain)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(processEffect, sse2, lumetra::KernelPath::Sse2)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(processEffect, avx2, lumetra::KernelPath::Avx2)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(processEffect, avx512, lumetra::KernelPath::Avx512)->Arg(64)->Arg(512)->Arg(4096);

BENCHMARK_MAIN();
