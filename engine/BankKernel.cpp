#include "engine/BankKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace lumetra {

namespace {

// Finite, by the bits: exponent not all ones.
inline bool isFinite(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x7F800000u) != 0x7F800000u;
}

LanesProc lanesProc(KernelPath path) {
    switch (path) {
    case KernelPath::Sse2: return filterLanesSse2;
    case KernelPath::Avx2: return filterLanesAvx2;
    case KernelPath::Avx512: return filterLanesAvx512;
    case KernelPath::Plain: break;
    }
    return nullptr;
}

}  // namespace

const char* kernelPathName(KernelPath path) {
    switch (path) {
    case KernelPath::Plain: return "plain";
    case KernelPath::Sse2: return "sse2";
    case KernelPath::Avx2: return "avx2";
    case KernelPath::Avx512: return "avx512";
    }
    return "?";
}

bool kernelPathSupported(KernelPath path) {
    switch (path) {
    case KernelPath::Plain: return true;
    case KernelPath::Sse2: return __builtin_cpu_supports("sse2");
    case KernelPath::Avx2: return __builtin_cpu_supports("avx2");
    case KernelPath::Avx512: return __builtin_cpu_supports("avx512f");
    }
    return false;
}

KernelPath bestKernelPath() {
    for (KernelPath path : {KernelPath::Avx512, KernelPath::Avx2, KernelPath::Sse2})
        if (kernelPathSupported(path)) return path;
    return KernelPath::Plain;
}

BankKernel::BankKernel() : path(bestKernelPath()) {}

void BankKernel::setPath(KernelPath newPath) {
    path = kernelPathSupported(newPath) ? newPath : bestKernelPath();
}

void BankKernel::reserve(uint32_t maxBlock) {
    const size_t blocks = (static_cast<size_t>(maxBlock) + 127) / 128;
    if (blockSums.size() < blocks * kMaxLanes) blockSums.resize(blocks * kMaxLanes, 0.0f);
}

bool BankKernel::grow(uint32_t maxBlock) noexcept {
    try {
        reserve(maxBlock);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool BankKernel::fitsLanes(const std::vector<FilteredDetector>& row) const {
    if (row.size() > static_cast<size_t>(kMaxLanes)) return false;
    for (const FilteredDetector& d : row)
        if (d.sections.size() != static_cast<size_t>(kSections) || d.blockLength != row.front().blockLength ||
            d.blockLength == 0)
            return false;
    return true;
}

void BankKernel::process(std::vector<FilteredDetector>& row, const float* input, uint32_t n,
                         float* lastOutputs) {
    const LanesProc proc = lanesProc(path);
    const uint32_t blockLength = row.empty() ? 0 : row.front().blockLength;
    const uint32_t blocks = blockLength == 0 ? 0 : static_cast<uint32_t>((uint64_t{n} + blockLength - 1) / blockLength);
    if (proc == nullptr || row.empty() || !fitsLanes(row) ||
        blockSums.size() < static_cast<size_t>(blocks) * kMaxLanes) {
        for (FilteredDetector& detector : row) detector.process(input, n);
        return;
    }

    // Gather, band by band (each detector's sections lie together). Unused lanes are zeroed
    // and compute zeros.
    const size_t bands = row.size();
    for (size_t j = 0; j < bands; ++j) {
        const std::vector<CFxRbjFilter>& sections = row[j].sections;
        for (int s = 0; s < kSections; ++s) {
            const CFxRbjFilter& f = sections[static_cast<size_t>(s)];
            SectionLanes& sec = lanes.section[s];
            sec.b0[j] = f.b0; sec.b1[j] = f.b1; sec.b2[j] = f.b2; sec.a1[j] = f.a1; sec.a2[j] = f.a2;
            sec.y1[j] = f.y1; sec.y2[j] = f.y2; sec.x1[j] = f.x1; sec.x2[j] = f.x2;
        }
    }
    if (bands < static_cast<size_t>(kMaxLanes))
        for (SectionLanes& sec : lanes.section)
            for (float* member : {sec.b0, sec.b1, sec.b2, sec.a1, sec.a2, sec.y1, sec.y2, sec.x1, sec.x2})
                std::fill(member + bands, member + kMaxLanes, 0.0f);

    proc(lanes, input, n, blockLength, blockSums.data(), lastOutputs);

    // Scatter the histories back, with each section's end-of-block flush, then the smoothing of
    // each RMS block and the restart of a detector left without a finite state: the steps and
    // order of FilteredDetector::process.
    for (size_t j = 0; j < bands; ++j) {
        FilteredDetector& detector = row[j];
        bool finite = true;
        for (int s = 0; s < kSections; ++s) {
            const SectionLanes& sec = lanes.section[s];
            CFxRbjFilter& f = detector.sections[static_cast<size_t>(s)];
            f.x1 = sec.x1[j];
            f.x2 = sec.x2[j];
            // Each section's end-of-block flush; x1 and x2 are never flushed.
            f.y1 = std::fabs(sec.y1[j]) < 1e-20f ? 0.0f : sec.y1[j];
            f.y2 = std::fabs(sec.y2[j]) < 1e-20f ? 0.0f : sec.y2[j];
            finite = finite && isFinite(f.x1) && isFinite(f.x2) && isFinite(f.y1) && isFinite(f.y2);
        }
        const float attackCoef = detector.attackBlockCoef;
        const float releaseCoef = detector.releaseBlockCoef;
        for (uint32_t b = 0; b < blocks; ++b) {
            const uint32_t m = b + 1 < blocks ? blockLength : n - b * blockLength;
            detector.smoothBlock(blockSums[static_cast<size_t>(b) * kMaxLanes + j], m, attackCoef, releaseCoef);
        }
        if (!finite || !isFinite(detector.level)) detector.restartIfNotFinite();
    }
}

}  // namespace lumetra
