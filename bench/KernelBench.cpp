// Whole-effect processReplacing at 44.1 kHz on white noise, for every bank-kernel path this CPU
// has, the plain per-detector path included, so the figures compare within one run.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/EffectBench.h"
#include "engine/BankKernel.h"

namespace {

void processEffectAt(benchmark::State& state, lumetra::KernelPath path, float volume) {
    if (!lumetra::kernelPathSupported(path)) {
        state.SkipWithError("path not supported by this CPU");
        return;
    }
    auto effect = std::make_unique<ADelay>(nullptr);
    effect->engine.bank().setPath(path);
    effect->setParameter(lumetra::kVolume, volume);
    bench::processNoise(state, *effect);
}

// At the default Volume most bands of the noise lie below the meter window and take no
// logarithm; at Volume 1 the window is 40 dB lower and takes in most of them.
void processEffect(benchmark::State& state, lumetra::KernelPath path) { processEffectAt(state, path, 0.0f); }
void processEffectVolume1(benchmark::State& state, lumetra::KernelPath path) { processEffectAt(state, path, 1.0f); }

}  // namespace

BENCHMARK_CAPTURE(processEffect, plain, lumetra::KernelPath::Plain)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(processEffect, sse2, lumetra::KernelPath::Sse2)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(processEffect, avx2, lumetra::KernelPath::Avx2)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(processEffect, avx512, lumetra::KernelPath::Avx512)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(4096);

BENCHMARK_CAPTURE(processEffectVolume1, avx2, lumetra::KernelPath::Avx2)->Arg(64)->Arg(512);
BENCHMARK_CAPTURE(processEffectVolume1, avx512, lumetra::KernelPath::Avx512)->Arg(64)->Arg(512);

BENCHMARK_MAIN();
