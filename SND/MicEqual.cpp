#include "SND/MicEqual.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/SpectrumKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/MicEqual";

float* Floats(TComplexArray& a) { return reinterpret_cast<float*>(a.data()); }

// Four floats as one vector register (SSE2 on x86-64, NEON on ARM), with unaligned access.
using TFloat4 = float __attribute__((vector_size(16)));

TFloat4 Load4(const float* from) {
    TFloat4 v;
    std::memcpy(&v, from, sizeof v);
    return v;
}

void Store4(float* to, TFloat4 v) { std::memcpy(to, &v, sizeof v); }

// Input samples that are no number count as 0, beyond +-kMaxInput as +-kMaxInput.
void SafeSamples(const float* in, size_t count, float* out) {
    constexpr float top = TMicEqualizer::kMaxInput;
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        TFloat4 x = Load4(in + i);
        x = x == x ? x : TFloat4{};
        x = x < -top ? TFloat4{} - top : x;
        x = x > top ? TFloat4{} + top : x;
        Store4(out + i, x);
    }
    for (; i < count; ++i)
        out[i] = std::isnan(in[i]) ? 0.0f : std::clamp(in[i], -top, top);
}

// out[i] = z[i] * (gain[i] / 2), both parts.
void ScaleHalved(const TComplex* z, const float* gain, size_t count, TComplex* out) {
    const auto* in = reinterpret_cast<const float*>(z);
    auto* to = reinterpret_cast<float*>(out);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const TFloat4 half = Load4(gain + i) / 2;
        Store4(to + 2 * i, Load4(in + 2 * i) * __builtin_shufflevector(half, half, 0, 0, 1, 1));
        Store4(to + 2 * i + 4,
               Load4(in + 2 * i + 4) * __builtin_shufflevector(half, half, 2, 2, 3, 3));
    }
    for (; i < count; ++i) {
        const float half = gain[i] / 2;
        out[i] = {z[i].Re * half, z[i].Im * half};
    }
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

// Shifts the accumulator left by `shift` floats, zeroes the freed end and adds `block`, in one
// pass (0 + x, not x: a zero that comes out of it is +0); W floats at a time.
template <int W>
[[gnu::always_inline]] inline void OverlapAddStage(float* acc, const float* block, size_t size,
                                                   size_t shift) {
    typedef float F __attribute__((vector_size(4 * W)));
    size_t i = 0;
    for (; i + shift + W <= size; i += W) {
        F a, b;
        std::memcpy(&a, acc + i + shift, sizeof a);
        std::memcpy(&b, block + i, sizeof b);
        a += b;
        std::memcpy(acc + i, &a, sizeof a);
    }
    for (; i + shift < size; ++i)
        acc[i] = acc[i + shift] + block[i];
    for (; i < size; ++i)
        acc[i] = 0.0f + block[i];
}

void OverlapAddSse2(float* acc, const float* block, size_t size, size_t shift) {
    OverlapAddStage<4>(acc, block, size, shift);
}

[[gnu::target("avx2")]] void OverlapAddAvx2(float* acc, const float* block, size_t size,
                                            size_t shift) {
    OverlapAddStage<8>(acc, block, size, shift);
}

void OverlapAdd(float* acc, const float* block, size_t size, size_t shift) {
    if (ActiveSimdPath() == TSimdPath::Avx2)
        OverlapAddAvx2(acc, block, size, shift);
    else
        OverlapAddSse2(acc, block, size, shift);
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

void TMicEqualizer::UpdateDynamics() {
    TEqualizerParameters& p = parameters_;
    p.GainLaw.Set(p.ClipThreshold, p.GateThreshold, p.Compression);
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
    FitBuffer(smoothed_, dataBlockSize_);
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
    SafeSamples(data.data(), data.size(), s);
    std::fill(s + d, s + 2 * m, 0.0f);
    fft_.Rdft(2 * m, 1, s);

    if (equalizerOn) {
        const TComplexArray& total = parameters_.TotalSpec;
        spec_[0] = {spec_[0].Re * total[0].Re, spec_[0].Im * total[0].Im};
        MultiplySpectra(ActiveSimdPath(), spec_.data() + 1, total.data() + 1, spec_.data() + 1,
                        static_cast<size_t>(m - 1));
    } else {
        const float scale = 1.0f / m;
        for (int32_t j = 0; j < 2 * m; j += 4) // 2M is a multiple of 4
            Store4(s + j, Load4(s + j) * scale);
    }
    if (clipperOn || parameters_.AnalysisOn || !out)
        Dynamics(clipperOn);

    if (!out)
        return; // analysing only: the signal path stays as it was
    if (!equalizerOn && !clipperOn) {
        // no stage: no delay, and the output overlap keeps what it holds
        SafeSamples(data.data(), data.size(), out);
        overshootRunning_ = false;
        return;
    }
    const bool controlled = clipperOn && parameters_.OvershootControl;
    if (controlled)
        Quadrature();
    overshootRunning_ = controlled;
    fft_.Rdft(2 * m, -1, s);
    OverlapAdd(overlapBuf_.data(), s, overlapBuf_.size(), static_cast<size_t>(d));
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
    OverlapAdd(Floats(analyticBuf_), c, 2 * analyticBuf_.size(), 2 * static_cast<size_t>(d));

    // instantaneous envelope of the samples no later block adds to
    if (sampleEnvelope_.empty()) {
        sampleEnvelope_.resize(d, 0.0f); // within the capacity reserved by Rebuild
        sampleGain_.resize(d, 0.0f);
    }
    const TSimdPath path = ActiveSimdPath();
    Magnitudes(path, analyticBuf_.data(), sampleEnvelope_.data(), static_cast<size_t>(d));
    envelope_ =
        SmoothEnvelope(envelope_, sampleEnvelope_.data(), smoothed_.data(), static_cast<size_t>(d));
    if (!clipperOn)
        return;

    parameters_.GainLaw.Gains(path, smoothed_.data(), sampleEnvelope_.data(), sampleGain_.data(),
                              static_cast<size_t>(d));
    // halved: the one-sided spectrum counts the signal twice
    ScaleHalved(analyticBuf_.data(), sampleGain_.data(), static_cast<size_t>(d), analytic_.data());
    std::fill(analytic_.begin() + d, analytic_.end(), TComplex{0.0f, 0.0f});
    fft_.Cdft(4 * m, 1, c);
    MultiplySpectra(path, analytic_.data(), parameters_.FiltSpec.data(), spec_.data(),
                    static_cast<size_t>(m));
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
    OverlapAdd(quadratureBuf_.data(), q, quadratureBuf_.size(), static_cast<size_t>(d));
}

} // namespace sonari
