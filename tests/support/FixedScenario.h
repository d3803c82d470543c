// One fixed scenario that the Linux and the Windows builds must turn into the same numbers: the
// standard sample rates, every Mode and Resp, an analysis delay, noise at three levels and
// silence, in blocks of uneven sizes. What a run produces is folded into a 64-bit digest, which
// the tests compare with the one value both systems give.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <cstring>
#include <random>
#include <vector>

namespace lumetra::test {

inline constexpr float kScenarioRates[] = {32000.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
inline constexpr float kScenarioSettings[] = {0.0f, 0.5f, 1.0f};  // each Mode with each Resp
inline constexpr int kScenarioBlockSizes[] = {512, 64, 1000, 7, 128, 333};

// FNV-1a over the bits of each value.
class Digest {
public:
    void add(const void* bytes, size_t size) {
        const auto* p = static_cast<const unsigned char*>(bytes);
        for (size_t i = 0; i < size; ++i) value = (value ^ p[i]) * 0x100000001b3ull;
    }
    void add(float v) { add(&v, sizeof v); }
    void add(const std::vector<float>& values) { add(values.data(), values.size() * sizeof(float)); }
    uint64_t value = 0xcbf29ce484222325ull;
};

// A quarter of a second of input at rateHz, per channel: uniform noise (the standard library's
// generator and distribution are the same code on both systems), the right channel independent,
// in four segments: full scale, -40 dB, +12 dB, silence.
struct ScenarioInput {
    explicit ScenarioInput(float rateHz) {
        const auto n = static_cast<size_t>(rateHz / 4.0f);
        std::mt19937 random(11);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        left.resize(n);
        right.resize(n);
        const float gains[] = {1.0f, 0.01f, 4.0f, 0.0f};
        for (size_t i = 0; i < n; ++i) {
            const float gain = gains[i * 4 / n];
            left[i] = uniform(random) * gain;
            right[i] = uniform(random) * gain;
        }
    }
    std::vector<float> left, right;
};

// Runs the scenario: start(rateHz) makes the effect ready for a rate (bank built, state cleared),
// set(index, value) sets a parameter, block(left, right, frames) processes one block (copies of
// the input, which the callee may overwrite) and digests what it produced.
template <typename Start, typename Set, typename Block>
void runScenario(Start&& start, Set&& set, Block&& block) {
    for (const float rate : kScenarioRates) {
        const ScenarioInput input(rate);
        start(rate);
        set(0, 0.5f);  // Delay: 0.15 s
        set(2, 0.3f);  // Volume
        std::vector<float> left, right;
        for (const float mode : kScenarioSettings) {
            for (const float resp : kScenarioSettings) {
                set(3, mode);
                set(4, resp);
                size_t at = 0;
                for (size_t b = 0; at < input.left.size(); ++b) {
                    const size_t size = static_cast<size_t>(kScenarioBlockSizes[b % std::size(kScenarioBlockSizes)]);
                    const size_t frames = std::min(size, input.left.size() - at);
                    left.assign(input.left.begin() + static_cast<std::ptrdiff_t>(at),
                                input.left.begin() + static_cast<std::ptrdiff_t>(at + frames));
                    right.assign(input.right.begin() + static_cast<std::ptrdiff_t>(at),
                                 input.right.begin() + static_cast<std::ptrdiff_t>(at + frames));
                    block(left.data(), right.data(), static_cast<int32_t>(frames));
                    at += frames;
                }
            }
        }
    }
}

}  // namespace lumetra::test
