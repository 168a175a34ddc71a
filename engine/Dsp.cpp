#include "engine/Dsp.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/WDM/DeviceChoice.h"
#include "SND/WDM/WdmErrors.h"
#include "engine/NoiseMixer.h"
#include "engine/OutputLimiter.h"

#include <algorithm>

namespace sonari {

namespace {

constexpr const char* kSource = "engine/Dsp";
constexpr int32_t kMaxRatio = 64; // the resampler's largest ratio
constexpr int32_t kMaxRate = TDsp::kProcessingRate * kMaxRatio;

// The lowest rate 12000 * 2^k that is not below the device's lowest rate.
int32_t FirstRate(int32_t minRate) {
    int32_t rate = TDsp::kProcessingRate;
    while (rate < minRate && rate < kMaxRate)
        rate *= 2;
    return rate;
}

// One device buffer carries exactly one block at the processing rate.
int32_t BufferFrames(int32_t rate) {
    const int64_t product = int64_t{TDsp::kBlockSize} * rate;
    return static_cast<int32_t>((product + TDsp::kProcessingRate / 2) / TDsp::kProcessingRate);
}

void Configure(TDeviceSettings& device, int32_t index, const TDeviceCaps& caps, int32_t rate) {
    device.Index = index;
    device.Channels = std::min(2, caps.MaxChannels);
    device.BitsPerSample = caps.MaxBits;
    device.SamplingRate = rate;
    device.SamplesPerBuf = BufferFrames(rate);
}

} // namespace

bool IsProcessingRate(int64_t samplesPerSec) {
    for (int64_t rate = TDsp::kProcessingRate; rate <= kMaxRate; rate *= 2)
        if (rate == samplesPerSec)
            return true;
    return false;
}

TDsp::TDsp(TWdmAudio& audio, TSynchronizer& synchronizer, IDspView& view,
           const TDeviceSelection& selection, TSoundFolders folders)
    : audio_(audio), view_(view), selection_(selection), folders_(std::move(folders)),
      wdm_(audio, synchronizer), analysis_(view), generated_(kBlockSize), fileBlock_(kBlockSize) {
    equalizer_.SetDataBlockSize(kBlockSize);
    equalizer_.SetAnalysisOn(false);
    wdm_.OnData = [this](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        WdmData(in, out);
    };
    wdm_.OnDataError = [this](const std::string& message) { view_.Error(message); };
    wdm_.OnStreamEnded = [this](const std::string& reason) { view_.StreamEnded(reason); };
    Publish();
}

TDsp::~TDsp() { Stop(); }

void TDsp::Stop() noexcept {
    // Each step on its own, so a failing stop still completes the file.
    try {
        wdm_.Stop();
    } catch (...) {
    }
    try {
        if (file_.IsOpen())
            file_.Close();
    } catch (...) {
    }
    analysis_.Reset();
}

bool TDsp::DevicesValid() const {
    const int32_t count = audio_.DeviceCount();
    return selection_.InputDeviceIndex >= 0 && selection_.InputDeviceIndex < count &&
           selection_.OutputDeviceIndex >= 0 && selection_.OutputDeviceIndex < count;
}

TDeviceCaps TDsp::CheckedCaps(int32_t deviceIndex, bool isRender) const {
    if (deviceIndex < 0 || deviceIndex >= audio_.DeviceCount()) {
        // A saved device that is gone is named; another device never stands in for it.
        const std::string missing = MissingDeviceMessage(audio_, selection_, isRender);
        if (!missing.empty())
            throw Exception(missing);
        RaiseWdmErrorFmt(wdmInvalidDevice, deviceIndex);
    }
    const TDeviceCaps caps = audio_.GetCaps(deviceIndex, isRender);
    if (!caps.Found)
        RaiseWdmError(isRender ? wdmNoOutputPin : wdmNoInputPin);
    return caps;
}

// Starts the stream, doubling the rate (and the buffer) while the device refuses and the
// highest rate allows; the last refusal goes to the caller. The chain is ready before each
// attempt, since blocks may follow the start at once.
void TDsp::StartStream(TDeviceSettings* input, TDeviceSettings* output, int32_t maxRate) {
    maxRate = std::min(maxRate, kMaxRate);
    for (;;) {
        PrepareRun(input ? input->SamplingRate : 0, output ? output->SamplingRate : 0);
        try {
            wdm_.Start();
            return;
        } catch (const EWdmAudioError&) {
            const int32_t rate = (input ? input : output)->SamplingRate;
            if (int64_t{rate} * 2 > maxRate)
                throw;
            for (TDeviceSettings* device : {input, output}) {
                if (!device)
                    continue;
                device->SamplingRate = rate * 2;
                device->SamplesPerBuf *= 2;
            }
        }
    }
}

void TDsp::StartInput() {
    const TDeviceCaps caps = CheckedCaps(selection_.InputDeviceIndex, false);
    wdm_.SetDirections(ddCapture);
    Configure(wdm_.InputDevice(), selection_.InputDeviceIndex, caps, FirstRate(caps.MinRate));
    SetAnalysisOn(true);
    StartStream(&wdm_.InputDevice(), nullptr, caps.MaxRate);
}

void TDsp::StartOutput() {
    const TDeviceCaps caps = CheckedCaps(selection_.OutputDeviceIndex, true);
    wdm_.SetDirections(ddRender);
    Configure(wdm_.OutputDevice(), selection_.OutputDeviceIndex, caps, FirstRate(caps.MinRate));
    SetAnalysisOn(true);
    StartStream(nullptr, &wdm_.OutputDevice(), caps.MaxRate);
}

void TDsp::StartDuplex() {
    const TDeviceCaps inCaps = CheckedCaps(selection_.InputDeviceIndex, false);
    const TDeviceCaps outCaps = CheckedCaps(selection_.OutputDeviceIndex, true);
    wdm_.SetDirections(ddBoth);
    const int32_t rate = FirstRate(std::max(inCaps.MinRate, outCaps.MinRate));
    Configure(wdm_.InputDevice(), selection_.InputDeviceIndex, inCaps, rate);
    Configure(wdm_.OutputDevice(), selection_.OutputDeviceIndex, outCaps, rate);
    // Hidden in the tray: no displays to feed, the signal chain itself is the same.
    SetAnalysisOn(displaysVisible_);
    StartStream(&wdm_.InputDevice(), &wdm_.OutputDevice(),
                std::min(inCaps.MaxRate, outCaps.MaxRate));
}

void TDsp::PrepareRun(int32_t inputRate, int32_t outputRate) {
    Assert(mode_ >= dmAdjustGain && mode_ <= dmProcess, kSource);
    TChainLayout layout;
    layout.BlockSize = kBlockSize;
    layout.LiveInput = IsLiveMode(mode_);
    layout.InputRate = layout.LiveInput ? inputRate : kProcessingRate;
    layout.OutputRate = IsOutputMode(mode_) ? outputRate : 0;
    layout.MixNoise = mode_ == dmPlay || mode_ == dmPlayToFile;
    // The playback volume in step 4, the output gain while processing.
    if (layout.OutputRate != 0)
        ApplyInterpolatorGain(mode_ == dmProcess ? outputGainDb_ : playbackGainDb_);
    chain_.Prepare(layout, parameters_);
    blockCount_ = 0;
}

// ---- parameters ----------------------------------------------------------------------------

void TDsp::Publish() {
    TChainParameters& p = parameters_;
    p.SoftwareGain = softwareGainOn_
                         ? static_cast<float>(DbToGain(static_cast<long double>(softwareGainDb_)))
                         : 1.0f;
    p.OutputGainDb = interpolatorGainDb_;
    p.Noise = addNoise_ ? (qrnSelected_ ? &qrn_ : &qrm_) : nullptr;
    p.SignalWeight = SignalWeight(noiseSnrDb_);
    p.Equalizer = equalizer_.Parameters();
    chain_.Publish(p);
}

void TDsp::EditEqualizer(const std::function<void(TMicEqualizer&)>& edit) {
    edit(equalizer_);
    Publish();
}

void TDsp::SetSoftwareGain(bool on, int32_t gainDb) {
    softwareGainOn_ = on;
    softwareGainDb_ = gainDb;
    Publish();
}

void TDsp::SetPlaybackGainDb(float gainDb) {
    playbackGainDb_ = gainDb;
    if (mode_ == dmPlay || mode_ == dmPlayToFile)
        ApplyInterpolatorGain(gainDb);
}

void TDsp::SetOutputGainDb(float gainDb) {
    outputGainDb_ = gainDb;
    if (mode_ == dmProcess)
        ApplyInterpolatorGain(gainDb);
}

// A gain whose linear value is no finite number is refused, as the interpolator would.
void TDsp::ApplyInterpolatorGain(float gainDb) {
    if (!std::isfinite(static_cast<float>(DbToGain(gainDb))))
        throw Exception("Invalid gain: " + std::to_string(gainDb) + " dB");
    interpolatorGainDb_ = gainDb;
    Publish();
}

void TDsp::SetNoise(bool add, bool qrn) {
    addNoise_ = add;
    qrnSelected_ = qrn;
    Publish();
}

void TDsp::SetNoiseSnrDb(float snrDb) {
    noiseSnrDb_ = snrDb;
    Publish();
}

void TDsp::SetAnalysisOn(bool on) {
    equalizer_.SetAnalysisOn(on);
    Publish();
}

// ---- one block -----------------------------------------------------------------------------

void TDsp::CheckBlock(const TDataBufferF& inBuffer, const TDataBufferF& outBuffer) const {
    Assert(mode_ >= dmAdjustGain && mode_ <= dmProcess, kSource);
    if (IsLiveMode(mode_))
        Assert(!inBuffer.empty() && inBuffer[0].size() == static_cast<size_t>(chain_.InputFrames()),
               kSource);
    if (IsOutputMode(mode_)) {
        const auto frames = static_cast<size_t>(chain_.OutputFrames());
        Assert(!outBuffer.empty() && outBuffer[0].size() == frames, kSource);
        Assert(outBuffer.size() < 2 || outBuffer[1].size() == frames, kSource);
    }
}

void TDsp::WdmData(TDataBufferF& inBuffer, TDataBufferF& outBuffer) {
    CheckBlock(inBuffer, outBuffer);
    TSingleArray& output = IsOutputMode(mode_) ? outBuffer[0] : noOutput_;
    chain_.Process(InputBlock(inBuffer), output);
    if (mode_ == dmRecord)
        WriteFileBlock(chain_.Filtered());
    Measure();
    if (IsOutputMode(mode_))
        Render(outBuffer);
    if (mode_ == dmPlayToFile) {
        std::copy(chain_.Mixed().begin(), chain_.Mixed().end(), fileBlock_.begin());
        ReportOverload(LimitOutput(fileBlock_));
        WriteFileBlock(fileBlock_);
    }
    ++blockCount_;
}

// Channel 0 of a live input, or the playback block.
const TSingleArray& TDsp::InputBlock(const TDataBufferF& inBuffer) {
    if (IsLiveMode(mode_))
        return inBuffer[0];
    playback_.Fill(generated_, chain_.Position(), toneMode_, voice_);
    return generated_;
}

void TDsp::Measure() {
    const TMicEqualizer& equalizer = chain_.Equalizer();
    std::optional<TNoiseReference> noise;
    if (addNoise_)
        noise = TNoiseReference{noiseSnrDb_, noisePeak_[qrnSelected_ ? 1 : 0]};
    const TAnalysisTaps taps{chain_.Input(),         chain_.Filtered(),
                             chain_.Processed(),     equalizer.SampleEnvelope(),
                             equalizer.SampleGain(), equalizer.Envelope()};
    analysis_.Add(taps, mode_, blockCount_, chain_.Parameters().Equalizer.AnalysisOn, noise);
}

// The chain filled channel 0; the same samples go to the second channel, further ones are left
// alone.
void TDsp::Render(TDataBufferF& outBuffer) {
    ReportOverload(chain_.Overloaded());
    if (outBuffer.size() > 1)
        std::copy(outBuffer[0].begin(), outBuffer[0].end(), outBuffer[1].begin());
}

void TDsp::ReportOverload(bool overloaded) {
    overloadCount_ += overloaded;
    view_.OverloadChanged(overloaded);
}

} // namespace sonari
