// Test signals for the engine suites.
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

namespace lumetra::test {

inline std::vector<float> sine(double frequencyHz, double rateHz, size_t count, double amplitude = 1.0) {
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz * double(i) / rateHz));
    return out;
}

inline std::vector<float> whiteNoise(size_t count, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> out(count);
    for (float& v : out) v = uniform(random);
    return out;
}

}  // namespace lumetra::test
