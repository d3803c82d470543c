// The design-time functions against the C library: glibc's double-precision functions narrowed
// to float are correctly rounded in practice, and the float versions must give exactly those.
// glibc's double sin and cos are within an ulp; they agree on almost every input. On other C
// libraries only the fixed values are checked (the fixed scenario compares the systems).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "engine/DesignMath.h"

namespace {

TEST(DesignMath, ExactValuesAndSpecialCases) {
    EXPECT_EQ(lumetra::designPow(10.0f, 3.0f), 1000.0f);
    EXPECT_EQ(lumetra::designPow(10.0f, 1.0f), 10.0f);
    EXPECT_EQ(lumetra::designPow(0.5f, 128.0f), 0x1p-128f);
    EXPECT_EQ(lumetra::designPow(0.0f, 128.0f), 0.0f);
    EXPECT_EQ(lumetra::designPow(1.0f, 128.0f), 1.0f);
    EXPECT_EQ(lumetra::designExp(0.0f), 1.0f);
    EXPECT_EQ(lumetra::designExp(-200.0f), 0.0f);
    EXPECT_EQ(lumetra::designCos(0.0f), 1.0f);
    EXPECT_EQ(lumetra::designCos(0.0), 1.0);
    EXPECT_EQ(lumetra::designSin(0.0), 0.0);
    // Near a multiple of pi the sine is the small difference, kept to the last bit: 40 pi as a
    // double lies 4.9e-15 below the true multiple.
    EXPECT_EQ(lumetra::designSin(40.0 * 3.141592653589793), -4.898587196589413e-15);
    EXPECT_TRUE(std::isnan(lumetra::designExp(NAN)));
}

#if defined(__GLIBC__)
TEST(DesignMath, AgreesWithGlibcOverTheDesignRanges) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int sineCosineDiffer = 0;
    constexpr int kInputs = 40000;
    for (int i = 0; i < kInputs; ++i) {
        const double w = unit(random) * 130.0;  // 2 pi f / rate up to 20 kHz at 1 kHz
        for (const bool sine : {true, false}) {
            const double ours = sine ? lumetra::designSin(w) : lumetra::designCos(w);
            const double theirs = sine ? std::sin(w) : std::cos(w);
            if (ours != theirs) {
                ++sineCosineDiffer;
                EXPECT_EQ(std::nextafter(theirs, ours), ours) << std::hexfloat << w;  // one ulp at most
            }
        }
        const auto x = static_cast<float>(unit(random) * 3.5);   // section quality: pi f / rate
        const auto e = static_cast<float>(-unit(random) * 10.0);  // block and response times
        const auto base = static_cast<float>(unit(random));       // 1 - c, raised to the block length
        const auto decade = static_cast<float>(1.2 + unit(random) * 3.2);  // band centres
        ASSERT_EQ(lumetra::designCos(x), static_cast<float>(std::cos(double(x)))) << std::hexfloat << x;
        ASSERT_EQ(lumetra::designExp(e), static_cast<float>(std::exp(double(e)))) << std::hexfloat << e;
        ASSERT_EQ(lumetra::designPow(base, 128.0f), static_cast<float>(std::pow(double(base), 128.0)))
            << std::hexfloat << base;
        ASSERT_EQ(lumetra::designPow(10.0f, decade), static_cast<float>(std::pow(10.0, double(decade))))
            << std::hexfloat << decade;
    }
    EXPECT_LT(sineCosineDiffer, kInputs / 100);  // about 0.15 % measured
}
#endif

}  // namespace
