#include "tests/stress/StressSupport.h"

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer runtime (GCC installs no header that declares it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace stress {

size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

void fill(std::vector<float>& block, Signal kind, std::mt19937& random) {
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, 3e38f, -0.0f};
    for (size_t i = 0; i < block.size(); ++i) {
        switch (kind) {
            case Signal::kNoise: block[i] = noise(random); break;
            case Signal::kSilence: block[i] = 0.0f; break;
            case Signal::kNonFinite: block[i] = i % 7 == 0 ? specials[random() % 5] : noise(random); break;
            case Signal::kSubnormal: block[i] = std::numeric_limits<float>::denorm_min() * float(random() % 1000); break;
            case Signal::kFullScale: block[i] = (i / 37) % 2 ? 1.0f : -1.0f; break;
            case Signal::kCount: break;
        }
    }
}

float hostileValue(std::mt19937& random) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, 1e30f, -1e30f, -0.5f, 1.5f,
                              32.0f, std::numeric_limits<float>::denorm_min(), -0.0f};
    if (random() % 4 != 0) return std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
    return specials[random() % 10];
}

bool passesThrough(lumetra::VstHost& host, const std::vector<float>& left, const std::vector<float>& right) {
    std::vector<float> inLeft(left), inRight(right), outLeft(left.size(), 7.0f), outRight(right.size(), 7.0f);
    host.process(inLeft.data(), inRight.data(), outLeft.data(), outRight.data(), static_cast<VstInt32>(left.size()));
    const size_t bytes = left.size() * sizeof(float);
    if (bytes == 0) return true;  // nothing to compare (and no data pointers to compare with)
    return std::memcmp(outLeft.data(), left.data(), bytes) == 0 && std::memcmp(outRight.data(), right.data(), bytes) == 0 &&
           std::memcmp(inLeft.data(), left.data(), bytes) == 0;
}

void start(lumetra::VstHost& host, float rateHz, VstIntPtr blockSize) {
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, rateHz);
    host.dispatch(effSetBlockSize, 0, blockSize);
    host.dispatch(effMainsChanged, 0, 1);
}

}  // namespace stress
