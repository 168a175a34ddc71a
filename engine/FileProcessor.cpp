#include "engine/FileProcessor.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/WavFile.h"
#include "engine/Dsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace sonari {

namespace {

// Running level figures of the samples written: squares summed in double (where the square of a
// float is exact), four sums side by side.
class TLevelSum {
public:
    void Add(const float* samples, size_t count) {
        using TFloat4 = float __attribute__((vector_size(16)));
        using TFloat2 = float __attribute__((vector_size(8)));
        using TDouble2 = double __attribute__((vector_size(16)));
        TDouble2 low{}, high{};
        TFloat4 peaks{};
        size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            TFloat4 x;
            std::memcpy(&x, samples + i, sizeof x);
            const TDouble2 a = __builtin_convertvector(TFloat2{x[0], x[1]}, TDouble2);
            const TDouble2 b = __builtin_convertvector(TFloat2{x[2], x[3]}, TDouble2);
            low += a * a;
            high += b * b;
            const TFloat4 magnitude = x < 0 ? -x : x;
            peaks = magnitude > peaks ? magnitude : peaks;
        }
        double sum = (low[0] + low[1]) + (high[0] + high[1]);
        float peak = std::max(std::max(peaks[0], peaks[1]), std::max(peaks[2], peaks[3]));
        for (; i < count; ++i) {
            sum += static_cast<double>(samples[i]) * samples[i];
            peak = std::max(peak, std::fabs(samples[i]));
        }
        sumSquares_ += sum;
        peak_ = std::max(peak_, peak);
        frames_ += static_cast<int64_t>(count);
    }
    void Fill(TProcessSummary& summary) const {
        const double meanSquare = frames_ > 0 ? sumSquares_ / static_cast<double>(frames_) : 0.0;
        summary.Frames = frames_;
        summary.RmsDbfs = Dbfs(std::sqrt(meanSquare));
        summary.PeakDbfs = Dbfs(peak_);
    }

private:
    double sumSquares_ = 0;
    float peak_ = 0;
    int64_t frames_ = 0;
};

} // namespace

std::string UnsupportedRateMessage(const std::string& fileName, uint32_t samplesPerSec) {
    return "Unsupported sampling rate " + std::to_string(samplesPerSec) + " Hz in " + fileName +
           ": the rate must be 12000 * 2^k (12000, 24000, 48000, 96000, 192000, 384000 or "
           "768000 Hz)";
}

TFileProcessor::TFileProcessor(IDspView& view) : view_(view) {
    equalizer_.SetDataBlockSize(TDsp::kBlockSize);
}

TProcessSummary TFileProcessor::Process(ISampleReader& input, ISampleWriter& output,
                                        bool keepDelay) {
    const int32_t rate = input.Rate();
    if (!IsProcessingRate(rate))
        throw Exception(UnsupportedRateMessage("the input", static_cast<uint32_t>(rate)));
    TChainParameters parameters;
    parameters.OutputGainDb = outputGainDb_;
    parameters.Equalizer = equalizer_.Parameters();
    chain_.Prepare({rate, rate, true, false, TDsp::kBlockSize}, parameters);
    const auto blockFrames = static_cast<size_t>(chain_.InputFrames());
    TSingleArray inBlock(blockFrames), outBlock(blockFrames);
    TLevelSum levels;
    TProcessSummary summary;
    envelope_.Reset();
    // The chain's delay is a whole number of frames at every processing rate.
    auto toSkip = keepDelay ? int64_t{0} : static_cast<int64_t>(std::llround(chain_.Latency()));
    const int64_t total = input.Frames();
    int64_t written = 0;
    for (int32_t blockCount = 0; written < total; ++blockCount) {
        // after the input's end: silence that carries its last samples out
        const size_t got = input.Read(inBlock.data(), blockFrames);
        std::fill(inBlock.begin() + static_cast<ptrdiff_t>(got), inBlock.end(), 0.0f);
        chain_.Process(inBlock, outBlock);
        summary.LimitedBlocks += chain_.Overloaded();
        Measure(blockCount);
        const auto skip = static_cast<size_t>(std::min<int64_t>(toSkip, int64_t(blockFrames)));
        toSkip -= static_cast<int64_t>(skip);
        const auto take =
            static_cast<size_t>(std::min<int64_t>(int64_t(blockFrames - skip), total - written));
        levels.Add(outBlock.data() + skip, take);
        output.Write(outBlock.data() + skip, take);
        written += static_cast<int64_t>(take);
    }
    output.Close();
    summary.SamplesPerSec = rate;
    levels.Fill(summary);
    if (chain_.Parameters().Equalizer.AnalysisOn) {
        envelope_.Finish();
        summary.OvershootDb = GainToDb(
            envelope_.Peak() / static_cast<long double>(TMicEqualizer::kClipLevel) + kLevelGuard);
    }
    return summary;
}

void TFileProcessor::Measure(int32_t blockCount) {
    if (!chain_.Parameters().Equalizer.AnalysisOn)
        return;
    envelope_.Add(chain_.Processed());
    if (const auto figures = stats_.Update(chain_.Processed(), blockCount, nullptr))
        view_.OutputFiguresChanged(*figures);
}

} // namespace sonari
