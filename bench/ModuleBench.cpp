// bench_module MODULE: the same program on Linux and under Wine, so that the systems' compilers
// are compared on the same code. On white noise at 44.1 kHz, blocks of 64 and 512, the best of
// seven runs of 30 s of audio each, in nanoseconds per input sample:
//   module: processReplacing of a built module (Lumetra.so, or Lumetra.dll under Wine) through the
//           test host, on the kernel path this CPU gets;
//   effect: the effect linked into this program, once per kernel path this CPU has.
// Lines read "<what> <path> block <n> <ns> ns/sample"; bench/compare_systems.sh sets the systems'
// figures side by side.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "engine/BankKernel.h"
#include "host/VstHost.h"
#include "plugin/ADelay.h"

namespace {

constexpr float kRateHz = 44100.0f;

// process(left, right, outLeft, outRight, block): one block; the best of seven 30 s runs.
double nanosecondsPerSample(VstInt32 block, const std::function<void(float*, float*, float*, float*, VstInt32)>& process) {
    std::mt19937 random(42);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> left(block), right(block), outLeft(block), outRight(block);
    for (VstInt32 i = 0; i < block; ++i) {
        left[i] = uniform(random);
        right[i] = uniform(random);
    }
    const long long blocks = static_cast<long long>(kRateHz * 30.0f) / block;  // 30 s of audio
    for (long long i = 0; i < blocks / 8; ++i)  // warm-up: buffers grown, caches filled
        process(left.data(), right.data(), outLeft.data(), outRight.data(), block);
    double best = 1e30;
    for (int run = 0; run < 7; ++run) {
        const auto start = std::chrono::steady_clock::now();
        for (long long i = 0; i < blocks; ++i) process(left.data(), right.data(), outLeft.data(), outRight.data(), block);
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / (static_cast<double>(blocks) * block));
    }
    return best;
}

void report(const char* what, lumetra::KernelPath path, VstInt32 block, double ns) {
    std::printf("%-7s %-7s block %4d %8.1f ns/sample  real-time factor %6.0f\n", what, lumetra::kernelPathName(path),
                static_cast<int>(block), ns, 1e9 / (ns * kRateHz));
    std::fflush(stdout);
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
    for (const VstInt32 block : {64, 512}) {
        host.dispatch(effMainsChanged, 0, 0);
        host.dispatch(effSetSampleRate, 0, 0, nullptr, kRateHz);
        host.dispatch(effSetBlockSize, 0, block);
        host.dispatch(effMainsChanged, 0, 1);
        report("module", lumetra::bestKernelPath(), block,
               nanosecondsPerSample(block, [&](float* l, float* r, float* ol, float* orr, VstInt32 n) {
                   host.process(l, r, ol, orr, n);
               }));
    }
    for (const lumetra::KernelPath path : {lumetra::KernelPath::Plain, lumetra::KernelPath::Sse2,
                                           lumetra::KernelPath::Avx2, lumetra::KernelPath::Avx512}) {
        if (!lumetra::kernelPathSupported(path)) continue;
        for (const VstInt32 block : {64, 512}) {
            auto effect = std::make_unique<ADelay>(nullptr);
            effect->engine.bank().setPath(path);
            effect->setSampleRate(kRateHz);
            effect->setBlockSize(block);
            effect->resume();
            report("effect", path, block, nanosecondsPerSample(block, [&](float* l, float* r, float* ol, float* orr, VstInt32 n) {
                       float* inputs[2] = {l, r};
                       float* outputs[2] = {ol, orr};
                       effect->processReplacing(inputs, outputs, n);
                   }));
        }
    }
    return 0;
}
