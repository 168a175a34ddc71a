#include "engine/LevelMeters.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/Rounding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace sonari {

namespace {

constexpr int kLastBin = THistograms::kBins - 1;

// Bin k holds the levels that round to k dB below 2^31: 20 log10(x 2^-31 + 1e-99) in
// [-k - 0.5, -k + 0.5). Its lower edge, as an amplitude, is the threshold below which a level
// falls into bin k + 1; ascending, so the bin is the number of thresholds above x. Levels are
// floats or products of two floats, exact as doubles, so each threshold is rounded up to the
// next double: x reaches it exactly when x reaches the extended-precision one.
class TLevelBins {
public:
    TLevelBins() {
        for (int k = 0; k < kLastBin; ++k) {
            const long double db = -(kLastBin - 1 - k) - 0.5L;
            const long double t = (DbToGain(db) - kLevelGuard) * 0x1p31L;
            double up = static_cast<double>(t);
            if (up < t)
                up = std::nextafter(up, INFINITY);
            thresholds_[k] = up;
        }
        // Cells of 1/16 octave (0.38 dB) never hold more than one threshold: the count at a
        // cell's lower edge, less one where x reaches the next threshold, is the bin.
        first_ = Cell(thresholds_.front());
        const uint64_t last = Cell(thresholds_.back());
        counts_.resize(last - first_ + 1);
        for (uint64_t c = first_; c <= last; ++c) {
            const double lower = std::bit_cast<double>(c << kCellShift);
            counts_[c - first_] = static_cast<int32_t>(
                thresholds_.end() -
                std::upper_bound(thresholds_.begin(), thresholds_.end(), lower));
        }
    }

    // -round(20 log10(x 2^-31 + 1e-99)) limited to 0..80, without a logarithm.
    int32_t operator()(double x) const {
        if (!(x >= thresholds_.front())) // silence, negative, NaN
            return kLastBin;
        if (x >= thresholds_.back())
            return 0;
        const int32_t count = counts_[Cell(x) - first_];
        return count - (x >= thresholds_[kLastBin - count]);
    }

private:
    static constexpr int kCellShift = 48; // sign, exponent and four bits of the mantissa
    static uint64_t Cell(double x) { return std::bit_cast<uint64_t>(x) >> kCellShift; }

    std::array<double, kLastBin> thresholds_{};
    uint64_t first_ = 0;
    std::vector<int32_t> counts_;
};

const TLevelBins& LevelBin() {
    static const TLevelBins bins;
    return bins;
}

float ToDbfs(long double x) { return static_cast<float>(Dbfs(x)); }

} // namespace

std::optional<TInputLevels> TInputMeter::Update(const TSingleArray& block, int32_t blockCount) {
    for (float x : block) {
        if (x < InMin)
            InMin = x;
        if (x > InMax)
            InMax = x;
    }
    if (blockCount % 5 != 0)
        return std::nullopt;
    const TInputLevels levels{static_cast<float>(InMin / kDbfsReference),
                              static_cast<float>(InMax / kDbfsReference)};
    InMin = -kSmallestSample;
    InMax = kSmallestSample;
    return levels;
}

std::optional<TOutputFigures> TOutputStats::Update(const TSingleArray& block, int32_t blockCount,
                                                   const TNoiseReference* noise) {
    if (blockCount == 0) {
        OutSumSq = 0.0f;
        OutPeak = 0.0f;
    }
    for (float x : block) {
        if (std::isnan(x))
            continue;
        // rounded to a float after every addition
        OutSumSq = static_cast<float>(OutSumSq + static_cast<long double>(x) * x);
        OutPeak = std::max(OutPeak, std::fabs(x));
    }
    if (blockCount % kWindowBlocks != kWindowBlocks - 1)
        return std::nullopt;

    const long double samples = static_cast<long double>(block.size()) * kWindowBlocks;
    TOutputFigures f;
    f.PeakDbfs = ToDbfs(OutPeak);
    f.RmsDbfs = ToDbfs(std::sqrt(OutSumSq / samples));
    if (noise)
        f.PepSnrDb = static_cast<double>(static_cast<long double>(noise->SnrDb) + f.PeakDbfs -
                                         ToDbfs(noise->Peak));
    OutSumSq = 0.0f;
    OutPeak = 0.0f;
    return f;
}

bool THistograms::Collect(const TSingleArray& sampleEnvelope, const TSingleArray& sampleGain) {
    if (sampleEnvelope.empty())
        return false;
    Assert(sampleGain.size() == sampleEnvelope.size(), "engine/LevelMeters");
    const TLevelBins& bin = LevelBin();
    for (size_t i = 0; i < sampleEnvelope.size(); ++i) {
        const double envelope = sampleEnvelope[i];
        ++inWork_[bin(envelope)];
        ++outWork_[bin(envelope * sampleGain[i])];
    }
    // the finished pair becomes the result; the next block starts from zero
    in_.swap(inWork_);
    out_.swap(outWork_);
    inWork_.assign(kBins, 0);
    outWork_.assign(kBins, 0);
    return true;
}

} // namespace sonari
