#include "engine/LevelMeters.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/Rounding.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sonari {

namespace {

constexpr int kLastBin = THistograms::kBins - 1;

// Bin k holds the levels that round to k dB below 2^31: 20 log10(x 2^-31 + 1e-99) in
// [-k - 0.5, -k + 0.5). Its lower edge, as an amplitude, is the threshold below which a level
// falls into bin k + 1; ascending, so the bin is the number of thresholds above x.
std::array<long double, kLastBin> BinThresholds() {
    std::array<long double, kLastBin> thresholds{};
    for (int k = 0; k < kLastBin; ++k) {
        const long double db = -(kLastBin - 1 - k) - 0.5L;
        thresholds[k] = (DbToGain(db) - kLevelGuard) * 0x1p31L;
    }
    return thresholds;
}

// -round(20 log10(x 2^-31 + 1e-99)) limited to 0..80, without a logarithm per sample.
int32_t LevelBin(long double x) {
    static const std::array<long double, kLastBin> thresholds = BinThresholds();
    if (std::isnan(x))
        return kLastBin;
    const auto above = thresholds.end() - std::upper_bound(thresholds.begin(), thresholds.end(), x);
    return static_cast<int32_t>(above);
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
    for (size_t i = 0; i < sampleEnvelope.size(); ++i) {
        const long double envelope = sampleEnvelope[i];
        ++inWork_[LevelBin(envelope)];
        ++outWork_[LevelBin(envelope * sampleGain[i])];
    }
    // the finished pair becomes the result; the next block starts from zero
    in_.swap(inWork_);
    out_.swap(outWork_);
    inWork_.assign(kBins, 0);
    outWork_.assign(kBins, 0);
    return true;
}

} // namespace sonari
