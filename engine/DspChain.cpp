#include "engine/Dsp.h"

#include "SND/Exceptions.h"
#include "engine/NoiseMixer.h"
#include "engine/OutputLimiter.h"

#include <algorithm>
#include <cmath>

namespace sonari {

namespace {

constexpr const char* kSource = "engine/Dsp";

bool IsLive(TDspMode mode) { return mode == dmAdjustGain || mode == dmRecord || mode == dmProcess; }

bool IsRendering(TDspMode mode) {
    return mode == dmPlay || mode == dmPlayToFile || mode == dmProcess;
}

} // namespace

void TDsp::CheckBlock(const TDataBufferF& inBuffer, const TDataBufferF& outBuffer) const {
    Assert(Mode >= dmAdjustGain && Mode <= dmProcess, kSource);
    if (IsLive(Mode))
        Assert(!inBuffer.empty() &&
                   inBuffer[0].size() == static_cast<size_t>(OctaveResampler1.BigBlockSize()),
               kSource);
    if (IsRendering(Mode)) {
        const auto frames = static_cast<size_t>(OctaveResampler2.BigBlockSize());
        Assert(!outBuffer.empty() && outBuffer[0].size() == frames, kSource);
        Assert(outBuffer.size() < 2 || outBuffer[1].size() == frames, kSource);
    }
}

void TDsp::WdmData(TDataBufferF& inBuffer, TDataBufferF& outBuffer) {
    CheckBlock(inBuffer, outBuffer);
    TSingleArray& input = GetInputBlock(inBuffer);
    if (Mode == dmAdjustGain || Mode == dmRecord) {
        if (const auto bar = InputMeter.Update(input, BlockCount, view_.InputBarClientWidth()))
            view_.SetInputBar(*bar);
    }
    DcBlocker.Process(input, data_);
    if (Mode == dmRecord)
        WriteWavBlock(data_);
    // Averaged input spectrum everywhere but while the gain is being set.
    if (Equalizer.AnalysisOn && InSpectrum.Process(data_, Mode != dmAdjustGain))
        view_.InvalidateEqualizer();
    if (IsRendering(Mode))
        Equalizer.Process(data_);
    else if (Equalizer.AnalysisOn)
        Equalizer.Analyze(data_);
    if (Equalizer.AnalysisOn)
        UpdateDisplays(data_);
    if (Mode == dmPlay || Mode == dmPlayToFile)
        AddNoise(data_);
    if (IsRendering(Mode))
        Render(data_, outBuffer);
    if (Mode == dmPlayToFile) {
        Limit(data_);
        WriteWavBlock(data_);
    }
    ++BlockCount;
}

TSingleArray& TDsp::GetInputBlock(TDataBufferF& inBuffer) {
    if (!IsLive(Mode)) {
        GenerateBlock();
        return block_;
    }
    // At 12000 samples/s the captured channel is the block itself.
    const bool decimate = OctaveResampler1.Factor() != rf01x;
    if (decimate)
        OctaveResampler1.Decimate(inBuffer[0], block_);
    TSingleArray& block = decimate ? block_ : inBuffer[0];
    if (view_.SoftwareGainEnabled()) {
        const auto gain = static_cast<float>(
            std::pow(10.0L, static_cast<long double>(view_.SoftwareGainDb()) / 20.0L));
        for (float& x : block)
            x *= gain;
    }
    return block;
}

// The voice as a loop of whole blocks (its tail is never played), or a test tone; silence
// when there is no whole block of voice or the tone mode is unknown.
void TDsp::GenerateBlock() {
    const TSingleArray* source = nullptr;
    size_t offset = 0;
    if (ToneMode == 0) {
        const size_t wholeBlocks = Voice.size() / kBlockSize;
        if (wholeBlocks > 0) {
            source = &Voice;
            offset = static_cast<size_t>(BlockCount) % wholeBlocks * kBlockSize;
        }
    } else {
        source = tones_.Block(ToneMode);
    }
    if (source)
        std::copy_n(source->begin() + static_cast<ptrdiff_t>(offset), kBlockSize, block_.begin());
    else
        std::fill(block_.begin(), block_.end(), 0.0f);
}

void TDsp::UpdateDisplays(const TSingleArray& data) {
    if (OutSpectrum.Process(data, false))
        view_.InvalidateEqualizer();
    if (Histograms.Collect(Equalizer.SampleEnvelope(), Equalizer.SampleGain()))
        view_.InvalidateDynamics();
    TNoiseReference noise;
    const bool addNoise = view_.AddNoiseChecked();
    if (addNoise)
        noise = {NoiseSnrDb, NoisePeak[view_.QrnSelected() ? 1 : 0]};
    if (const auto figures = OutputStats.Update(data, BlockCount, addNoise ? &noise : nullptr))
        view_.ShowOutputFigures(*figures);
}

// Interpolated to the device rate with the output gain, limited, and the same samples on the
// second channel; further channels are left alone.
void TDsp::Render(const TSingleArray& data, TDataBufferF& outBuffer) {
    OctaveResampler2.Interpolate(data, outBuffer[0]);
    Limit(outBuffer[0]);
    if (outBuffer.size() > 1)
        std::copy(outBuffer[0].begin(), outBuffer[0].end(), outBuffer[1].begin());
}

void TDsp::Limit(TSingleArray& samples) {
    const bool overloaded = LimitOutput(samples);
    OverloadCount += overloaded;
    view_.SetPlaybackOverload(overloaded);
}

void TDsp::AddNoise(TSingleArray& block) {
    if (!view_.AddNoiseChecked())
        return;
    MixNoise(block, view_.QrnSelected() ? Qrn : Qrm, BlockCount, NoiseSnrDb);
}

} // namespace sonari
