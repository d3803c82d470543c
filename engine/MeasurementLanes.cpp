#include "engine/MeasurementLanes.h"

#include <algorithm>
#include <cstring>

namespace lumetra {

namespace {

// Four lanes side by side; GCC's vector extension, compiled to SSE2 (any x86-64), every lane
// rounded as its scalar operation would be.
typedef float Lanes __attribute__((vector_size(16)));
typedef double WideLanes __attribute__((vector_size(32)));
typedef int32_t MaskLanes __attribute__((vector_size(16)));

Lanes load(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
void store(float* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

// One section of four lanes, held in registers for a block.
struct SectionRegisters {
    Lanes b0, b2, a1, a2, x1, x2, y1, y2;
    Lanes step(Lanes x) {
        // Everything but the previous output's product first: only a product and a difference
        // wait for it.
        const Lanes partial = b0 * x + b2 * x2 - a2 * y2;
        const Lanes y = partial - a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// kGroups groups of four lanes through kSectionCount sections, fed the same input, their
// recursions interleaved.
template <int kGroups, int kSectionCount, bool kTimed, bool kCaptured>
void run(SectionLanes& s, const float* input, int n, int captureLane, float* captured) {
    SectionRegisters r[kGroups][kSectionCount];
    WideLanes e[kGroups], m[kGroups];
    for (int g = 0; g < kGroups; ++g) {
        for (int k = 0; k < kSectionCount; ++k)
            r[g][k] = {load(&s.b0[k][4 * g]), load(&s.b2[k][4 * g]), load(&s.a1[k][4 * g]), load(&s.a2[k][4 * g]),
                       load(&s.x1[k][4 * g]), load(&s.x2[k][4 * g]), load(&s.y1[k][4 * g]), load(&s.y2[k][4 * g])};
        std::memcpy(&e[g], &s.energy[4 * g], sizeof e[g]);
        std::memcpy(&m[g], &s.mean[4 * g], sizeof m[g]);
    }
    const double c = s.coefficient;
    // The squares summed in float over runs of kRun samples, widened once per run: the sums stay
    // exact to a few parts in a million, and the sample loop keeps to single precision with no
    // sum waiting on a long chain.
    for (int start = 0; start < n; start += SectionLanes::kRun) {
        const int length = std::min(n - start, SectionLanes::kRun);
        const float* decay = s.decay + (SectionLanes::kRun - length);
        Lanes runSum[kGroups] = {}, runWeighted[kGroups] = {};
        for (int i = 0; i < length; ++i) {
            const float x = input[start + i];
            // Unrolled, so that the sections stay in registers as far as there are registers.
#pragma GCC unroll 2
            for (int g = 0; g < kGroups; ++g) {
                Lanes y = Lanes{x, x, x, x};
#pragma GCC unroll 4
                for (int k = 0; k < kSectionCount; ++k) y = r[g][k].step(y);
                const Lanes square = y * y;
                runSum[g] += square;
                if constexpr (kTimed) runWeighted[g] += square * Lanes{decay[i], decay[i], decay[i], decay[i]};
                if constexpr (kCaptured)
                    if (captureLane / 4 == g) captured[start + i] = y[captureLane % 4];
            }
        }
        for (int g = 0; g < kGroups; ++g) {
            e[g] += __builtin_convertvector(runSum[g], WideLanes);
            if constexpr (kTimed) {
                const double p = s.decayPower[length];
                m[g] = WideLanes{p, p, p, p} * m[g] + WideLanes{c, c, c, c} * __builtin_convertvector(runWeighted[g], WideLanes);
            }
        }
    }
    for (int g = 0; g < kGroups; ++g) {
        for (int k = 0; k < kSectionCount; ++k) {
            store(&s.x1[k][4 * g], r[g][k].x1);
            store(&s.x2[k][4 * g], r[g][k].x2);
            store(&s.y1[k][4 * g], r[g][k].y1);
            store(&s.y2[k][4 * g], r[g][k].y2);
        }
        std::memcpy(&s.energy[4 * g], &e[g], sizeof e[g]);
        std::memcpy(&s.mean[4 * g], &m[g], sizeof m[g]);
    }
}

template <int kGroups, int kSectionCount>
void runShape(SectionLanes& s, const float* input, int n, bool timed, int captureLane, float* captured) {
    if (captured != nullptr)
        timed ? run<kGroups, kSectionCount, true, true>(s, input, n, captureLane, captured)
              : run<kGroups, kSectionCount, false, true>(s, input, n, captureLane, captured);
    else
        timed ? run<kGroups, kSectionCount, true, false>(s, input, n, 0, nullptr)
              : run<kGroups, kSectionCount, false, false>(s, input, n, 0, nullptr);
}

}  // namespace

void setTimeWeighting(SectionLanes& s, double c) {
    s.coefficient = c;
    const double keep = 1.0 - c;
    double power = 1.0;
    for (int i = 0; i < SectionLanes::kRun; ++i) {
        s.decay[SectionLanes::kRun - 1 - i] = float(power);
        s.decayPower[i] = power;
        power *= keep;
    }
    s.decayPower[SectionLanes::kRun] = power;
}

void filterSectionLanes(SectionLanes& s, int lanes, int sections, const float* input, int n, bool timed,
                        int captureLane, float* captured, bool plain) {
    if (n <= 0) return;
    if (lanes == 8 && sections == 4) {
        if (plain || !filterSectionLanesAvx2(s, input, n, timed, captureLane, captured))
            runShape<2, 4>(s, input, n, timed, captureLane, captured);
    } else if (sections == 4) {
        runShape<1, 4>(s, input, n, timed, captureLane, captured);
    } else {
        runShape<1, 3>(s, input, n, timed, captureLane, captured);
    }
    // Flushed once per block: in silence the histories reach exactly 0 instead of crawling
    // through denormals.
    for (int k = 0; k < sections; ++k)
        for (int lane = 0; lane < lanes; ++lane) {
            if (s.y1[k][lane] < 1e-30f && s.y1[k][lane] > -1e-30f) s.y1[k][lane] = 0.0f;
            if (s.y2[k][lane] < 1e-30f && s.y2[k][lane] > -1e-30f) s.y2[k][lane] = 0.0f;
        }
}

}  // namespace lumetra
