#include "SND/MicEqual.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/MicEqual";
constexpr long double kClip = TMicEqualizer::kClipLevel;
// The smoothed envelope never drops below this, so out / Envelope stays finite under long
// digital silence; Prepare starts from it.
constexpr float kEnvelopeFloor = 1e-10f;

float* Floats(TComplexArray& a) { return reinterpret_cast<float*>(a.data()); }

float SafeSample(float x) {
    if (std::isnan(x))
        return 0.0f;
    return std::clamp(x, -TMicEqualizer::kMaxInput, TMicEqualizer::kMaxInput);
}

// Smallest M with 2M >= the length of one block's linear convolution with both kernels, so the
// circular convolution of the 2M-point transform never wraps.
int32_t FftSizeFor(int32_t convolutionLength) {
    int32_t m = 2;
    while (2 * m < convolutionLength)
        m *= 2;
    return m;
}

// Fits the buffer to `size`, zero-filled when its size changes; kept as it is otherwise.
template <typename T>
void FitBuffer(std::vector<T>& buffer, size_t size) {
    if (buffer.size() != size)
        buffer.assign(size, T{});
}

// Shifts the accumulator left by `shift` entries, zeroes the freed end and adds `block`.
template <typename T, typename Add>
void OverlapAdd(std::vector<T>& acc, const T* block, size_t shift, Add add) {
    std::move(acc.begin() + shift, acc.end(), acc.begin());
    std::fill(acc.end() - shift, acc.end(), T{});
    for (size_t i = 0; i < acc.size(); ++i)
        acc[i] = add(acc[i], block[i]);
}

// The one-sided spectrum of a packed real spectrum (the half-rate value in its own bin, nothing
// at negative frequencies) in the 2M entries of c; the complex transform with sign -1 then gives
// the conjugate analytic signal on the sample scale.
void OneSided(const TComplexArray& spec, TComplexArray& c) {
    const size_t m = spec.size();
    std::copy(spec.begin(), spec.end(), c.begin());
    std::fill(c.begin() + static_cast<ptrdiff_t>(m), c.end(), TComplex{0.0f, 0.0f});
    c[m].Re = spec[0].Im;
    c[0].Im = 0.0f;
}

// One-pole smoother with a time constant of 200 samples, for rising and falling levels alike.
float Smooth(float envelope, float sampleEnvelope) {
    const long double next = 0.995L * envelope + 0.005L * sampleEnvelope;
    return std::max(static_cast<float>(next), kEnvelopeFloor);
}

} // namespace

TMicEqualizer::TMicEqualizer() {
    // -30 dBFS and -55 dBFS
    parameters_.ClipThreshold = static_cast<float>(DbfsToAmplitude(-30.0L));
    parameters_.GateThreshold = static_cast<float>(DbfsToAmplitude(-55.0L));
    parameters_.Compression = 1.0f;
    overshoot_.SetCeiling(kClipLevel);
    UpdateDynamics();
    Rebuild();
}

void TMicEqualizer::Configure(int32_t samplesPerSec, int32_t dataBlockSize, int32_t filtKernelLen,
                              int32_t equKernelLen) {
    auto check = [](bool ok, const char* what, int64_t value) {
        if (!ok)
            throw ERangeError(std::string("Equalizer ") + what +
                              " out of range: " + std::to_string(value));
    };
    check(samplesPerSec >= 2, "sampling rate", samplesPerSec);
    check(dataBlockSize >= 1, "block size", dataBlockSize);
    check(filtKernelLen >= 1, "filter kernel length", filtKernelLen);
    check(equKernelLen >= 1, "equalizer kernel length", equKernelLen);
    const int64_t convolution = int64_t{filtKernelLen} + equKernelLen + dataBlockSize - 2;
    check(convolution <= kMaxConvolution, "block and kernel length", convolution);
    samplesPerSec_ = samplesPerSec;
    dataBlockSize_ = dataBlockSize;
    filtKernelLen_ = filtKernelLen;
    equKernelLen_ = equKernelLen;
    Rebuild();
}

void TMicEqualizer::SetSamplesPerSec(int32_t hz) {
    Configure(hz, dataBlockSize_, filtKernelLen_, equKernelLen_);
}

void TMicEqualizer::SetDataBlockSize(int32_t samples) {
    Configure(samplesPerSec_, samples, filtKernelLen_, equKernelLen_);
}

void TMicEqualizer::SetFiltKernelLen(int32_t taps) {
    Configure(samplesPerSec_, dataBlockSize_, taps, equKernelLen_);
}

void TMicEqualizer::SetEquKernelLen(int32_t taps) {
    Configure(samplesPerSec_, dataBlockSize_, filtKernelLen_, taps);
}

// Moving one edge past the other drags the other along; afterwards
// 0 <= CutoffLo <= CutoffHi <= SamplesPerSec div 2.
void TMicEqualizer::SetCutoffLo(int32_t hz) {
    hz = std::max(hz, 0);
    ApplyCutoffs(hz, std::max(parameters_.CutoffHi, hz));
}

void TMicEqualizer::SetCutoffHi(int32_t hz) {
    hz = std::max(hz, 1);
    ApplyCutoffs(std::min(parameters_.CutoffLo, hz), hz);
}

void TMicEqualizer::ApplyCutoffs(int32_t lo, int32_t hi) {
    parameters_.CutoffHi = std::min(hi, samplesPerSec_ / 2);
    parameters_.CutoffLo = std::min(lo, parameters_.CutoffHi);
    Rebuild();
}

void TMicEqualizer::SetBands(const std::array<float, kBandCount>& gainsDb) {
    parameters_.Bands = gainsDb;
    Rebuild();
}

void TMicEqualizer::SetBand(int band, float gainDb) {
    Assert(band >= 0 && band < kBandCount, kSource);
    parameters_.Bands[band] = gainDb;
    Rebuild();
}

void TMicEqualizer::SetClipThreshold(float level) {
    parameters_.ClipThreshold = level;
    UpdateDynamics();
}

void TMicEqualizer::SetGateThreshold(float level) {
    parameters_.GateThreshold = level;
    UpdateDynamics();
}

void TMicEqualizer::SetCompression(float ratio) {
    parameters_.Compression = ratio;
    UpdateDynamics();
}

// The compressor's output at the gate threshold, so the curve is continuous there.
void TMicEqualizer::UpdateDynamics() {
    TEqualizerParameters& p = parameters_;
    p.InverseRatio = 1.0L / p.Compression;
    p.GateOutput =
        std::pow(static_cast<long double>(p.GateThreshold) / p.ClipThreshold, p.InverseRatio) *
        kClip;
}

void TMicEqualizer::SetParameters(const TEqualizerParameters& parameters) {
    const auto m = static_cast<size_t>(fftSize_);
    Assert(parameters.FiltSpec.size() == m && parameters.TotalSpec.size() == m, kSource);
    Assert(parameters.OvershootPulse.size() == parameters_.OvershootPulse.size(), kSource);
    parameters_ = parameters; // same sizes: the spectra are copied into the existing storage
    overshoot_.SetPulse(parameters_.OvershootPulse);
}

int32_t TMicEqualizer::Delay() const {
    const TEqualizerParameters& p = parameters_;
    int32_t delay = p.EqualizerEnabled ? filtKernelLen_ / 2 + equKernelLen_ / 2 : 0;
    if (p.ClipperEnabled)
        delay += filtKernelLen_ / 2 + (p.OvershootControl ? overshoot_.Delay() : 0);
    return delay;
}

void TMicEqualizer::Prepare() {
    std::fill(overlapBuf_.begin(), overlapBuf_.end(), 0.0f);
    std::fill(analyticBuf_.begin(), analyticBuf_.end(), TComplex{0.0f, 0.0f});
    envelope_ = kEnvelopeFloor;
    overshootRunning_ = false;
}

void TMicEqualizer::Rebuild() {
    const int32_t m = FftSizeFor(filtKernelLen_ + equKernelLen_ + dataBlockSize_ - 2);
    fftSize_ = m;
    // Every buffer Process needs is sized here; the accumulators survive a rebuild of the same
    // size and start from silence when the size changes.
    FitBuffer(overlapBuf_, 2 * m);
    FitBuffer(analyticBuf_, 2 * m);
    FitBuffer(spec_, m);
    FitBuffer(analytic_, 2 * m);
    FitBuffer(quadratureBuf_, 2 * m);
    if (sampleEnvelope_.empty()) {
        sampleEnvelope_.reserve(dataBlockSize_);
        sampleGain_.reserve(dataBlockSize_);
    } else {
        FitBuffer(sampleEnvelope_, dataBlockSize_);
        FitBuffer(sampleGain_, dataBlockSize_);
    }

    TEqualizerParameters& p = parameters_;
    const TEqualizerDesign::TSetup setup{samplesPerSec_, m,          filtKernelLen_, equKernelLen_,
                                         p.CutoffLo,     p.CutoffHi, p.Bands};
    const TComplexArray& filter = design_.FilterSpectrum(setup, fft_);
    const TComplexArray& equalizer = design_.EqualizerSpectrum(setup, fft_);

    // Both divided by M: the scale the unscaled inverse transform of 2M points needs.
    const float scale = 1.0f / m;
    p.FiltSpec.resize(m);
    p.TotalSpec.resize(m);
    for (int32_t k = 0; k < m; ++k)
        p.FiltSpec[k] = {filter[k].Re * scale, filter[k].Im * scale};
    // Element 0 holds the real DC and Nyquist values: multiplied part by part.
    p.TotalSpec[0] = {filter[0].Re * equalizer[0].Re * scale,
                      filter[0].Im * equalizer[0].Im * scale};
    for (int32_t k = 1; k < m; ++k) {
        const TComplex product = ComplexMul(filter[k], equalizer[k]);
        p.TotalSpec[k] = {product.Re * scale, product.Im * scale};
    }
    design_.Response(p.TotalSpec, samplesPerSec_, fft_, response_);

    // The overshoot control's pulse lies two kernel bins inside the cut-offs (94 Hz at the
    // defaults): where the band-pass's skirts still let a little through, its corrections add
    // nothing.
    const long double margin = 2.0L * samplesPerSec_ / filtKernelLen_;
    MakeOvershootPulse(samplesPerSec_, p.CutoffLo + margin, p.CutoffHi - margin, filtKernelLen_ / 2,
                       p.OvershootPulse);
    overshoot_.SetPulse(p.OvershootPulse);
}

void TMicEqualizer::Process(TSingleArray& data) {
    Run(data, data.data(), parameters_.EqualizerEnabled, parameters_.ClipperEnabled);
}

void TMicEqualizer::Analyze(const TSingleArray& data) { Run(data, nullptr, false, false); }

void TMicEqualizer::Run(const TSingleArray& data, float* out, bool equalizerOn, bool clipperOn) {
    Assert(data.size() == static_cast<size_t>(dataBlockSize_), kSource);
    const int32_t m = fftSize_, d = dataBlockSize_;
    float* s = Floats(spec_);
    // the block zero-padded to 2M samples
    std::transform(data.begin(), data.end(), s, SafeSample);
    std::fill(s + d, s + 2 * m, 0.0f);
    fft_.Rdft(2 * m, 1, s);

    if (equalizerOn) {
        const TComplexArray& total = parameters_.TotalSpec;
        spec_[0] = {spec_[0].Re * total[0].Re, spec_[0].Im * total[0].Im};
        for (int32_t k = 1; k < m; ++k)
            spec_[k] = ComplexMul(spec_[k], total[k]);
    } else {
        const float scale = 1.0f / m;
        for (int32_t j = 0; j < 2 * m; ++j)
            s[j] *= scale;
    }
    if (clipperOn || parameters_.AnalysisOn || !out)
        Dynamics(clipperOn);

    if (!out)
        return; // analysing only: the signal path stays as it was
    if (!equalizerOn && !clipperOn) {
        // no stage: no delay, and the output overlap keeps what it holds
        std::transform(data.begin(), data.end(), out, SafeSample);
        overshootRunning_ = false;
        return;
    }
    const bool controlled = clipperOn && parameters_.OvershootControl;
    if (controlled)
        Quadrature();
    overshootRunning_ = controlled;
    fft_.Rdft(2 * m, -1, s);
    OverlapAdd(overlapBuf_, s, d, [](float a, float b) { return a + b; });
    if (controlled)
        overshoot_.Process(overlapBuf_.data(), quadratureBuf_.data(), out, d);
    else
        std::copy(overlapBuf_.begin(), overlapBuf_.begin() + d, out);
}

// Gate, compressor and clipper on the analytic signal of the block in spec_. With the clipper
// off it only measures; on, it replaces spec_ by the spectrum of the gain-controlled block,
// band-pass filtered once more.
void TMicEqualizer::Dynamics(bool clipperOn) {
    const int32_t m = fftSize_, d = dataBlockSize_;
    float* c = Floats(analytic_);

    OneSided(spec_, analytic_);
    fft_.Cdft(4 * m, -1, c);
    OverlapAdd(analyticBuf_, analytic_.data(), d, [](TComplex a, TComplex b) {
        return TComplex{a.Re + b.Re, a.Im + b.Im};
    });

    // instantaneous envelope of the samples no later block adds to
    if (sampleEnvelope_.empty()) {
        sampleEnvelope_.resize(d, 0.0f); // within the capacity reserved by Rebuild
        sampleGain_.resize(d, 0.0f);
    }
    for (int32_t i = 0; i < d; ++i) {
        const long double re = analyticBuf_[i].Re, im = analyticBuf_[i].Im;
        sampleEnvelope_[i] = static_cast<float>(std::sqrt(re * re + im * im));
    }
    if (!clipperOn) {
        for (int32_t i = 0; i < d; ++i)
            envelope_ = Smooth(envelope_, sampleEnvelope_[i]);
        return;
    }

    for (int32_t i = 0; i < d; ++i) {
        envelope_ = Smooth(envelope_, sampleEnvelope_[i]);
        const float g = Gain(sampleEnvelope_[i]);
        sampleGain_[i] = g;
        // halved: the one-sided spectrum counts the signal twice
        analytic_[i] = {analyticBuf_[i].Re * (g / 2), analyticBuf_[i].Im * (g / 2)};
    }
    std::fill(analytic_.begin() + d, analytic_.end(), TComplex{0.0f, 0.0f});
    fft_.Cdft(4 * m, 1, c);
    for (int32_t k = 0; k < m; ++k)
        spec_[k] = ComplexMul(analytic_[k], parameters_.FiltSpec[k]);
}

// The quadrature part of the output block for the overshoot control: the block of spec_ turned
// by -90 degrees at every frequency (the conjugate analytic signal's imaginary part), DC and
// half rate dropped, overlap-added like the output itself. Switched on, it starts from silence.
void TMicEqualizer::Quadrature() {
    const int32_t m = fftSize_, d = dataBlockSize_;
    if (!overshootRunning_) {
        std::fill(quadratureBuf_.begin(), quadratureBuf_.end(), 0.0f);
        overshoot_.Reset();
    }
    const float* s = Floats(spec_);
    float* q = Floats(analytic_); // free once the dynamics are done
    q[0] = q[1] = 0.0f;
    // (re, im) -> (im, -re): cos -> -sin, sin -> cos
    for (int32_t k = 1; k < m; ++k) {
        q[2 * k] = s[2 * k + 1];
        q[2 * k + 1] = -s[2 * k];
    }
    fft_.Rdft(2 * m, -1, q);
    OverlapAdd(quadratureBuf_, q, d, [](float a, float b) { return a + b; });
}

// Gain for the current smoothed Envelope, limited so that the instantaneous envelope after it
// stays at or below K:
//   Envelope <  GateThreshold: out = (Envelope / GateThreshold)^3 * GateOutput   (1:3 expander)
//   Envelope >= GateThreshold: out = (Envelope / ClipThreshold)^(1/Compression) * K
//   g = min(out / Envelope, K / (1e-99 + sampleEnvelope))
// Parameters from a profile can be anything: a gain that comes out as no number or negative
// mutes the sample, an infinite one is left to the clipper term, so g is always finite.
float TMicEqualizer::Gain(float sampleEnvelope) const {
    const TEqualizerParameters& p = parameters_;
    long double out;
    if (envelope_ < p.GateThreshold) {
        const long double r = static_cast<long double>(envelope_) / p.GateThreshold;
        out = r * r * r * p.GateOutput;
    } else {
        // pow in double: the extended one costs too much once per sample; x^1 = x exactly,
        // so the usual ratio 1 needs none
        const double level = static_cast<double>(envelope_) / p.ClipThreshold;
        const double exponent = static_cast<double>(p.InverseRatio);
        out = (exponent == 1.0 ? level : std::pow(level, exponent)) * kClip;
    }
    long double g = out / envelope_;
    if (!(g >= 0))
        g = 0;
    g = static_cast<float>(std::min<long double>(g, FLT_MAX));
    return static_cast<float>(std::min(kClip / (1e-99L + sampleEnvelope), g));
}

} // namespace sonari
