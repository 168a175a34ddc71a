#include "engine/FileProcessor.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/WavFile.h"
#include "engine/Dsp.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace sonari {

namespace {

// Running level figures of the samples written.
class TLevelSum {
public:
    void Add(const TSingleArray& samples, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const long double x = samples[i];
            sumSquares_ += x * x;
            peak_ = std::max(peak_, std::fabs(x));
        }
        frames_ += static_cast<int64_t>(count);
    }
    void Fill(TProcessSummary& summary) const {
        const long double meanSquare = frames_ > 0 ? sumSquares_ / frames_ : 0.0L;
        summary.Frames = frames_;
        summary.RmsDbfs = Dbfs(std::sqrt(meanSquare));
        summary.PeakDbfs = Dbfs(peak_);
    }

private:
    long double sumSquares_ = 0;
    long double peak_ = 0;
    int64_t frames_ = 0;
};

// The file's errors do not always name it.
[[noreturn]] void RaiseNamed(const std::string& name, const std::exception& e) {
    const std::string message = e.what();
    if (message.find(name) != std::string::npos)
        throw Exception(message);
    throw Exception(name + ": " + message);
}

void OpenInput(TKelWavFile& wav, const std::string& name) {
    try {
        wav.SetFileName(name);
        wav.OpenRead();
    } catch (const std::exception& e) {
        RaiseNamed(name, e);
    }
    if (!IsProcessingRate(wav.SamplesPerSec()))
        throw Exception(UnsupportedRateMessage(name, wav.SamplesPerSec()));
}

void OpenOutput(TKelWavFile& wav, const std::string& name, uint32_t rate, bool floatOutput) {
    wav.SetFileName(name);
    wav.SetChannelCount(1);
    wav.SetSamplesPerSec(rate);
    wav.SetBytesPerSample(floatOutput ? 4 : 2);
    wav.SetFloatFmt(floatOutput);
    wav.OpenWrite();
}

// Channel 0 of `frames` into `block`, on the chain's scale, padded with silence.
void TakeChannel0(const TDataBufferF& frames, bool isFloat, TSingleArray& block) {
    std::fill(block.begin(), block.end(), 0.0f);
    if (frames.empty())
        return;
    const size_t count = std::min(frames[0].size(), block.size());
    const float scale = isFloat ? kFullScale : 1.0f;
    for (size_t i = 0; i < count; ++i)
        block[i] = frames[0][i] * scale;
}

// Writing the output over the input would destroy it before it is read.
void CheckDistinct(const std::string& inName, const std::string& outName) {
    std::error_code error;
    if (std::filesystem::equivalent(inName, outName, error))
        throw Exception("The output file " + outName + " is the input file");
}

// A temporary file beside the target that replaces it on Commit and is removed otherwise.
class TPartFile {
public:
    explicit TPartFile(const std::string& target) : target_(target), name_(target + ".part") {}
    ~TPartFile() {
        if (!committed_) {
            std::error_code ignored;
            std::filesystem::remove(name_, ignored);
        }
    }
    const std::string& Name() const { return name_; }
    void Commit() {
        std::error_code error;
        std::filesystem::rename(name_, target_, error);
        if (error)
            throw Exception("Unable to write " + target_ + ": " + error.message());
        committed_ = true;
    }

private:
    std::string target_;
    std::string name_;
    bool committed_ = false;
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

TProcessSummary TFileProcessor::Run(const std::string& inName, const std::string& outName,
                                    bool floatOutput) {
    TKelWavFile input;
    OpenInput(input, inName);
    CheckDistinct(inName, outName);
    // Written beside the target and renamed at the end, so a failed run never costs the
    // previous output file.
    TPartFile part(outName);
    TKelWavFile output;
    OpenOutput(output, part.Name(), input.SamplesPerSec(), floatOutput);
    TProcessSummary summary = Process(input, output, floatOutput);
    output.Close();
    part.Commit();
    return summary;
}

TProcessSummary TFileProcessor::Process(TKelWavFile& input, TKelWavFile& output, bool floatOutput) {
    const auto rate = static_cast<int32_t>(input.SamplesPerSec());
    TChainParameters parameters;
    parameters.OutputGainDb = outputGainDb_;
    parameters.Equalizer = equalizer_.Parameters();
    chain_.Prepare({rate, rate, true, false, TDsp::kBlockSize}, parameters);
    const auto blockFrames = static_cast<size_t>(chain_.InputFrames());
    TSingleArray inBlock(blockFrames), outBlock(blockFrames);
    TDataBufferF written(1);
    TLevelSum levels;
    TProcessSummary summary;
    envelope_.Reset();
    int32_t blockCount = 0;
    for (uint32_t left = input.SampleCount(); left > 0; ++blockCount) {
        const auto count = static_cast<uint32_t>(std::min<size_t>(left, blockFrames));
        TakeChannel0(input.Read(count), input.FloatFmt(), inBlock);
        chain_.Process(inBlock, outBlock);
        summary.LimitedBlocks += chain_.Overloaded();
        Measure(blockCount);
        levels.Add(outBlock, count);
        written[0].assign(outBlock.begin(), outBlock.begin() + count);
        if (floatOutput)
            for (float& x : written[0])
                x *= kInverseFullScale;
        output.Write(written);
        left -= count;
    }
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
