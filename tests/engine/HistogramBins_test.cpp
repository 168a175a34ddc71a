#include "engine/LevelMeters.h"

#include "SND/Rounding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace sonari {
namespace {

// The bin by its definition: -round(20 log10(x 2^-31 + 1e-99)), limited to 0..80.
int32_t ReferenceBin(long double x) {
    const long double db = 20 * std::log10(x * 0x1p-31L + 1e-99L);
    if (std::isnan(db))
        return 80;
    return std::clamp(-RoundHalfEven(db), 0, 80);
}

// The histograms find their bins without logarithms: every level from above full scale to
// silence lands where the definition puts it, products of envelope and gain included.
TEST(HistogramBins, MatchTheLogarithmicDefinitionEverywhere) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> db(-100.0, 10.0), gainDb(-40.0, 30.0);
    constexpr size_t kBlock = 1024;
    TSingleArray envelope(kBlock), gain(kBlock);
    THistograms histograms;
    for (int block = 0; block < 200; ++block) {
        for (size_t i = 0; i < kBlock; ++i) {
            envelope[i] = static_cast<float>(std::pow(10.0, db(random) / 20) * 0x1p31);
            gain[i] = static_cast<float>(std::pow(10.0, gainDb(random) / 20));
        }
        // the edges of every bin, one float step either side
        if (block == 0)
            for (size_t k = 0; k < 81; ++k) {
                const float edge = static_cast<float>(std::pow(10.0L, -(k + 0.5L) / 20) * 0x1p31L);
                envelope[3 * k] = edge;
                envelope[3 * k + 1] = std::nextafter(edge, 0.0f);
                envelope[3 * k + 2] = std::nextafter(edge, 3e9f);
            }
        envelope[kBlock - 1] = 0.0f;
        envelope[kBlock - 2] = std::numeric_limits<float>::quiet_NaN();
        envelope[kBlock - 3] = std::numeric_limits<float>::infinity();
        ASSERT_TRUE(histograms.Collect(envelope, gain));
        TIntegerArray in(81, 0), out(81, 0);
        for (size_t i = 0; i < kBlock; ++i) {
            ++in[ReferenceBin(envelope[i])];
            ++out[ReferenceBin(static_cast<long double>(envelope[i]) * gain[i])];
        }
        ASSERT_EQ(histograms.InHistogram(), in) << block;
        ASSERT_EQ(histograms.OutHistogram(), out) << block;
    }
}

} // namespace
} // namespace sonari
