#pragma once

#include "SND/LogFreq.h"
#include "SND/MicEqual.h"
#include "SND/Resampl.h"
#include "SND/WDM/DeviceList.h"
#include "SND/WDM/WdmStream.h"
#include "SND/WavFile.h"
#include "engine/DcBlocker.h"
#include "engine/DspView.h"
#include "engine/LevelMeters.h"
#include "engine/SliderScales.h"
#include "engine/SoundPaths.h"
#include "engine/TestTones.h"

#include <array>
#include <cstdint>
#include <string>

namespace sonari {

// The engine's modes; stored and compared as numbers.
enum TDspMode : uint8_t {
    dmStop = 0,          // no stream
    dmSelectDevices = 1, // no stream (the sound card dialog)
    dmAdjustGain = 2,    // capture: input meter and displays
    dmRecord = 3,        // capture: as 2, and each block goes to Voice.wav
    dmPlay = 4,          // render: voice loop or test tone through the processor
    dmPlayToFile = 5,    // render: as 4, and each 12 kHz block goes to Out.wav
    dmProcess = 6,       // capture and render: microphone through the processor to the output
};

// A device rate the chain can run at: 12000 * 2^k, k = 0..6.
bool IsProcessingRate(int64_t samplesPerSec);

// The processing engine: owns the stream, the resamplers, the equalizer with its dynamics
// stage, the analysers and the sound files, and turns every device buffer into one block of
// 1024 samples at 12000 samples/s through the chain (WdmData). The main window selects the
// mode (Stop, set Mode, one start operation) and is reached through IDspView. Main thread
// only; the block handler runs there too, so nothing here takes a lock.
class TDsp {
public:
    static constexpr int32_t kBlockSize = 1024;       // samples per block at the processing rate
    static constexpr int32_t kProcessingRate = 12000; // samples per second between the resamplers
    static constexpr int32_t kFileLimit = 60000;      // samples of a 5-second file
    static constexpr int32_t kInSpectrumBlocks = 59;  // averaging limit of the input spectrum

    TDsp(TWdmAudio& audio, TSynchronizer& synchronizer, IDspView& view,
         const TDeviceSelection& selection, TSoundFolders folders);
    ~TDsp();
    TDsp(const TDsp&) = delete;
    TDsp& operator=(const TDsp&) = delete;

    // --- mode changes (the main window: Stop, set Mode, one start operation) ---
    // Stops the stream and completes an open file; never raises. Leaves Mode alone.
    void Stop() noexcept;
    // Both device indices lie inside the device list.
    bool DevicesValid() const;
    // Capture for mode 2, render for mode 4, both for mode 6: picks a rate 12000 * 2^k from the
    // devices' ranges, retries at twice the rate while the device refuses (EWdmAudioError)
    // and its highest rate allows, then prepares the chain. Failures propagate.
    void StartInput();
    void StartOutput();
    void StartDuplex();
    // Mode 3: asks for confirmation (Cancel: asks the window to stop, starts nothing), then
    // starts capture and opens Voice.wav. Mode 5: starts render and opens Out.wav.
    void StartRecording();
    void StartOutputToFile();

    // --- chain preparation without a device (what a start does after the device runs) ---
    // Rates must satisfy IsProcessingRate.
    void PrepareInput(int32_t inputRate);
    void PrepareOutput(int32_t outputRate);
    void PrepareDuplex(int32_t inputRate, int32_t outputRate);

    // One block: InBuffer [channels][Ratio * 1024] from the capture device (modes 2, 3, 6),
    // OutBuffer [channels][Ratio * 1024] filled for the render device (modes 4, 5, 6; only
    // channels 0 and 1 are written). Wrong lengths or a mode without a stream are assertion
    // failures (engine/Dsp) raised before anything changes.
    void WdmData(TDataBufferF& inBuffer, TDataBufferF& outBuffer);

    // --- sound files ---
    // Reads the noise recordings and the voice; NoiseSnrDb := 10.
    void LoadSoundFiles();
    // Reads Voice.wav into Voice; a missing or unreadable file is ignored.
    void LoadVoice();
    // A voice recording is held for step 4.
    bool HasVoice() const { return !Voice.empty(); }
    // Appends one block to the open file, fading the first block of a run in and every block
    // from the 5-second mark on out (each reporting RecordingComplete); updates the progress.
    void WriteWavBlock(const TSingleArray& block);
    // Mixes the selected noise recording into the block while "Add Noise" is checked.
    void AddNoise(TSingleArray& block);

    // --- fields ---
    std::string WavDir; // the user's sound folder, set by LoadSoundFiles
    TSingleArray Voice; // 12000 samples/s, DC removed
    TSingleArray Qrm, Qrn;
    TDspMode Mode = dmStop;
    int32_t BlockCount = 0;           // blocks since the last start
    int64_t OverloadCount = 0;        // limiter calls that clipped, since creation
    TInputMeter InputMeter;           // InMin, InMax
    std::array<float, 2> NoisePeak{}; // peak of Qrm (0) and Qrn (1), 32-bit scale
    float NoiseSnrDb = 10.0f;         // noise mixer ratio, dB
    TLogFreqSpectrum InSpectrum;      // before the equalizer, averaged except in mode 2
    TLogFreqSpectrum OutSpectrum;     // after the dynamics stage, never averaged
    TOutputStats OutputStats;         // OutSumSq, OutPeak
    THistograms Histograms;           // envelope before and after the gain stage
    int32_t ToneMode = 0;             // playback source: 0 voice, 1 tone, 2 two tones, else silence
    TMicEqualizer Equalizer;
    TDcBlocker DcBlocker;              // DcPrevIn, DcPrevOut: never reset
    TOctaveResampler OctaveResampler1; // input decimator
    TOctaveResampler OctaveResampler2; // output interpolator with the output gain
    TWdmAudioStream Wdm;
    TKelWavFile Wav; // the file being written in modes 3 and 5

private:
    void StartStream(TDeviceSettings* input, TDeviceSettings* output, int32_t maxRate);
    TDeviceCaps CheckedCaps(int32_t deviceIndex, bool isRender) const;
    void OpenForWriting(const std::string& name, uint32_t bytesPerSample);
    void CheckBlock(const TDataBufferF& inBuffer, const TDataBufferF& outBuffer) const;
    TSingleArray& GetInputBlock(TDataBufferF& inBuffer);
    void GenerateBlock();
    void UpdateDisplays(const TSingleArray& data);
    void Render(const TSingleArray& data, TDataBufferF& outBuffer);
    void Limit(TSingleArray& samples);
    void PrepareEqualizer(bool analysisOn, bool equalizerOn, bool clipperOn);

    TWdmAudio& audio_;
    IDspView& view_;
    const TDeviceSelection& selection_;
    TSoundFolders folders_;
    TTestTones tones_;
    TSingleArray block_;     // the decimated or generated input block
    TSingleArray data_;      // the block after the DC blocker: the chain's working block
    TDataBufferF fileBlock_; // one-channel copy for the file being written
};

} // namespace sonari
