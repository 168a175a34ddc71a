#include "SND/Fft.h"

#include "SND/Exceptions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace sonari {
namespace {

using LongVec = std::vector<long double>;

std::vector<float> RandomFloats(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& x : v)
        x = dist(rng);
    return v;
}

// cos and sin of 2 pi m/n for every m < n, so the direct transforms below stay O(n^2) cheap.
struct TUnitCircle {
    LongVec cos, sin;
    explicit TUnitCircle(int n) : cos(n), sin(n) {
        for (int m = 0; m < n; ++m) {
            const long double angle = 2.0L * std::numbers::pi_v<long double> * m / n;
            cos[m] = std::cos(angle);
            sin[m] = std::sin(angle);
        }
    }
    static int Index(int j, int k, int n) { return static_cast<int>((int64_t{j} * k) % n); }
};

// Direct complex DFT of (re, im) pairs with kernel e^{sign 2 pi i jk/N}.
LongVec DirectComplexDft(const std::vector<float>& a, int sign) {
    const int points = static_cast<int>(a.size()) / 2;
    const TUnitCircle unit(points);
    LongVec out(a.size(), 0.0L);
    for (int k = 0; k < points; ++k) {
        long double re = 0, im = 0;
        for (int j = 0; j < points; ++j) {
            const int m = TUnitCircle::Index(j, k, points);
            const long double s = sign * unit.sin[m];
            re += a[2 * j] * unit.cos[m] - a[2 * j + 1] * s;
            im += a[2 * j] * s + a[2 * j + 1] * unit.cos[m];
        }
        out[2 * k] = re;
        out[2 * k + 1] = im;
    }
    return out;
}

// Direct forward real transform in the packed layout.
LongVec DirectRealForward(const std::vector<float>& a) {
    const int n = static_cast<int>(a.size());
    const TUnitCircle unit(n);
    LongVec out(n, 0.0L);
    for (int k = 0; k <= n / 2; ++k) {
        long double re = 0, im = 0;
        for (int j = 0; j < n; ++j) {
            const int m = TUnitCircle::Index(j, k, n);
            re += a[j] * unit.cos[m];
            im += a[j] * unit.sin[m];
        }
        if (k == 0)
            out[0] = re;
        else if (k == n / 2)
            out[1] = re;
        else {
            out[2 * k] = re;
            out[2 * k + 1] = im;
        }
    }
    return out;
}

// The documented inverse: a[k] = (R0 + R[n/2] cos(pi k))/2 + sum (R[j] cos + I[j] sin).
LongVec DirectRealInverse(const std::vector<float>& a) {
    const int n = static_cast<int>(a.size());
    const TUnitCircle unit(n);
    LongVec out(n, 0.0L);
    for (int k = 0; k < n; ++k) {
        long double x = (a[0] + a[1] * (k % 2 == 0 ? 1.0L : -1.0L)) / 2;
        for (int j = 1; j < n / 2; ++j) {
            const int m = TUnitCircle::Index(j, k, n);
            x += a[2 * j] * unit.cos[m] + a[2 * j + 1] * unit.sin[m];
        }
        out[k] = x;
    }
    return out;
}

// Root-mean-square error of a result relative to the reference's r.m.s. value.
double RelativeError(const std::vector<float>& got, const LongVec& want) {
    long double err = 0, ref = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        err += (got[i] - want[i]) * (got[i] - want[i]);
        ref += want[i] * want[i];
    }
    return static_cast<double>(std::sqrt(err / ref));
}

class FftSize : public ::testing::TestWithParam<int> {
protected:
    TFftWork work;
};

// float arithmetic over log2(n) passes: a few ulps of the r.m.s. value, far below the O(1)
// error of a wrong twiddle, sign or permutation.
constexpr double kTolerance = 1e-6;

TEST_P(FftSize, RealForwardMatchesDirectTransform) {
    const int n = GetParam();
    std::vector<float> a = RandomFloats(n, 1);
    const LongVec want = DirectRealForward(a);
    work.Rdft(n, 1, a.data());
    EXPECT_LT(RelativeError(a, want), kTolerance);
}

TEST_P(FftSize, RealInverseMatchesDirectTransform) {
    const int n = GetParam();
    std::vector<float> a = RandomFloats(n, 2);
    const LongVec want = DirectRealInverse(a);
    work.Rdft(n, -1, a.data());
    EXPECT_LT(RelativeError(a, want), kTolerance);
}

TEST_P(FftSize, ComplexTransformsMatchDirectTransformInBothDirections) {
    const int n = GetParam();
    for (int sign : {+1, -1}) {
        std::vector<float> a = RandomFloats(n, 3 + sign);
        const LongVec want = DirectComplexDft(a, sign);
        work.Cdft(n, sign, a.data());
        EXPECT_LT(RelativeError(a, want), kTolerance) << "isgn " << sign;
    }
}

TEST_P(FftSize, ForwardThenInverseScalesByHalfTheSizeOrThePointCount) {
    const int n = GetParam();
    const std::vector<float> x = RandomFloats(n, 5);
    std::vector<float> real = x, complex = x;
    work.Rdft(n, 1, real.data());
    work.Rdft(n, -1, real.data());
    work.Cdft(n, 1, complex.data());
    work.Cdft(n, -1, complex.data());
    for (int i = 0; i < n; ++i) {
        ASSERT_NEAR(real[i], x[i] * (n / 2), 1e-5 * n) << "rdft at " << i;
        ASSERT_NEAR(complex[i], x[i] * (n / 2), 1e-5 * n) << "cdft at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, FftSize,
                         ::testing::Values(4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192));

TEST(RealFft, UnitImpulseGivesAFlatRealSpectrum) {
    TFftWork work;
    std::vector<float> a(64, 0.0f);
    a[0] = 1.0f;
    work.Rdft(64, 1, a.data());
    EXPECT_EQ(a[0], 1.0f);
    EXPECT_EQ(a[1], 1.0f);
    for (int k = 1; k < 32; ++k) {
        EXPECT_FLOAT_EQ(a[2 * k], 1.0f);
        EXPECT_EQ(a[2 * k + 1], 0.0f);
    }
}

TEST(RealFft, SineLandsOnThePositiveImaginaryPart) {
    const int n = 256, bin = 10;
    TFftWork work;
    std::vector<float> c(n), s(n);
    for (int j = 0; j < n; ++j) {
        c[j] = static_cast<float>(std::cos(2 * std::numbers::pi * bin * j / n));
        s[j] = static_cast<float>(std::sin(2 * std::numbers::pi * bin * j / n));
    }
    work.Rdft(n, 1, c.data());
    work.Rdft(n, 1, s.data());
    EXPECT_NEAR(c[2 * bin], n / 2.0, 1e-3);
    EXPECT_NEAR(c[2 * bin + 1], 0.0, 1e-3);
    EXPECT_NEAR(s[2 * bin], 0.0, 1e-3);
    EXPECT_NEAR(s[2 * bin + 1], n / 2.0, 1e-3);
}

TEST(FftTables, AreBuiltOnFirstUseWithTheDocumentedSizes) {
    TFftWork work;
    std::vector<float> a = RandomFloats(2048, 6);
    work.Rdft(2048, 1, a.data());
    EXPECT_EQ(work.ip[0], 512);
    EXPECT_EQ(work.ip[1], 512);
    const float* c = work.w.data() + work.ip[0];
    EXPECT_FLOAT_EQ(c[0], static_cast<float>(std::cos(std::numbers::pi / 4)));
    EXPECT_FLOAT_EQ(c[256], c[0] / 2);
    EXPECT_NEAR(c[100], 0.5 * std::cos(100 * std::numbers::pi / 1024), 1e-7);
    EXPECT_NEAR(c[512 - 100], 0.5 * std::sin(100 * std::numbers::pi / 1024), 1e-7);
}

TEST(FftTables, ASmallerTransformReusesTheTablesAndGivesTheSameResult) {
    TFftWork shared, fresh;
    std::vector<float> big = RandomFloats(8192, 7);
    shared.Rdft(8192, 1, big.data());
    const int32_t nw = shared.ip[0], nc = shared.ip[1];

    std::vector<float> a = RandomFloats(512, 8);
    std::vector<float> b = a;
    shared.Rdft(512, 1, a.data());
    fresh.Rdft(512, 1, b.data());
    EXPECT_EQ(shared.ip[0], nw);
    EXPECT_EQ(shared.ip[1], nc);
    for (int i = 0; i < 512; ++i)
        ASSERT_NEAR(a[i], b[i], 1e-4) << i;
}

TEST(FftTables, AGrowingComplexTransformKeepsTheRealTransformCorrect) {
    // The cosine table sits behind the twiddle table: a larger complex transform must not
    // leave the real transform reading a stale or overwritten table.
    TFftWork shared, fresh;
    std::vector<float> a = RandomFloats(1024, 9);
    std::vector<float> b = a, c = a;
    shared.Rdft(1024, 1, a.data());
    std::vector<float> big = RandomFloats(16384, 10);
    shared.Cdft(16384, 1, big.data());
    EXPECT_EQ(shared.ip[0], 4096);
    EXPECT_EQ(shared.ip[1], 256);
    shared.Rdft(1024, 1, b.data());
    fresh.Rdft(1024, 1, c.data());
    for (int i = 0; i < 1024; ++i)
        ASSERT_NEAR(b[i], c[i], 1e-4) << i;
}

TEST(FftTables, SizesOutsideThePowersOfTwoThatFitAreRejected) {
    TFftWork work;
    std::vector<float> a(2 * kFftMaxSize, 0.0f);
    for (int n : {0, 2, 6, 1000, 2 * kFftMaxSize}) {
        EXPECT_THROW(work.Rdft(n, 1, a.data()), EAssertionFailed) << n;
        EXPECT_THROW(work.Cdft(n, 1, a.data()), EAssertionFailed) << n;
    }
    EXPECT_EQ(work.ip[0], 0);
    EXPECT_NO_THROW(work.Rdft(kFftMaxSize, 1, a.data()));
    EXPECT_NO_THROW(work.Cdft(kFftMaxSize, 1, a.data()));
}

} // namespace
} // namespace sonari
