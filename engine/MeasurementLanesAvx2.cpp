#include "engine/MeasurementLanes.h"

#include <algorithm>
#include <cstring>

namespace lumetra {

namespace {

typedef float Lanes8 __attribute__((vector_size(32)));
typedef double Wide4 __attribute__((vector_size(32)));

Lanes8 load(const float* p) {
    Lanes8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void store(float* p, Lanes8 v) { std::memcpy(p, &v, sizeof v); }

// As the plain loop's section: the same operations in the same order.
struct Section8 {
    Lanes8 b0, b2, a1, a2, x1, x2, y1, y2;
    Lanes8 step(Lanes8 x) {
        const Lanes8 partial = b0 * x + b2 * x2 - a2 * y2;
        const Lanes8 y = partial - a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

template <bool kTimed, bool kCaptured>
void run(SectionLanes& s, const float* input, int n, int captureLane, float* captured) {
    Section8 r[SectionLanes::kSections];
    for (int k = 0; k < SectionLanes::kSections; ++k)
        r[k] = {load(s.b0[k]), load(s.b2[k]), load(s.a1[k]), load(s.a2[k]),
                load(s.x1[k]), load(s.x2[k]), load(s.y1[k]), load(s.y2[k])};
    Wide4 e[2], m[2];
    std::memcpy(e, s.energy, sizeof e);
    std::memcpy(m, s.mean, sizeof m);
    const double c = s.coefficient;
    auto low = [](Lanes8 v) { return __builtin_convertvector(__builtin_shufflevector(v, v, 0, 1, 2, 3), Wide4); };
    auto high = [](Lanes8 v) { return __builtin_convertvector(__builtin_shufflevector(v, v, 4, 5, 6, 7), Wide4); };
    for (int start = 0; start < n; start += SectionLanes::kRun) {
        const int length = std::min(n - start, SectionLanes::kRun);
        const float* decay = s.decay + (SectionLanes::kRun - length);
        Lanes8 runSum = {}, runWeighted = {};
        for (int i = 0; i < length; ++i) {
            const float x = input[start + i];
            Lanes8 y = Lanes8{x, x, x, x, x, x, x, x};
#pragma GCC unroll 4
            for (int k = 0; k < SectionLanes::kSections; ++k) y = r[k].step(y);
            const Lanes8 square = y * y;
            runSum += square;
            if constexpr (kTimed) {
                const float d = decay[i];
                runWeighted += square * Lanes8{d, d, d, d, d, d, d, d};
            }
            if constexpr (kCaptured) captured[start + i] = y[captureLane];
        }
        e[0] += low(runSum);
        e[1] += high(runSum);
        if constexpr (kTimed) {
            const double p = s.decayPower[length];
            m[0] = Wide4{p, p, p, p} * m[0] + Wide4{c, c, c, c} * low(runWeighted);
            m[1] = Wide4{p, p, p, p} * m[1] + Wide4{c, c, c, c} * high(runWeighted);
        }
    }
    for (int k = 0; k < SectionLanes::kSections; ++k) {
        store(s.x1[k], r[k].x1);
        store(s.x2[k], r[k].x2);
        store(s.y1[k], r[k].y1);
        store(s.y2[k], r[k].y2);
    }
    std::memcpy(s.energy, e, sizeof e);
    std::memcpy(s.mean, m, sizeof m);
}

}  // namespace

bool filterSectionLanesAvx2(SectionLanes& s, const float* input, int n, bool timed, int captureLane, float* captured) {
    static const bool available = __builtin_cpu_supports("avx2");
    if (!available) return false;
    if (captured != nullptr)
        timed ? run<true, true>(s, input, n, captureLane, captured) : run<false, true>(s, input, n, captureLane, captured);
    else
        timed ? run<true, false>(s, input, n, 0, nullptr) : run<false, false>(s, input, n, 0, nullptr);
    return true;
}

}  // namespace lumetra
