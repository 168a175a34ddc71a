#include "engine/LevelMeters.h"

#include "SND/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sonari {

namespace {

constexpr long double kFullScale = 2147483647.0L;

// Histogram bin of an envelope: -round(level in dB below 2^31), limited to 0..80.
int32_t LevelBin(long double envelope) {
    const long double db = 20 * std::log10(envelope * 0x1p-31L + 1e-99L);
    if (std::isnan(db))
        return THistograms::kBins - 1;
    return std::clamp(-RoundToInt(db), 0, THistograms::kBins - 1);
}

} // namespace

float ToDbfs(long double x) { return static_cast<float>(20 * std::log10(x / kFullScale + 1e-99L)); }

int32_t RoundToInt(long double x) {
    if (std::isnan(x))
        return 0;
    constexpr long double lo = std::numeric_limits<int32_t>::min();
    constexpr long double hi = std::numeric_limits<int32_t>::max();
    // nearbyint rounds half to even in the default rounding mode
    return static_cast<int32_t>(std::clamp(std::nearbyint(x), lo, hi));
}

std::string DbfsCaption(int32_t db) { return std::to_string(db) + " dBFS"; }

std::string DbCaption(int32_t db) { return std::to_string(db) + " dB"; }

TInputBar InputBarGeometry(float inMin, float inMax, int32_t clientWidth) {
    const int32_t half = clientWidth / 2;
    // -1..+1 is full scale
    const float mn = static_cast<float>(inMin / kFullScale);
    const float mx = static_cast<float>(inMax / kFullScale);
    TInputBar bar;
    bar.Left = half + RoundToInt(static_cast<long double>(half) * mn);
    bar.Width = RoundToInt((static_cast<long double>(mx) - mn) * half) + 2;
    bar.Red = mn < -0.8f || mx > 0.8f;
    return bar;
}

std::optional<TInputBar> TInputMeter::Update(const TSingleArray& block, int32_t blockCount,
                                             int32_t clientWidth) {
    for (float x : block) {
        if (x < InMin)
            InMin = x;
        if (x > InMax)
            InMax = x;
    }
    if (blockCount % 5 != 0)
        return std::nullopt;
    const TInputBar bar = InputBarGeometry(InMin, InMax, clientWidth);
    InMin = 2147483648.0f;
    InMax = -2147483648.0f;
    return bar;
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
    f.Rms = RoundToInt(f.RmsDbfs);
    f.Peak = RoundToInt(f.PeakDbfs);
    f.PeakFactor = RoundToInt(static_cast<long double>(f.PeakDbfs) - f.RmsDbfs);
    if (noise)
        f.PepSnr =
            RoundToInt(static_cast<long double>(noise->SnrDb) + f.PeakDbfs - ToDbfs(noise->Peak));
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
