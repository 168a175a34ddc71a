#include "engine/ProcessingChain.h"

#include "SND/Exceptions.h"
#include "engine/NoiseMixer.h"
#include "engine/OutputLimiter.h"

#include <algorithm>
#include <string>

namespace sonari {

namespace {

constexpr const char* kSource = "engine/ProcessingChain";
constexpr int32_t kMaxRatio = 64;

// Ratio of a device rate to the processing rate: 1, 2, 4 ... 64.
int32_t RatioOf(int32_t rate, const char* what) {
    for (int32_t ratio = 1; ratio <= kMaxRatio; ratio *= 2)
        if (rate == TProcessingChain::kRate * ratio)
            return ratio;
    throw ERangeError(std::string("Processing chain ") + what +
                      " rate out of range: " + std::to_string(rate));
}

void PrepareResampler(TOctaveResampler& resampler, int32_t ratio, int32_t blockSize) {
    resampler.SetRatio(ratio);
    resampler.SetBigBlockSize(ratio * blockSize);
    resampler.Reset();
}

// The decimator's delay in input samples: its interpolation twin's less the ratio's phase.
double DecimationDelay(const TOctaveResampler& decimator) {
    return decimator.Ratio() == 1 ? 0.0 : decimator.Delay() - (decimator.Ratio() - 1);
}

} // namespace

TProcessingChain::TProcessingChain() { Prepare(TChainLayout{}, TChainParameters{}); }

void TProcessingChain::Prepare(const TChainLayout& layout, const TChainParameters& parameters) {
    if (layout.BlockSize < 1)
        throw ERangeError("Processing chain block size out of range: " +
                          std::to_string(layout.BlockSize));
    const int32_t inputRatio = RatioOf(layout.InputRate, "input");
    const int32_t outputRatio = layout.OutputRate == 0 ? 1 : RatioOf(layout.OutputRate, "output");
    layout_ = layout;
    output_ = layout.OutputRate != 0;
    const auto block = static_cast<size_t>(layout.BlockSize);
    PrepareResampler(decimator_, inputRatio, layout.BlockSize);
    PrepareResampler(interpolator_, outputRatio, layout.BlockSize);
    equalizer_.SetDataBlockSize(layout.BlockSize);
    equalizer_.Prepare();
    for (TSingleArray* buffer : {&input_, &filtered_, &processed_, &mixed_})
        buffer->assign(block, 0.0f);
    // Parameters without spectra (a default set) take the equalizer's own.
    TChainParameters initial = parameters;
    if (initial.Equalizer.FiltSpec.empty())
        initial.Equalizer = equalizer_.Parameters();
    mailbox_.Reset(initial);
    Apply(initial);
    overloaded_ = false;
    mixing_ = false;
    position_ = 0;
}

int32_t TProcessingChain::InputFrames() const { return decimator_.BigBlockSize(); }

int32_t TProcessingChain::OutputFrames() const {
    return output_ ? interpolator_.BigBlockSize() : 0;
}

void TProcessingChain::Publish(const TChainParameters& parameters) { mailbox_.Publish(parameters); }

void TProcessingChain::Apply(const TChainParameters& parameters) {
    applied_ = parameters;
    equalizer_.SetParameters(parameters.Equalizer);
    if (interpolator_.GainDb() != parameters.OutputGainDb)
        interpolator_.SetGainDb(parameters.OutputGainDb);
}

void TProcessingChain::Process(const TSingleArray& input, TSingleArray& output) {
    Assert(input.size() == static_cast<size_t>(InputFrames()), kSource);
    Assert(!output_ || output.size() == static_cast<size_t>(OutputFrames()), kSource);
    bool changed = false;
    const TChainParameters& latest = mailbox_.Read(changed);
    if (changed)
        Apply(latest);

    Decimate(input);
    dcBlocker_.Process(input_, filtered_);
    const TEqualizerParameters& equalizer = applied_.Equalizer;
    if (output_) {
        std::copy(filtered_.begin(), filtered_.end(), processed_.begin());
        equalizer_.Process(processed_);
    } else if (equalizer.AnalysisOn) {
        equalizer_.Analyze(filtered_);
    }
    mixing_ = layout_.MixNoise && applied_.Noise && !applied_.Noise->empty();
    if (mixing_)
        MixNoise(processed_, *applied_.Noise, position_, applied_.SignalWeight, mixed_);
    if (output_) {
        interpolator_.Interpolate(Mixed(), output);
        overloaded_ = LimitOutput(output);
    }
    position_ += layout_.BlockSize;
}

// Channel 0 at the processing rate, with the software gain of a live input.
void TProcessingChain::Decimate(const TSingleArray& input) {
    if (decimator_.Ratio() == 1)
        std::copy(input.begin(), input.end(), input_.begin());
    else
        decimator_.Decimate(input, input_);
    if (layout_.LiveInput && applied_.SoftwareGain != 1.0f)
        for (float& x : input_)
            x *= applied_.SoftwareGain;
}

double TProcessingChain::LatencyWith(int32_t equalizerDelay) const {
    const double outputRatio = output_ ? interpolator_.Ratio() : decimator_.Ratio();
    double latency = DecimationDelay(decimator_) * outputRatio / decimator_.Ratio();
    if (!output_)
        return latency;
    return latency + equalizerDelay * outputRatio + interpolator_.Delay();
}

} // namespace sonari
