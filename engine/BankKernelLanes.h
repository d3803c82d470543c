// The pipelined section loop, written once for any vector type. Included only by the per-
// instruction-set translation units, each of which is compiled for its own instruction set;
// everything here has internal linkage so no wider code can leak into a narrower path. Nothing
// from the standard library is used inside, for the same reason.
#pragma once

#include "engine/BankKernel.h"

namespace {

// V provides: V::kWidth, V::kHoldsCoefficients (whether its registers hold the coefficients), load, store (aligned), storeu (unaligned), set1, zero, add, sub, mul, div,
// sqrt (each one IEEE operation); a Mask type with gt and lt (false where either side is NaN) and
// both; select(mask, a, b), zeroWhere(mask, a) (+0 where the mask is set) and anyNaN.
//
// Histories rotate instead of shifting: each section keeps two slots for x and two for y, and at
// iteration i (parity p = i % 2) it reads its newest values from slot 1 - p, its older ones from
// slot p, and writes the new pair into slot p. That halves the stores per section-sample, which
// bound the loop. Section s at iteration i takes the output section s - 1 made at iteration
// i - 1, which sits in that section's y slot 1 - p.
// GN vector groups at once, from lane g0 * W on: groups never interact, so a path whose registers
// cannot hold all groups' state runs the pipeline once per few groups.
template <typename V, int GN>
struct Pipeline {
    static constexpr int W = V::kWidth;
    static constexpr int G = GN;  // vector groups this pipeline carries
    const int lane0;              // first lane of its first group

    Pipeline(int firstGroup, const lumetra::LaneTimes& times, float* levels)
        : lane0(firstGroup * W), times(times), levels(levels) {}
    const lumetra::LaneTimes& times;
    float* const levels;  // the row's levels, updated at the end of each RMS block
    // Samples per RMS block, known when compiling: the block arithmetic below takes no division.
    static constexpr long len = lumetra::kRmsBlockLength;
    static constexpr int S = lumetra::kSections;

    using Reg = typename V::Reg;

    // The coefficients stay in registers where the path has room for them beside the histories;
    // otherwise each use reads them from the lanes (aligned memory operands), which is cheaper
    // than the stack slots the compiler would spill them to: on Windows those are aligned to
    // 16 bytes only, so a wide vector spilled there straddles two cache lines.
    static constexpr bool kHeld = V::kHoldsCoefficients;
    static constexpr int HS = kHeld ? S : 1;
    static constexpr int HG = kHeld ? G : 1;
    Reg b0[HS][HG], b1[HS][HG], b2[HS][HG], a1[HS][HG], a2[HS][HG];
    const lumetra::BankLanes* coefficients = nullptr;
    Reg xs[2][S][G], ys[2][S][G];

    template <float (lumetra::SectionLanes::*row)[lumetra::kMaxLanes]>
    __attribute__((always_inline)) inline Reg fromLanes(int s, int g) const {
        return V::load((coefficients->section[s].*row) + lane0 + g * W);
    }
    Reg acc[G];  // sum of squares of the current RMS block

    // Section s first runs at iteration s: its newest values go where that iteration reads them.
    __attribute__((always_inline)) inline void load(const lumetra::BankLanes& lanes) {
        coefficients = &lanes;
        for (int s = 0; s < S; ++s) {
            const int newest = 1 - (s & 1);
            for (int g = 0; g < G; ++g) {
                const lumetra::SectionLanes& sec = lanes.section[s];
                if constexpr (kHeld) {
                    b0[s][g] = V::load(sec.b0 + lane0 + g * W);
                    b1[s][g] = V::load(sec.b1 + lane0 + g * W);
                    b2[s][g] = V::load(sec.b2 + lane0 + g * W);
                    a1[s][g] = V::load(sec.a1 + lane0 + g * W);
                    a2[s][g] = V::load(sec.a2 + lane0 + g * W);
                }
                ys[newest][s][g] = V::load(sec.y1 + lane0 + g * W);
                ys[1 - newest][s][g] = V::load(sec.y2 + lane0 + g * W);
                xs[newest][s][g] = V::load(sec.x1 + lane0 + g * W);
                xs[1 - newest][s][g] = V::load(sec.x2 + lane0 + g * W);
            }
        }
        for (int g = 0; g < G; ++g) acc[g] = V::zero();
    }

    // CFxRbjFilter's end-of-block flush: |y| < 1e-20 becomes +0 (a NaN stays).
    static Reg flushed(Reg y) { return V::zeroWhere(V::both(V::lt(y, V::set1(1e-20f)), V::gt(y, V::set1(-1e-20f))), y); }

    // After n samples section s last wrote at iteration n - 1 + s. The output histories go back
    // flushed; false when a history or a level of these lanes is not finite (v - v is +0 for
    // every finite v and NaN otherwise).
    __attribute__((always_inline)) inline bool save(lumetra::BankLanes& lanes, long n) const {
        Reg notFinite = V::zero();
        for (int s = 0; s < S; ++s) {
            const int newest = static_cast<int>((n + 1 + s) & 1);
            for (int g = 0; g < G; ++g) {
                lumetra::SectionLanes& sec = lanes.section[s];
                const Reg y1 = flushed(ys[newest][s][g]);
                const Reg y2 = flushed(ys[1 - newest][s][g]);
                const Reg x1 = xs[newest][s][g];
                const Reg x2 = xs[1 - newest][s][g];
                V::store(sec.y1 + lane0 + g * W, y1);
                V::store(sec.y2 + lane0 + g * W, y2);
                V::store(sec.x1 + lane0 + g * W, x1);
                V::store(sec.x2 + lane0 + g * W, x2);
                notFinite = V::add(notFinite, V::add(V::add(V::sub(y1, y1), V::sub(y2, y2)),
                                                     V::add(V::sub(x1, x1), V::sub(x2, x2))));
            }
        }
        for (int g = 0; g < G; ++g) {
            const Reg level = V::load(levels + lane0 + g * W);
            notFinite = V::add(notFinite, V::sub(level, level));
        }
        return !V::anyNaN(notFinite);
    }

    // One sample through section s of group g at parity p.
    // Left to right: three products added, then two subtracted; no term is dropped, not even
    // b1 * x1 with b1 == 0, because it decides the sign of a zero result.
    template <int p>
    __attribute__((always_inline)) inline void section(int s, int g, Reg x) {
        Reg cb0, cb1, cb2, ca1, ca2;
        if constexpr (kHeld) {
            cb0 = b0[s][g], cb1 = b1[s][g], cb2 = b2[s][g], ca1 = a1[s][g], ca2 = a2[s][g];
        } else {
            cb0 = fromLanes<&lumetra::SectionLanes::b0>(s, g);
            cb1 = fromLanes<&lumetra::SectionLanes::b1>(s, g);
            cb2 = fromLanes<&lumetra::SectionLanes::b2>(s, g);
            ca1 = fromLanes<&lumetra::SectionLanes::a1>(s, g);
            ca2 = fromLanes<&lumetra::SectionLanes::a2>(s, g);
        }
        Reg y = V::add(V::mul(cb0, x), V::mul(cb1, xs[1 - p][s][g]));
        y = V::add(y, V::mul(cb2, xs[p][s][g]));
        y = V::sub(y, V::mul(ca1, ys[1 - p][s][g]));
        y = V::sub(y, V::mul(ca2, ys[p][s][g]));
        xs[p][s][g] = x;
        ys[p][s][g] = y;
    }

    // Iteration i (parity p) with every section active: section s takes sample i - s. Sections
    // run from the last to the first; each reads what its predecessor wrote one iteration ago.
    // Where the coefficients are read at each use, the compiler must not hoist those reads out
    // of the sample loop into stack slots (the very spills the reading avoids): the pointer is
    // made opaque to it once per iteration. No instruction results.
    __attribute__((always_inline)) inline void rereadCoefficients() {
        if constexpr (!kHeld) asm("" : "+r"(coefficients));
    }

    template <int p>
    __attribute__((always_inline)) inline void fullStep(Reg xin) {
        rereadCoefficients();
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) section<p>(3, g, ys[1 - p][2][g]);
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) section<p>(2, g, ys[1 - p][1][g]);
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) section<p>(1, g, ys[1 - p][0][g]);
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) section<p>(0, g, xin);
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) acc[g] = V::add(acc[g], V::mul(ys[p][3][g], ys[p][3][g]));
    }

    // An iteration of the first or last three, with only sections lo to hi active (all known at
    // compile time, so the register arrays stay registers). Sections run from the last down.
    template <int p, int s, int lo>
    __attribute__((always_inline)) inline void edgeSections(Reg xin) {
        for (int g = 0; g < G; ++g) section<p>(s, g, s == 0 ? xin : ys[1 - p][s > 0 ? s - 1 : 0][g]);
        if constexpr (s > lo) edgeSections<p, s - 1, lo>(xin);
    }
    template <int p, int lo, int hi, bool lastActive>
    __attribute__((always_inline)) inline void edgeStep(Reg xin) {
        rereadCoefficients();
        edgeSections<p, hi, lo>(xin);
        if constexpr (lastActive)
            for (int g = 0; g < G; ++g) acc[g] = V::add(acc[g], V::mul(ys[p][3][g], ys[p][3][g]));
    }

    inline void storeOutputs(float* lastOutputs, long t, int p) const {
        for (int g = 0; g < G; ++g) V::storeu(lastOutputs + t * lumetra::kMaxLanes + lane0 + g * W, ys[p][3][g]);
    }

    // The RMS block that sample t ends: FilteredDetector::smoothBlock on every lane, with its
    // length (the last block of a call may be shorter).
    inline void endBlock(long t) {
        const Reg length = V::set1(static_cast<float>(t % len + 1));
        for (int g = 0; g < G; ++g) {
            float* at = levels + lane0 + g * W;
            const Reg level = V::load(at);
            const Reg rms = V::sqrt(V::div(acc[g], length));
            const Reg coef = V::select(V::gt(rms, level), V::load(times.attack + lane0 + g * W),
                                       V::load(times.release + lane0 + g * W));
            const Reg next = V::add(V::mul(V::sub(rms, level), coef), level);
            V::store(at, V::zeroWhere(V::lt(next, V::set1(1e-20f)), next));
            acc[g] = V::zero();
        }
    }

    // The last section's sample t is done (parity p): its output, and the end of its RMS block.
    template <bool kOutputs>
    __attribute__((always_inline)) inline void finish(float* lastOutputs, long t, int p, long n) {
        if constexpr (kOutputs) storeOutputs(lastOutputs, t, p);
        if ((t + 1) % len == 0 || t == n - 1) endBlock(t);
    }

    // Inlined where the pipeline is made, so that its state is a local the compiler keeps in
    // registers; called through `this`, it stays in memory (MinGW's GCC does not inline it
    // otherwise).
    template <bool kOutputs>
    __attribute__((always_inline)) inline bool run(lumetra::BankLanes& lanes, const float* input, uint32_t count,
                                                   float* lastOutputs) {
        const long n = count;
        if (n == 0) return true;
        load(lanes);
        const Reg unused = V::zero();
        if (n == 1) {  // iterations 0 to 3, one section each
            edgeStep<0, 0, 0, false>(V::set1(input[0]));
            edgeStep<1, 1, 1, false>(unused);
            edgeStep<0, 2, 2, false>(unused);
            edgeStep<1, 3, 3, true>(unused);
            finish<kOutputs>(lastOutputs, 0, 1, n);
            return save(lanes, n);
        }
        if (n == 2) {  // iterations 0 to 4
            edgeStep<0, 0, 0, false>(V::set1(input[0]));
            edgeStep<1, 0, 1, false>(V::set1(input[1]));
            edgeStep<0, 1, 2, false>(unused);
            edgeStep<1, 2, 3, true>(unused);
            finish<kOutputs>(lastOutputs, 0, 1, n);
            edgeStep<0, 3, 3, true>(unused);
            finish<kOutputs>(lastOutputs, 1, 0, n);
            return save(lanes, n);
        }
        // Filling the pipeline: iterations 0, 1, 2 run sections 0 .. i.
        edgeStep<0, 0, 0, false>(V::set1(input[0]));
        edgeStep<1, 0, 1, false>(V::set1(input[1]));
        edgeStep<0, 0, 2, false>(V::set1(input[2]));
        long i = S - 1;
        while (i < n) {
            // Steady stretch: all sections active, up to the end of the current RMS block.
            const long t = i - (S - 1);  // sample of the last section at iteration i
            const long blockEnd = (t / len + 1) * len;  // first sample of the next block
            long stop = blockEnd + (S - 1);
            if (stop > n) stop = n;
            if ((i & 1) && i < stop) {
                fullStep<1>(V::set1(input[i]));
                if constexpr (kOutputs) storeOutputs(lastOutputs, i - (S - 1), 1);
                ++i;
            }
            for (; i + 1 < stop; i += 2) {
                fullStep<0>(V::set1(input[i]));
                if constexpr (kOutputs) storeOutputs(lastOutputs, i - (S - 1), 0);
                fullStep<1>(V::set1(input[i + 1]));
                if constexpr (kOutputs) storeOutputs(lastOutputs, i + 1 - (S - 1), 1);
            }
            if (i < stop) {
                fullStep<0>(V::set1(input[i]));
                if constexpr (kOutputs) storeOutputs(lastOutputs, i - (S - 1), 0);
                ++i;
            }
            const long tDone = i - S;  // last sample the last section finished
            if ((tDone + 1) % len == 0 || tDone == n - 1) endBlock(tDone);
        }
        if (n & 1)
            drain<kOutputs, 1>(lastOutputs, n);
        else
            drain<kOutputs, 0>(lastOutputs, n);
        return save(lanes, n);
    }

    // Draining the pipeline: iterations n (parity p), n + 1, n + 2 run sections i - (n - 1) .. 3.
    template <bool kOutputs, int p>
    __attribute__((always_inline)) inline void drain(float* lastOutputs, long n) {
        const Reg unused = V::zero();
        edgeStep<p, 1, 3, true>(unused);
        finish<kOutputs>(lastOutputs, n - 3, p, n);
        edgeStep<1 - p, 2, 3, true>(unused);
        finish<kOutputs>(lastOutputs, n - 2, 1 - p, n);
        edgeStep<p, 3, 3, true>(unused);
        finish<kOutputs>(lastOutputs, n - 1, p, n);
    }
};

// The entry each instruction-set translation unit exports.
template <typename V, int GN = lumetra::kMaxLanes / V::kWidth>
inline bool filterLanes(lumetra::BankLanes& lanes, const float* input, uint32_t n, const lumetra::LaneTimes& times,
                        float* levels, float* lastOutputs) {
    constexpr int kGroups = lumetra::kMaxLanes / V::kWidth;
    static_assert(kGroups % GN == 0);
    bool finite = true;
    for (int g0 = 0; g0 < kGroups; g0 += GN) {
        Pipeline<V, GN> pipeline(g0, times, levels);
        if (lastOutputs)
            finite &= pipeline.template run<true>(lanes, input, n, lastOutputs);
        else
            finite &= pipeline.template run<false>(lanes, input, n, nullptr);
    }
    return finite;
}

}  // namespace
