#include "engine/Dsp.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/WDM/DeviceChoice.h"
#include "SND/WDM/WdmErrors.h"
#include "engine/NoiseMixer.h"
#include "engine/OutputLimiter.h"

#include <algorithm>
#include <limits>

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
int32_t BufferFrames(int32_t rate, int32_t blockSize) {
    const int64_t product = int64_t{blockSize} * rate;
    return static_cast<int32_t>((product + TDsp::kProcessingRate / 2) / TDsp::kProcessingRate);
}

void Configure(TDeviceSettings& device, int32_t index, const TDeviceCaps& caps, int32_t rate,
               int32_t blockSize) {
    device.Index = index;
    device.Channels = std::min(2, caps.MaxChannels);
    device.BitsPerSample = caps.MaxBits;
    device.SamplingRate = rate;
    device.SamplesPerBuf = BufferFrames(rate, blockSize);
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
      wdm_(audio, synchronizer), analysis_(view), generated_(kBlockSize), fileBlock_(kBlockSize),
      reports_(kQueuedReports, TBlockReport{}), wake_(synchronizer, [this] { DeliverReports(); }) {
    equalizer_.SetDataBlockSize(kBlockSize);
    equalizer_.SetAnalysisOn(false);
    // The chain runs where the blocks arrive; a busy window cannot stop the audio.
    wdm_.SetDataThread(dtStreaming);
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
    // What the ended run left is not shown any more.
    reports_.Clear();
    wake_.Cancel();
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
    Configure(wdm_.InputDevice(), selection_.InputDeviceIndex, caps, FirstRate(caps.MinRate),
              RunBlockSize());
    SetAnalysisOn(true);
    StartStream(&wdm_.InputDevice(), nullptr, caps.MaxRate);
}

void TDsp::StartOutput() {
    const TDeviceCaps caps = CheckedCaps(selection_.OutputDeviceIndex, true);
    wdm_.SetDirections(ddRender);
    Configure(wdm_.OutputDevice(), selection_.OutputDeviceIndex, caps, FirstRate(caps.MinRate),
              RunBlockSize());
    SetAnalysisOn(true);
    StartStream(nullptr, &wdm_.OutputDevice(), caps.MaxRate);
}

void TDsp::StartDuplex() {
    const TDeviceCaps inCaps = CheckedCaps(selection_.InputDeviceIndex, false);
    const TDeviceCaps outCaps = CheckedCaps(selection_.OutputDeviceIndex, true);
    wdm_.SetDirections(ddBoth);
    const int32_t rate = FirstRate(std::max(inCaps.MinRate, outCaps.MinRate));
    Configure(wdm_.InputDevice(), selection_.InputDeviceIndex, inCaps, rate, RunBlockSize());
    Configure(wdm_.OutputDevice(), selection_.OutputDeviceIndex, outCaps, rate, RunBlockSize());
    // Hidden in the tray: no displays to feed, the signal chain itself is the same.
    SetAnalysisOn(displaysVisible_);
    StartStream(&wdm_.InputDevice(), &wdm_.OutputDevice(),
                std::min(inCaps.MaxRate, outCaps.MaxRate));
}

// Short blocks serve the live path only: the files and the playback keep whole blocks.
int32_t TDsp::RunBlockSize() const {
    return mode_ == dmProcess && latencyMode_ == lmLow ? kLowLatencyBlockSize : kBlockSize;
}

void TDsp::PrepareRun(int32_t inputRate, int32_t outputRate) {
    Assert(mode_ >= dmAdjustGain && mode_ <= dmProcess, kSource);
    TChainLayout layout;
    layout.BlockSize = RunBlockSize();
    runBlockSize_ = layout.BlockSize;
    parameters_.Equalizer = RunEqualizerParameters();
    layout.LiveInput = IsLiveMode(mode_);
    layout.InputRate = layout.LiveInput ? inputRate : kProcessingRate;
    layout.OutputRate = IsOutputMode(mode_) ? outputRate : 0;
    layout.MixNoise = mode_ == dmPlay || mode_ == dmPlayToFile;
    // The playback volume in step 4, the output gain while processing.
    if (layout.OutputRate != 0)
        ApplyInterpolatorGain(mode_ == dmProcess ? outputGainDb_ : playbackGainDb_);
    chain_.Prepare(layout, parameters_);
    generated_.assign(static_cast<size_t>(layout.BlockSize), 0.0f);
    recording_ = mode_ == dmRecord || mode_ == dmPlayToFile;
    if (recording_)
        file_.Arm();
    accumulator_.Start();
    blockCount_ = 0;
    droppedReports_ = 0;
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
    p.Equalizer = RunEqualizerParameters();
    chain_.Publish(p);
}

// The edited equalizer's parameters for the run's block size. Only the spectra depend on it:
// they come from a mirror that follows the bands and cut-offs, everything else is the edited
// equalizer's own.
const TEqualizerParameters& TDsp::RunEqualizerParameters() {
    if (runBlockSize_ == kBlockSize)
        return equalizer_.Parameters();
    TMicEqualizer& mirror = shortEqualizer_;
    const TMicEqualizer& edited = equalizer_;
    if (mirror.DataBlockSize() != runBlockSize_)
        mirror.SetDataBlockSize(runBlockSize_);
    if (mirror.Bands() != edited.Bands())
        mirror.SetBands(edited.Bands());
    if (mirror.CutoffLo() != edited.CutoffLo() || mirror.CutoffHi() != edited.CutoffHi()) {
        mirror.SetCutoffLo(edited.CutoffLo()); // drags the high edge along where it must
        mirror.SetCutoffHi(edited.CutoffHi());
    }
    shortParameters_ = edited.Parameters();
    shortParameters_.FiltSpec = mirror.Parameters().FiltSpec;
    shortParameters_.TotalSpec = mirror.Parameters().TotalSpec;
    return shortParameters_;
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
    TBlockReport& report = accumulator_.Report();
    CollectFileBlock(report);
    accumulator_.Add(chain_);
    if (IsOutputMode(mode_))
        Render(outBuffer, report);
    if (accumulator_.Complete())
        FinishReport();
}

// Channel 0 of a live input, or the playback block.
const TSingleArray& TDsp::InputBlock(const TDataBufferF& inBuffer) {
    if (IsLiveMode(mode_))
        return inBuffer[0];
    playback_.Fill(generated_, chain_.Position(), toneMode_.load(std::memory_order_relaxed),
                   voice_);
    return generated_;
}

// The chain filled channel 0; the same samples go to the second channel, further ones are left
// alone.
void TDsp::Render(TDataBufferF& outBuffer, TBlockReport& report) {
    const bool overloaded = chain_.Overloaded();
    overloadCount_.fetch_add(overloaded, std::memory_order_relaxed);
    report.Rendered = true;
    report.DeviceOverload = report.DeviceOverload || overloaded;
    if (outBuffer.size() > 1)
        std::copy(outBuffer[0].begin(), outBuffer[0].end(), outBuffer[1].begin());
}

// Mode 3 records the filtered microphone, mode 5 the limited 12 kHz output. Both run on whole
// blocks.
void TDsp::CollectFileBlock(TBlockReport& report) {
    if (mode_ != dmRecord && mode_ != dmPlayToFile)
        return;
    Assert(chain_.Layout().BlockSize == kBlockSize, kSource);
    const TSingleArray& source = mode_ == dmRecord ? chain_.Filtered() : chain_.Mixed();
    std::copy(source.begin(), source.end(), fileBlock_.begin());
    if (mode_ == dmPlayToFile) {
        report.FileOverload = LimitOutput(fileBlock_);
        overloadCount_.fetch_add(report.FileOverload, std::memory_order_relaxed);
    }
    report.Recorded = recording_;
    if (recording_)
        report.Progress = file_.Append(fileBlock_);
}

// A report the main thread has no room for is dropped: the audio never waits for the window.
void TDsp::FinishReport() {
    if (reports_.TryPush(accumulator_.Report()))
        wake_.Notify();
    else
        droppedReports_.fetch_add(1, std::memory_order_relaxed);
    blockCount_.fetch_add(1, std::memory_order_release);
    accumulator_.Next();
}

// ---- the main thread's side ----------------------------------------------------------------

bool TDsp::DeliverReports() {
    bool delivered = false;
    while (const TBlockReport* report = reports_.Front()) {
        // Taken even when the view throws, so one bad report is not shown forever.
        struct TPop {
            TSpscRing<TBlockReport>& ring;
            ~TPop() { ring.Pop(); }
        } pop{reports_};
        delivered = true;
        Deliver(*report);
    }
    if (!writeErrorShown_) {
        if (const std::string error = file_.WriteError(); !error.empty()) {
            writeErrorShown_ = true;
            view_.Error(error);
        }
    }
    return delivered;
}

// In the order the window saw them when the chain ran in its own thread.
void TDsp::Deliver(const TBlockReport& report) {
    if (mode_ == dmRecord)
        ReportRecording(report);
    std::optional<TNoiseReference> noise;
    if (addNoise_)
        noise = TNoiseReference{noiseSnrDb_, noisePeak_[qrnSelected_ ? 1 : 0]};
    static const TSingleArray kNoEnvelope;
    const TAnalysisTaps taps{
        report.Input,      report.Filtered,
        report.Processed,  report.HasEnvelope ? report.SampleEnvelope : kNoEnvelope,
        report.SampleGain, report.Envelope};
    analysis_.Add(taps, mode_, report.BlockCount, report.Measure, noise);
    if (report.Rendered)
        view_.OverloadChanged(report.DeviceOverload);
    if (mode_ == dmPlayToFile) {
        view_.OverloadChanged(report.FileOverload);
        ReportRecording(report);
    }
}

void TDsp::ReportRecording(const TBlockReport& report) {
    if (!report.Recorded)
        return;
    if (report.Progress.Complete)
        view_.RecordingComplete();
    view_.RecordingProgress(report.Progress.Fraction);
}

double TDsp::LatencyEstimateMs() const {
    const std::optional<TDeviceDelays> delays = wdm_.DeviceDelays();
    if (mode_ != dmProcess || !wdm_.Running() || !delays)
        return std::numeric_limits<double>::quiet_NaN();
    const TDeviceSettings& input = wdm_.InputDevice();
    const double frames = static_cast<double>(input.SamplesPerBuf) + delays->CaptureFrames +
                          delays->RenderFrames + chain_.LatencyWith(equalizer_.Delay());
    return frames * 1000.0 / input.SamplingRate;
}

} // namespace sonari
