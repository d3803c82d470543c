#include "engine/BankKernel.h"

#include <emmintrin.h>

#include <algorithm>
#include <new>

namespace lumetra {

namespace {

LanesProc lanesProc(KernelPath path) {
    switch (path) {
    case KernelPath::Sse2: return filterLanesSse2;
    case KernelPath::Avx2: return filterLanesAvx2;
    case KernelPath::Avx512: return filterLanesAvx512;
    case KernelPath::Plain: break;
    }
    return nullptr;
}

// All ones in the lanes whose value is not finite (exponent all ones).
inline __m128i notFinite(__m128 v) {
    const __m128i exponent = _mm_set1_epi32(0x7F800000);
    return _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(v), exponent), exponent);
}

// CFxRbjFilter's end-of-block flush: |y| < 1e-20 becomes +0.
inline __m128 flushed(__m128 y) {
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), y);
    return _mm_andnot_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(1e-20f)), y);
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

// ---- DetectorView ----

void DetectorView::setup(float attack, float release, float rate, float centre, int32_t numSections) {
    FilteredDetector detector = get();
    detector.setup(attack, release, rate, centre, numSections);
    set(detector);
}

void DetectorView::setTimes(float attack, float release) {
    const float rate = kernel->rates[lane];
    kernel->attackTimes[lane] = attack;
    kernel->releaseTimes[lane] = release;
    kernel->releaseCoefs[lane] = FilteredDetector::blockCoefficient(release, rate, kRmsBlockLength);
    kernel->attackCoefs[lane] = FilteredDetector::blockCoefficient(attack, rate, kRmsBlockLength);
    kernel->timesChanged();
}

float DetectorView::level() const { return kernel->levels[lane]; }
void DetectorView::setLevel(float value) { kernel->levels[lane] = value; }
float DetectorView::centreFrequency() const { return kernel->centres[lane]; }
float DetectorView::sampleRate() const { return kernel->rates[lane]; }
float DetectorView::attackTime() const { return kernel->attackTimes[lane]; }
float DetectorView::releaseTime() const { return kernel->releaseTimes[lane]; }
float DetectorView::attackBlockCoef() const { return kernel->attackCoefs[lane]; }
float DetectorView::releaseBlockCoef() const { return kernel->releaseCoefs[lane]; }

CFxRbjFilter DetectorView::section(int s) const {
    const SectionLanes& sec = kernel->lanes.section[s];
    CFxRbjFilter f;
    f.b0 = sec.b0[lane]; f.b1 = sec.b1[lane]; f.b2 = sec.b2[lane]; f.a1 = sec.a1[lane]; f.a2 = sec.a2[lane];
    f.y1 = sec.y1[lane]; f.y2 = sec.y2[lane]; f.x1 = sec.x1[lane]; f.x2 = sec.x2[lane];
    return f;
}

FilteredDetector DetectorView::get() const {
    FilteredDetector d;
    d.sections.resize(kSections);
    for (int s = 0; s < kSections; ++s) d.sections[static_cast<size_t>(s)] = section(s);
    d.attackTime = attackTime();
    d.releaseTime = releaseTime();
    d.attackBlockCoef = attackBlockCoef();
    d.releaseBlockCoef = releaseBlockCoef();
    d.level = level();
    d.sampleRate = sampleRate();
    d.centreFrequency = centreFrequency();
    return d;
}

void DetectorView::set(const FilteredDetector& d) {
    for (int s = 0; s < kSections; ++s) {
        const CFxRbjFilter f = static_cast<size_t>(s) < d.sections.size() ? d.sections[static_cast<size_t>(s)] : CFxRbjFilter();
        SectionLanes& sec = kernel->lanes.section[s];
        sec.b0[lane] = f.b0; sec.b1[lane] = f.b1; sec.b2[lane] = f.b2; sec.a1[lane] = f.a1; sec.a2[lane] = f.a2;
        sec.y1[lane] = f.y1; sec.y2[lane] = f.y2; sec.x1[lane] = f.x1; sec.x2[lane] = f.x2;
    }
    kernel->attackTimes[lane] = d.attackTime;
    kernel->releaseTimes[lane] = d.releaseTime;
    kernel->attackCoefs[lane] = d.attackBlockCoef;
    kernel->releaseCoefs[lane] = d.releaseBlockCoef;
    kernel->timesChanged();
    kernel->levels[lane] = d.level;
    kernel->rates[lane] = d.sampleRate;
    kernel->centres[lane] = d.centreFrequency;
}

// ---- BankKernel ----

BankKernel::BankKernel() : path(bestKernelPath()) {}

void BankKernel::setPath(KernelPath newPath) {
    path = kernelPathSupported(newPath) ? newPath : bestKernelPath();
}

void BankKernel::setBands(int count) {
    bands = std::clamp(count, 0, kMaxLanes);
    plainRow.resize(static_cast<size_t>(bands));
    for (FilteredDetector& d : plainRow) d.sections.resize(kSections);
}

void BankKernel::reserve(uint32_t maxBlock) {
    if (path != KernelPath::Plain) return;
    for (FilteredDetector& d : plainRow) d.workBuffer.reserve(maxBlock);
}

bool BankKernel::grow(uint32_t maxBlock) noexcept {
    if (path != KernelPath::Plain) return true;
    try {
        for (FilteredDetector& d : plainRow)
            if (d.workBuffer.size() < maxBlock) d.workBuffer.resize(maxBlock);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The reference: each band through its own FilteredDetector::process, loaded from and stored
// back to its lane.
void BankKernel::processPlain(const float* input, uint32_t n) {
    for (int j = 0; j < bands; ++j) {
        FilteredDetector& d = plainRow[static_cast<size_t>(j)];
        for (int s = 0; s < kSections; ++s) {
            const SectionLanes& sec = lanes.section[s];
            CFxRbjFilter& f = d.sections[static_cast<size_t>(s)];
            f.b0 = sec.b0[j]; f.b1 = sec.b1[j]; f.b2 = sec.b2[j]; f.a1 = sec.a1[j]; f.a2 = sec.a2[j];
            f.y1 = sec.y1[j]; f.y2 = sec.y2[j]; f.x1 = sec.x1[j]; f.x2 = sec.x2[j];
        }
        d.attackBlockCoef = attackCoefs[j].load();
        d.releaseBlockCoef = releaseCoefs[j].load();
        d.level = levels[j];
        d.process(input, n);
        for (int s = 0; s < kSections; ++s) {
            SectionLanes& sec = lanes.section[s];
            const CFxRbjFilter& f = d.sections[static_cast<size_t>(s)];
            sec.y1[j] = f.y1; sec.y2[j] = f.y2; sec.x1[j] = f.x1; sec.x2[j] = f.x2;
        }
        levels[j] = d.level;
    }
}

// The end of FilteredDetector::process on every lane: each section's output histories flushed,
// then a band left without a finite state restarts from silence. The lane kernels flush on their
// own; this serves an empty block and the rare restart.
void BankKernel::flushAndRestart() {
    for (int g = 0; g < kMaxLanes; g += 4) {
        __m128i bad = notFinite(_mm_load_ps(levels + g));
        for (SectionLanes& sec : lanes.section) {
            const __m128 y1 = flushed(_mm_load_ps(sec.y1 + g));
            const __m128 y2 = flushed(_mm_load_ps(sec.y2 + g));
            _mm_store_ps(sec.y1 + g, y1);
            _mm_store_ps(sec.y2 + g, y2);
            bad = _mm_or_si128(bad, _mm_or_si128(notFinite(y1), notFinite(y2)));
            bad = _mm_or_si128(bad, _mm_or_si128(notFinite(_mm_load_ps(sec.x1 + g)), notFinite(_mm_load_ps(sec.x2 + g))));
        }
        if (_mm_movemask_epi8(bad) == 0) continue;
        const __m128 keep = _mm_castsi128_ps(_mm_xor_si128(bad, _mm_set1_epi32(-1)));
        _mm_store_ps(levels + g, _mm_and_ps(keep, _mm_load_ps(levels + g)));
        for (SectionLanes& sec : lanes.section)
            for (float* history : {sec.y1, sec.y2, sec.x1, sec.x2})
                _mm_store_ps(history + g, _mm_and_ps(keep, _mm_load_ps(history + g)));
    }
}

// Audio thread.
void BankKernel::process(const float* input, uint32_t n, float* lastOutputs) {
    const LanesProc proc = lanesProc(path);
    if (proc == nullptr) {
        processPlain(input, n);
        return;
    }
    // The coefficients are read again only after a change: the acquire pairs with timesChanged's
    // release, so a new count comes with the values written before it.
    const uint32_t version = timesVersion.load(std::memory_order_acquire);
    if (version != timesSeen) {
        for (int j = 0; j < kMaxLanes; ++j) {
            times.attack[j] = attackCoefs[j];
            times.release[j] = releaseCoefs[j];
        }
        timesSeen = version;
    }
    if (n == 0 || !proc(lanes, input, n, times, levels, lastOutputs)) flushAndRestart();
}

}  // namespace lumetra
