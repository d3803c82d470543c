// Many effects in one process, as a host with many tracks runs them: 64 instances, each with its
// editor closed, fed 64-sample blocks at 48 kHz in turn (one block of every instance per block
// period), against one instance alone. The counter cpu_ms_per_audio_second is the CPU time one
// second of audio costs all instances together; 64 times the single figure is the target.
// With two threads each runs half of the instances, to show nothing shared makes them wait: its
// real time per iteration is the wall time of one second of audio, against the single thread's.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "plugin/ADelay.h"

namespace {

constexpr float kRateHz = 48000.0f;
constexpr VstInt32 kBlock = 64;
constexpr int kBlocksPerSecond = 750;  // 48000 / 64

struct Instance {
    Instance() : effect(std::make_unique<ADelay>(nullptr)), left(kBlock), right(kBlock), outLeft(kBlock), outRight(kBlock) {
        effect->setSampleRate(kRateHz);
        effect->setBlockSize(kBlock);
        effect->resume();
    }
    std::unique_ptr<ADelay> effect;
    std::vector<float> left, right, outLeft, outRight;
};

void processInstances(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0)) / state.threads();
    std::vector<Instance> instances(static_cast<size_t>(count));
    std::mt19937 random(42 + static_cast<unsigned>(state.thread_index()));
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (Instance& i : instances)
        for (VstInt32 k = 0; k < kBlock; ++k) i.left[k] = uniform(random), i.right[k] = uniform(random);
    for (auto _ : state) {
        for (int block = 0; block < kBlocksPerSecond; ++block)
            for (Instance& i : instances) {
                float* in[2] = {i.left.data(), i.right.data()};
                float* out[2] = {i.outLeft.data(), i.outRight.data()};
                i.effect->processReplacing(in, out, kBlock);
            }
        benchmark::ClobberMemory();
    }
    // Per iteration: one second of audio through all instances. With threads, the real time per
    // iteration says the same.
    if (state.threads() == 1)
        state.counters["cpu_ms_per_audio_second"] = benchmark::Counter(
            static_cast<double>(state.iterations()) * 1e-3, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(processInstances)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(processInstances)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(processInstances)->Arg(64)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
