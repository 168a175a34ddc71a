#include "engine/Dsp.h"

#include "SND/Exceptions.h"
#include "SND/WDM/WdmErrors.h"

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

void PrepareResampler(TOctaveResampler& resampler, int32_t rate) {
    Assert(IsProcessingRate(rate), kSource);
    resampler.SetRatio(rate / TDsp::kProcessingRate);
    resampler.SetBigBlockSize(resampler.Ratio() * TDsp::kBlockSize);
    resampler.Reset();
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
    : WavDir(folders.UserWavDir), Wdm(audio, synchronizer), audio_(audio), view_(view),
      selection_(selection), folders_(std::move(folders)), block_(kBlockSize), data_(kBlockSize),
      fileBlock_(1, TSingleArray(kBlockSize)) {
    Equalizer.SetDataBlockSize(kBlockSize);
    Equalizer.AnalysisOn = false;
    InSpectrum.MaxCount = kInSpectrumBlocks;
    Wav.SetChannelCount(1);
    Wav.SetSamplesPerSec(6000);
    Wdm.OnData = [this](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        WdmData(in, out);
    };
    Wdm.OnDataError = [this](const std::string& message) { view_.ShowError(message); };
    Wdm.OnStreamEnded = [this](const std::string& reason) { view_.StreamEnded(reason); };
}

TDsp::~TDsp() { Stop(); }

void TDsp::Stop() noexcept {
    // Each step on its own, so a failing stop still completes the file.
    try {
        Wdm.Stop();
    } catch (...) {
    }
    try {
        if (Wav.IsOpen())
            Wav.Close();
    } catch (...) {
    }
    InSpectrum.Reset();
    OutSpectrum.Reset();
}

bool TDsp::DevicesValid() const {
    const int32_t count = audio_.DeviceCount();
    return selection_.InputDeviceIndex >= 0 && selection_.InputDeviceIndex < count &&
           selection_.OutputDeviceIndex >= 0 && selection_.OutputDeviceIndex < count;
}

TDeviceCaps TDsp::CheckedCaps(int32_t deviceIndex, bool isRender) const {
    if (deviceIndex < 0 || deviceIndex >= audio_.DeviceCount())
        RaiseWdmErrorFmt(wdmInvalidDevice, deviceIndex);
    const TDeviceCaps caps = audio_.GetCaps(deviceIndex, isRender);
    if (!caps.Found)
        RaiseWdmError(isRender ? wdmNoOutputPin : wdmNoInputPin);
    return caps;
}

// Starts the stream, doubling the rate (and the buffer) while the device refuses and the
// highest rate allows; the last refusal goes to the caller.
void TDsp::StartStream(TDeviceSettings* input, TDeviceSettings* output, int32_t maxRate) {
    maxRate = std::min(maxRate, kMaxRate);
    for (;;) {
        try {
            Wdm.Start();
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
    Wdm.SetDirections(ddCapture);
    Configure(Wdm.InputDevice(), selection_.InputDeviceIndex, caps, FirstRate(caps.MinRate));
    StartStream(&Wdm.InputDevice(), nullptr, caps.MaxRate);
    PrepareInput(Wdm.InputDevice().SamplingRate);
}

void TDsp::StartOutput() {
    const TDeviceCaps caps = CheckedCaps(selection_.OutputDeviceIndex, true);
    Wdm.SetDirections(ddRender);
    Configure(Wdm.OutputDevice(), selection_.OutputDeviceIndex, caps, FirstRate(caps.MinRate));
    StartStream(nullptr, &Wdm.OutputDevice(), caps.MaxRate);
    PrepareOutput(Wdm.OutputDevice().SamplingRate);
}

void TDsp::StartDuplex() {
    const TDeviceCaps inCaps = CheckedCaps(selection_.InputDeviceIndex, false);
    const TDeviceCaps outCaps = CheckedCaps(selection_.OutputDeviceIndex, true);
    Wdm.SetDirections(ddBoth);
    const int32_t rate = FirstRate(std::max(inCaps.MinRate, outCaps.MinRate));
    Configure(Wdm.InputDevice(), selection_.InputDeviceIndex, inCaps, rate);
    Configure(Wdm.OutputDevice(), selection_.OutputDeviceIndex, outCaps, rate);
    StartStream(&Wdm.InputDevice(), &Wdm.OutputDevice(), std::min(inCaps.MaxRate, outCaps.MaxRate));
    PrepareDuplex(Wdm.InputDevice().SamplingRate, Wdm.OutputDevice().SamplingRate);
}

void TDsp::PrepareEqualizer(bool analysisOn, bool equalizerOn, bool clipperOn) {
    Equalizer.AnalysisOn = analysisOn;
    Equalizer.EqualizerEnabled = equalizerOn;
    Equalizer.ClipperEnabled = clipperOn;
    Equalizer.Prepare();
}

void TDsp::PrepareInput(int32_t inputRate) {
    PrepareResampler(OctaveResampler1, inputRate);
    PrepareEqualizer(true, false, false);
    BlockCount = 0;
}

void TDsp::PrepareOutput(int32_t outputRate) {
    PrepareResampler(OctaveResampler2, outputRate);
    OctaveResampler2.SetGainDb(PlaybackGainDb(view_.PlaybackVolume()));
    PrepareEqualizer(true, view_.EqualizerChecked(), view_.ClipperChecked());
    BlockCount = 0;
}

void TDsp::PrepareDuplex(int32_t inputRate, int32_t outputRate) {
    // Hidden in the tray: no displays to feed, the signal chain itself is the same.
    PrepareEqualizer(view_.WindowVisible(), view_.EqualizerChecked(), view_.ClipperChecked());
    PrepareResampler(OctaveResampler1, inputRate);
    PrepareResampler(OctaveResampler2, outputRate);
    OctaveResampler2.SetGainDb(OutputGainDb(view_.OutputGain()));
    BlockCount = 0;
}

} // namespace sonari
