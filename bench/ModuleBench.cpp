// bench_module MODULE: processReplacing of a built module (Lumetra.so, or Lumetra.dll under Wine)
// through the test host, on white noise at 44.1 kHz, blocks of 64 and 512. Self-timed (Google
// Benchmark has no Windows build here), so that both systems are measured by the same program:
// the best of seven runs of 30 s of audio each, in nanoseconds per input sample and as a
// real-time factor. The bank kernel path printed is the one this CPU gets (the module picks the
// same: the same code).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/BankKernel.h"
#include "host/VstHost.h"

namespace {

constexpr float kRateHz = 44100.0f;

double nanosecondsPerSample(lumetra::VstHost& host, VstInt32 block) {
    host.dispatch(effMainsChanged, 0, 0);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, kRateHz);
    host.dispatch(effSetBlockSize, 0, block);
    host.dispatch(effMainsChanged, 0, 1);
    std::mt19937 random(42);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> left(block), right(block), outLeft(block), outRight(block);
    for (VstInt32 i = 0; i < block; ++i) {
        left[i] = uniform(random);
        right[i] = uniform(random);
    }
    const long long blocks = static_cast<long long>(kRateHz * 30.0f) / block;  // 30 s of audio
    for (long long i = 0; i < blocks / 8; ++i)  // warm-up: buffers grown, caches filled
        host.process(left.data(), right.data(), outLeft.data(), outRight.data(), block);
    double best = 1e30;
    for (int run = 0; run < 7; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (long long i = 0; i < blocks; ++i)
            host.process(left.data(), right.data(), outLeft.data(), outRight.data(), block);
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / (static_cast<double>(blocks) * block));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: bench_module MODULE\n", stderr);
        return 2;
    }
    lumetra::VstHost host;
    host.recordCalls = false;
    if (!host.load(argv[1])) {
        std::fprintf(stderr, "bench_module: %s\n", host.error().c_str());
        return 2;
    }
    std::printf("kernel path %s\n", lumetra::kernelPathName(lumetra::bestKernelPath()));
    for (const VstInt32 block : {64, 512}) {
        const double ns = nanosecondsPerSample(host, block);
        std::printf("block %4d  %8.1f ns/sample  real-time factor %6.0f\n", static_cast<int>(block), ns,
                    1e9 / (ns * kRateHz));
    }
    return 0;
}
