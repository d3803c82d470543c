// The band-pass sections of the measurement bank's bands of one rate, member by member with one
// lane per band, and the sample loop over them: the plain one (SSE2, four lanes at a time, any
// x86-64) and, for the input rate's eight lanes, one on AVX2 when the CPU has it. Both perform
// the same single-precision operations in the same order on every lane, so they give the same
// bits. The thread that feeds the bank.
#pragma once

#include <cstdint>

namespace lumetra {

struct alignas(32) SectionLanes {
    static constexpr int kSections = 4, kLanes = 8;
    static constexpr int kRun = 64;  // samples whose squares are summed in float before widening
    // Direct form I: y = b0 x + b2 x2 - a1 y1 - a2 y2 (b1 = 0), per section and lane.
    float b0[kSections][kLanes] = {}, b2[kSections][kLanes] = {};
    float a1[kSections][kLanes] = {}, a2[kSections][kLanes] = {};
    float x1[kSections][kLanes] = {}, x2[kSections][kLanes] = {};
    float y1[kSections][kLanes] = {}, y2[kSections][kLanes] = {};
    double energy[kLanes] = {};  // sum of the squares of each lane's output
    double mean[kLanes] = {};    // each lane's time-weighted mean square
    // The time weighting m <- (1 - c) m + c y^2 taken a run at a time: within a run of L samples
    // sample i's square counts with decay[kRun - L + i] = (1 - c)^(L - 1 - i), and the mean
    // before it with decayPower[L] = (1 - c)^L; then m <- decayPower[L] m + c (weighted sum).
    float decay[kRun] = {};
    double decayPower[kRun + 1] = {};
    double coefficient = 0;
};

// Fills the time weighting's tables for a coefficient per sample of c.
void setTimeWeighting(SectionLanes& s, double c);

// One block of n samples through the first `sections` sections of the first `lanes` lanes
// (4 or 8): energy, and with timed the time weighting (setTimeWeighting()), follow; with
// captured, lane captureLane's outputs are written to captured[0 .. n-1]. Flushes the output
// histories below 1e-30 to 0 at the end. plain: the SSE2 loop even where AVX2 is there.
void filterSectionLanes(SectionLanes& s, int lanes, int sections, const float* input, int n, bool timed,
                        int captureLane, float* captured, bool plain = false);
// The eight-lane, four-section loop on AVX2, without the flush; false when the CPU lacks AVX2.
bool filterSectionLanesAvx2(SectionLanes& s, const float* input, int n, bool timed, int captureLane, float* captured);

}  // namespace lumetra
