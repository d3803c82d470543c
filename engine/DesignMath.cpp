#include "engine/DesignMath.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace lumetra {
namespace {

// A double-double: the value hi + lo, with |lo| at most half an ulp of hi. Built from additions,
// subtractions, multiplications and divisions of doubles only (no fused multiply-add: the build
// forbids contraction), so every step gives the same bits on every system.
struct Dd {
    double hi;
    double lo;
};

Dd quickTwoSum(double a, double b) {  // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

Dd twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

Dd split(double a) {  // Dekker: two halves of 26 bits
    const double t = 134217729.0 * a;
    const double hi = t - (t - a);
    return {hi, a - hi};
}

Dd twoProd(double a, double b) {
    const double p = a * b;
    const Dd x = split(a);
    const Dd y = split(b);
    return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

Dd add(Dd a, Dd b) {
    Dd s = twoSum(a.hi, b.hi);
    const Dd t = twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = quickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return quickTwoSum(s.hi, s.lo);
}

Dd neg(Dd a) { return {-a.hi, -a.lo}; }

Dd mul(Dd a, Dd b) {
    Dd p = twoProd(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return quickTwoSum(p.hi, p.lo);
}

Dd mul(Dd a, double b) {
    Dd p = twoProd(a.hi, b);
    p.lo += a.lo * b;
    return quickTwoSum(p.hi, p.lo);
}

Dd div(Dd a, double b) {
    const double q1 = a.hi / b;
    const Dd p = twoProd(q1, b);
    const double r = ((a.hi - p.hi) - p.lo + a.lo) / b;
    return quickTwoSum(q1, r);
}

// pi/2 and ln 2 in three parts each (the first two a double-double, the third the rest).
constexpr double kHalfPi[3] = {1.570796326794896558e+00, 6.123233995736766036e-17, -1.497384904859169833e-33};
constexpr double kLn2[3] = {6.931471805599452862e-01, 2.319046813846299558e-17, 5.707708438416212066e-34};

// x - k * c for a three-part constant c: the products of the first two parts exact.
Dd reduce(Dd x, double k, const double (&c)[3]) {
    Dd r = add(x, neg(twoProd(k, c[0])));
    r = add(r, neg(twoProd(k, c[1])));
    return add(r, Dd{-(k * c[2]), 0.0});
}

// Taylor series, |r| <= pi/4; start is r for sin, 1 for cos.
Dd sinCosSeries(Dd r, bool sine) {
    const Dd r2 = mul(r, r);
    Dd term = sine ? r : Dd{1.0, 0.0};
    Dd sum = term;
    for (int n = sine ? 2 : 1; n < 60; n += 2) {
        term = neg(div(mul(term, r2), static_cast<double>(n) * static_cast<double>(n + 1)));
        sum = add(sum, term);
        if (std::fabs(term.hi) < 1e-36) break;
    }
    return sum;
}

Dd sinCos(double x, bool sine) {
    const double k = std::nearbyint(x / kHalfPi[0]);
    const Dd r = reduce(Dd{x, 0.0}, k, kHalfPi);
    const auto quadrant = static_cast<int>(static_cast<int64_t>(k) & 3);
    // sin(r + q pi/2) and cos(r + q pi/2) by quadrant.
    const bool useSine = sine ? (quadrant % 2 == 0) : (quadrant % 2 == 1);
    const bool negative = sine ? (quadrant >= 2) : (quadrant == 1 || quadrant == 2);
    const Dd value = sinCosSeries(r, useSine);
    return negative ? neg(value) : value;
}

// e^x for |x| < 1000: x = k ln 2 + r, e^r from its series at r / 2^10, squared ten times.
Dd expDd(Dd x) {
    const double k = std::nearbyint(x.hi / kLn2[0]);
    const Dd r = div(reduce(x, k, kLn2), 1024.0);
    Dd term{1.0, 0.0};
    Dd sum = term;
    for (int n = 1; n < 30; ++n) {
        term = div(mul(term, r), static_cast<double>(n));
        sum = add(sum, term);
        if (std::fabs(term.hi) < 1e-40) break;
    }
    for (int i = 0; i < 10; ++i) sum = mul(sum, sum);
    const int scale = static_cast<int>(k);
    return {std::ldexp(sum.hi, scale), std::ldexp(sum.lo, scale)};
}

// ln x for a finite x > 0: a first guess from the mantissa's series, then Newton steps
// y <- y + x e^-y - 1, each doubling the correct bits.
Dd logDd(double x) {
    int exponent = 0;
    const double m = std::frexp(x, &exponent);  // x = m 2^exponent, 0.5 <= m < 1
    const double t = (m - 1.0) / (m + 1.0);
    const double t2 = t * t;
    double series = 0.0;
    for (int n = 19; n >= 1; n -= 2) series = series * t2 + 1.0 / n;
    Dd y{2.0 * t * series + exponent * kLn2[0], 0.0};
    for (int step = 0; step < 3; ++step) {
        const Dd scaled = mul(expDd(neg(y)), x);
        y = add(y, add(scaled, Dd{-1.0, 0.0}));
    }
    return y;
}

// hi + lo rounded once to float: only an exact tie in hi can round the other way.
float narrow(Dd v) {
    const auto f = static_cast<float>(v.hi);
    const double diff = v.hi - static_cast<double>(f);
    if (diff == 0.0 || v.lo == 0.0 || !std::isfinite(f)) return f;
    const float other = std::nextafter(f, diff > 0.0 ? std::numeric_limits<float>::infinity()
                                                     : -std::numeric_limits<float>::infinity());
    const double middle = (static_cast<double>(f) + static_cast<double>(other)) * 0.5;
    if (v.hi == middle && (v.lo > 0.0) == (other > f)) return other;
    return f;
}

}  // namespace

double designSin(double x) {
    if (!std::isfinite(x) || x == 0.0) return std::sin(x);  // NaN, infinities and signed zeros
    return sinCos(x, true).hi;
}

double designCos(double x) {
    if (!std::isfinite(x)) return std::cos(x);
    return sinCos(x, false).hi;
}

float designCos(float x) {
    if (!std::isfinite(x)) return std::cos(x);
    return narrow(sinCos(x, false));
}

float designExp(float x) {
    if (!std::isfinite(x) || x == 0.0f) return std::exp(x);
    if (x > 100.0f) return std::numeric_limits<float>::infinity();
    if (x < -110.0f) return 0.0f;
    return narrow(expDd(Dd{x, 0.0}));
}

float designPow(float base, float exponent) {
    if (!(base > 0.0f) || !std::isfinite(base) || !std::isfinite(exponent) || base == 1.0f || exponent == 0.0f)
        return std::pow(base, exponent);  // the special cases, exact on every library
    const Dd power = mul(logDd(base), static_cast<double>(exponent));
    if (power.hi > 100.0) return std::numeric_limits<float>::infinity();
    if (power.hi < -110.0) return 0.0f;
    return narrow(expDd(power));
}

}  // namespace lumetra
