#pragma once

#include "SND/MicEqual.h"
#include "SND/SndTypes.h"
#include "SND/WDM/DeviceList.h"
#include "SND/WDM/WdmStream.h"
#include "engine/BlockReport.h"
#include "engine/ChainParameters.h"
#include "engine/DisplayAnalysis.h"
#include "engine/DspMode.h"
#include "engine/DspView.h"
#include "engine/MainThreadWake.h"
#include "engine/PlaybackSource.h"
#include "engine/ProcessingChain.h"
#include "engine/RecordingFile.h"
#include "engine/SoundPaths.h"
#include "engine/SpscRing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace sonari {

// A device rate the chain can run at: 12000 * 2^k, k = 0..6.
bool IsProcessingRate(int64_t samplesPerSec);

// How long the live path from microphone to transmitter is: blocks of 1024 samples at 12000
// samples/s, or short blocks with device buffers to match. The displays see 1024-sample blocks
// either way.
enum TLatencyMode : int32_t { lmNormal = 0, lmLow = 1 };

// The live session: the seven modes over the sound devices. It negotiates the device rate,
// runs the processing chain on every device buffer, records Voice.wav and Out.wav, plays the
// voice loop or a test tone, and measures for the displays. The window (or a console) changes
// the mode (Stop, SetMode, one start operation), pushes the operator's parameters through the
// setters below and receives reports through IDspView.
//
// Threads: the block handler runs in the streaming thread and never waits for the main thread;
// everything else, DeliverReports included, belongs to the main thread, which is the only one
// that ever calls the view.
class TDsp {
public:
    static constexpr int32_t kBlockSize = 1024; // samples per block at the processing rate
    static constexpr int32_t kProcessingRate = TProcessingChain::kRate;
    // Samples per block at the processing rate while processing at low latency (5.3 ms).
    static constexpr int32_t kLowLatencyBlockSize = 64;
    // Reports waiting for the main thread at most (1.4 s); more are dropped, never waited for.
    static constexpr size_t kQueuedReports = 16;

    TDsp(TWdmAudio& audio, TSynchronizer& synchronizer, IDspView& view,
         const TDeviceSelection& selection, TSoundFolders folders);
    ~TDsp();
    TDsp(const TDsp&) = delete;
    TDsp& operator=(const TDsp&) = delete;

    // --- mode changes ---
    TDspMode Mode() const { return mode_; }
    // Only between Stop and a start operation; Stop leaves the mode alone.
    void SetMode(TDspMode mode) { mode_ = mode; }
    // Stops the stream and completes an open file; never raises.
    void Stop() noexcept;
    // Both device indices lie inside the device list (a saved device that is missing has
    // none): only then can a mode start.
    bool DevicesValid() const;
    // Capture for mode 2, render for mode 4, both for mode 6: picks a rate 12000 * 2^k from the
    // devices' ranges, retries at twice the rate while the device refuses (EWdmAudioError) and
    // its highest rate allows, with the chain prepared for each attempt. Failures propagate; a
    // missing saved device raises Exception "Sound device not found: <name>".
    void StartInput();
    void StartOutput();
    void StartDuplex();
    // Mode 3: starts capture, then opens Voice.wav; mode 5: render, then Out.wav. The file is
    // opened once the device runs, so a device that fails never costs the previous file.
    void StartRecording();
    void StartOutputToFile();
    // Prepares the chain for the current mode at these device rates (0 for a side the mode
    // does not use) and restarts block counting: what a start does around the device.
    void PrepareRun(int32_t inputRate, int32_t outputRate);
    // One device buffer: InBuffer [channels][frames] from the capture device (modes 2, 3, 6),
    // OutBuffer [channels][frames] filled for the render device (modes 4, 5, 6; channels 0 and 1
    // are written). Wrong lengths or a mode without a stream are assertion failures
    // (engine/Dsp) raised before anything changes. Allocates nothing and never waits: what the
    // displays and the window get is queued for DeliverReports.
    void WdmData(TDataBufferF& inBuffer, TDataBufferF& outBuffer);
    // Main thread: hands what the block handler left (meters, spectra, statistics, histograms,
    // recording progress, overloads, file errors) to the analysers and the view, in block
    // order; true when there was any. It runs by itself through the synchronizer's queued calls
    // while a stream runs; a main loop may also call it from a timer.
    bool DeliverReports();
    // Reports dropped because the main thread did not take them in time, since the start.
    uint64_t DroppedReports() const { return droppedReports_.load(); }

    // --- latency ---
    // Applies from the next start of processing (mode 6); the other modes always use
    // 1024-sample blocks.
    TLatencyMode LatencyMode() const { return latencyMode_; }
    void SetLatencyMode(TLatencyMode mode) { latencyMode_ = mode; }
    // While processing runs: the delay from microphone to transmitter in ms as the devices
    // report theirs (one capture buffer, what the capture device still holds, what the render
    // device holds before the block) plus the chain's own; NaN before the devices reported or
    // in another mode.
    double LatencyEstimateMs() const;

    // --- the operator's parameters; each takes effect at the next block ---
    // The equalizer as edited: bands, cut-offs, dynamics and switches. What the editors draw.
    const TMicEqualizer& Equalizer() const { return equalizer_; }
    // Changes it through its setters and hands the result to the chain.
    void EditEqualizer(const std::function<void(TMicEqualizer&)>& edit);
    // "Software Gain": whole dB applied to the microphone while on.
    void SetSoftwareGain(bool on, int32_t gainDb);
    // Interpolator gain in dB for steps 4 (playback volume) and processing (output gain); each
    // applies while its mode runs and at its mode's start.
    void SetPlaybackGainDb(float gainDb);
    void SetOutputGainDb(float gainDb);
    // The gain the output interpolator runs with (the last one applied).
    float InterpolatorGainDb() const { return interpolatorGainDb_; }
    // Noise mixing in step 4: on/off, QRN (else QRM), and the signal-to-noise ratio in dB.
    void SetNoise(bool add, bool qrn);
    float NoiseSnrDb() const { return noiseSnrDb_; }
    void SetNoiseSnrDb(float snrDb);
    // Playback source of steps 4: 0 voice, 1 tone, 2 two tones, else silence.
    int32_t ToneMode() const { return toneMode_.load(); }
    void SetToneMode(int32_t toneMode) { toneMode_ = toneMode; }
    // Whether the displays are shown: processing measures only then (set at its start), and
    // the measurements stop or resume at once with SetAnalysisOn.
    void SetDisplaysVisible(bool visible) { displaysVisible_ = visible; }
    bool AnalysisOn() const { return equalizer_.AnalysisOn(); }
    void SetAnalysisOn(bool on);

    // --- sound files ---
    // Reads the noise recordings and the voice; NoiseSnrDb := 10.
    void LoadSoundFiles();
    // Reads Voice.wav into the voice; true when the file was read (a rate other than 12000
    // samples/s is reported and leaves the voice empty). A missing or unreadable file is
    // ignored: false, and the voice stays as it was. Not while a stream runs.
    bool LoadVoice();
    bool HasVoice() const { return !voice_.empty(); }
    // Both noise recordings were read: noise may be mixed.
    bool HasNoise() const { return !qrm_.empty() && !qrn_.empty(); }
    const TSingleArray& Voice() const { return voice_; }
    // The user's sound folder, where Voice.wav and Out.wav are written.
    const std::string& WavDir() const { return folders_.UserWavDir; }

    // --- state ---
    // 1024-sample blocks handled since the start.
    int32_t BlockCount() const { return blockCount_.load(); }
    // Limited blocks that had to be clipped, since creation.
    int64_t OverloadCount() const { return overloadCount_.load(); }
    const TWdmAudioStream& Stream() const { return wdm_; }
    // A stream is delivering blocks.
    bool Running() const { return wdm_.Running(); }
    const TProcessingChain& Chain() const { return chain_; }
    const TDisplayAnalysis& Analysis() const { return analysis_; }

private:
    void StartStream(TDeviceSettings* input, TDeviceSettings* output, int32_t maxRate);
    TDeviceCaps CheckedCaps(int32_t deviceIndex, bool isRender) const;
    void OpenFile(const std::string& name, uint32_t bytesPerSample);
    int32_t RunBlockSize() const;
    void CheckBlock(const TDataBufferF& inBuffer, const TDataBufferF& outBuffer) const;
    const TSingleArray& InputBlock(const TDataBufferF& inBuffer);
    void Render(TDataBufferF& outBuffer, TBlockReport& report);
    void CollectFileBlock(TBlockReport& report);
    void FinishReport();
    void Deliver(const TBlockReport& report);
    void ReportRecording(const TBlockReport& report);
    void ApplyInterpolatorGain(float gainDb);
    const TEqualizerParameters& RunEqualizerParameters();
    void Publish();

    TWdmAudio& audio_;
    IDspView& view_;
    const TDeviceSelection& selection_;
    TSoundFolders folders_;
    TWdmAudioStream wdm_;
    TProcessingChain chain_;
    TDisplayAnalysis analysis_;
    TRecordingFile file_;
    bool recording_ = false; // the run's blocks go to file_
    bool writeErrorShown_ = false;
    TPlaybackSource playback_;

    TDspMode mode_ = dmStop;
    TLatencyMode latencyMode_ = lmLow;
    std::atomic<int32_t> blockCount_{0};
    std::atomic<int64_t> overloadCount_{0};

    TMicEqualizer equalizer_;      // as edited, for 1024-sample blocks
    TMicEqualizer shortEqualizer_; // its spectra for the short blocks of a low-latency run
    TEqualizerParameters shortParameters_;
    int32_t runBlockSize_ = kBlockSize;
    TChainParameters parameters_;
    bool softwareGainOn_ = false;
    int32_t softwareGainDb_ = 0;
    float playbackGainDb_ = 0.0f;
    float outputGainDb_ = 0.0f;
    float interpolatorGainDb_ = 0.0f;
    bool addNoise_ = false;
    bool qrnSelected_ = true;
    float noiseSnrDb_ = 10.0f;
    std::atomic<int32_t> toneMode_{0};
    bool displaysVisible_ = true;

    TSingleArray voice_, qrm_, qrn_;   // 12000 samples/s, DC removed
    std::array<float, 2> noisePeak_{}; // peak of QRM (0) and QRN (1), 32-bit scale
    // The block handler's own, sized before a run.
    TSingleArray generated_;          // the playback block of modes 4 and 5
    TSingleArray noOutput_;           // the chain's output while nothing renders
    TSingleArray fileBlock_;          // the file's block being gathered (1024 samples)
    TReportAccumulator accumulator_;  // the displays' block being gathered
    TSpscRing<TBlockReport> reports_; // to the main thread
    std::atomic<uint64_t> droppedReports_{0};
    TMainThreadWake wake_; // last: its thread starts once everything above exists
};

} // namespace sonari
