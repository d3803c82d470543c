// processReplacing of the whole effect at 44.1 kHz on white noise, on the path this CPU gets:
// nanoseconds per input sample and the real-time factor, from the small blocks of low-latency
// hosts to long ones.
#include <benchmark/benchmark.h>

#include "bench/EffectBench.h"

namespace {

void processReplacing(benchmark::State& state) {
    ADelay effect(nullptr);
    bench::processNoise(state, effect);
}

}  // namespace

BENCHMARK(processReplacing)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(4096);

BENCHMARK_MAIN();
