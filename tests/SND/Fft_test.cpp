#include "SND/Fft.h"

#include "SND/Exceptions.h"
#include "tests/SND/SimdTesting.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <vector>

namespace sonari {
namespace {

using LongVec = std::vector<long double>;

// Direct DFT of (re, im) pairs with kernel e^{sign 2 pi i jk/N} at the given bins.
template <typename T>
LongVec DirectDftAt(const std::vector<T>& a, int sign, const std::vector<size_t>& bins) {
    const size_t points = a.size() / 2;
    LongVec cosine(points), sine(points), out;
    for (size_t m = 0; m < points; ++m) {
        cosine[m] = std::cos(2 * std::numbers::pi_v<long double> * m / points);
        sine[m] = std::sin(2 * std::numbers::pi_v<long double> * m / points);
    }
    for (size_t k : bins) {
        long double re = 0, im = 0;
        for (size_t j = 0; j < points; ++j) {
            const size_t m = j * k % points;
            const long double s = sign * sine[m];
            re += a[2 * j] * cosine[m] - a[2 * j + 1] * s;
            im += a[2 * j] * s + a[2 * j + 1] * cosine[m];
        }
        out.push_back(re);
        out.push_back(im);
    }
    return out;
}

// Root-mean-square error relative to the reference's r.m.s. value.
double RelativeError(const std::vector<float>& got, const LongVec& want) {
    long double err = 0, ref = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        err += (got[i] - want[i]) * (got[i] - want[i]);
        ref += want[i] * want[i];
    }
    return static_cast<double>(std::sqrt(err / ref));
}

// float arithmetic over log2(n) passes gives about 2e-7; a wrong twiddle, sign or permutation
// gives errors of order 1.
constexpr double kTolerance = 1e-6;

// All bins of the small transforms; beyond 64 points 48 spread over the spectrum, ends included.
// From 8192 points on the last passes make their twiddles as they go instead of from the tables.
TEST(Fft, BothTransformsMatchTheDirectDftAndInvertScaledByHalfTheSize) {
    TFftWork work;
    for (int n : {4, 8, 64, 1024, 8192, 32768, kFftMaxSize}) {
        SCOPED_TRACE(n);
        const size_t points = size_t(n) / 2;
        std::vector<size_t> bins(std::min<size_t>(points, 64));
        std::iota(bins.begin(), bins.end(), size_t{0});
        if (points > 64)
            bins = {0, 1, 2, points / 4 - 1, points / 2 - 1, points / 2 + 1, points - 1};
        std::mt19937 rng(static_cast<unsigned>(n));
        while (bins.size() < std::min<size_t>(points, 48))
            bins.push_back(rng() % points);
        for (int sign : {+1, -1}) {
            const std::vector<float> x = test::Noise(size_t(n), 0.5f, 20 + sign);
            std::vector<float> c = x;
            work.Cdft(n, sign, c.data());
            std::vector<float> got;
            for (size_t k : bins)
                got.insert(got.end(), {c[2 * k], c[2 * k + 1]});
            EXPECT_LT(RelativeError(got, DirectDftAt(x, sign, bins)), kTolerance)
                << "cdft " << sign;
        }
        // rdft forward: bins k < n/2 of the DFT of (x, 0), with the Nyquist bin in a[1].
        const std::vector<float> x = test::Noise(size_t(n), 0.5f, 30);
        std::vector<float> r = x, interleaved(2 * size_t(n), 0.0f);
        for (int j = 0; j < n; ++j)
            interleaved[2 * size_t(j)] = x[size_t(j)];
        work.Rdft(n, 1, r.data());
        std::vector<size_t> realBins = {0, size_t(n) / 2};
        for (size_t k : bins)
            if (k < size_t(n) / 2 && k > 0)
                realBins.push_back(k);
        const LongVec want = DirectDftAt(interleaved, +1, realBins);
        std::vector<float> got = {r[0], 0.0f, r[1], 0.0f};
        for (size_t k : std::vector<size_t>(realBins.begin() + 2, realBins.end()))
            got.insert(got.end(), {r[2 * k], r[2 * k + 1]});
        EXPECT_LT(RelativeError(got, want), kTolerance) << "rdft";
        // with the forward transforms right, the round trips check the inverse ones
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
}

// Each transform also runs on tables a larger one grew after a smaller real one: the real pass
// reads the twiddles with a stride, and the cosine table behind them has moved (a complex
// transform grows them at odd powers of two, a real one at even ones).
TEST(FftPaths, EveryInstructionSetGivesTheSameBitsAtEverySizeFreshOrOnGrownTables) {
    for (int n = 4; n <= kFftMaxSize; n *= 2) {
        const std::vector<float> x = test::Noise(size_t(n), 0.5f, unsigned(n));
        test::ExpectSameBitsOnEveryPath(
            [&](TSimdPath) {
                TFftWork fresh, grown;
                std::vector<float> big(2 * size_t(n)), all;
                grown.Rdft(n, 1, big.data());
                const int larger = 2 * n <= kFftMaxSize ? 2 * n : n;
                n & 0xAAAAAAAA ? grown.Cdft(larger, 1, big.data())
                               : grown.Rdft(larger, 1, big.data());
                for (TFftWork* work : {&fresh, &grown})
                    for (int sign : {+1, -1}) {
                        std::vector<float> r = x, c = x;
                        work->Rdft(n, sign, r.data());
                        work->Cdft(n, sign, c.data());
                        all.insert(all.end(), r.begin(), r.end());
                        all.insert(all.end(), c.begin(), c.end());
                    }
                size_t differ = 0;
                for (size_t i = 0; i < all.size() / 2; ++i)
                    differ += std::fabs(all[i] - all[all.size() / 2 + i]) > 1e-7 * n;
                EXPECT_EQ(differ, 0u) << "grown against fresh tables";
                return all;
            },
            "n = " + std::to_string(n));
    }
}

TEST(FftTables, RejectSizesThatAreNoPowerOfTwoOrDoNotFit) {
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
