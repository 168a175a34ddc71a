#pragma once

#include "SND/SndTypes.h"

#include <cstdint>

namespace sonari {

// Holds the envelope of a band-limited analytic stream at or below a ceiling. Where the envelope
// rises above it, a copy of the pass band's own analytic impulse response (the correction pulse),
// scaled and turned to the excess, is subtracted with its centre on the peak: the peak comes down
// to the ceiling and the correction has no energy outside the band. A second pass, one pulse
// half-length and one search span behind the first, removes what the side lobes of later pulses
// pushed back over the ceiling.
//
// Every sample is handled in the same order whatever the block lengths and instruction set, so
// cutting a stream into other blocks does not change a bit of the output. Stretches below the
// ceiling are passed over in vector registers. Process allocates nothing.
class TOvershootControl {
public:
    // Samples the peak search looks ahead of the sample it checks.
    static constexpr int32_t kSearch = 4;
    // Corrections at one sample per pass, at most; the first one or two almost always suffice.
    static constexpr int kMaxCorrections = 16;

    // A one-tap pulse (every frequency passes) and a ceiling of 1.
    TOvershootControl();

    // The correction pulse: the analytic impulse response of the pass band, 2L + 1 taps centred
    // on tap L, L = HalfLength(). A new length sizes the buffers and resets; the same length only
    // replaces the taps and the stream goes on. An even number of taps is an assertion failure
    // (SND/OvershootControl). A pulse whose centre tap is (nearly) zero passes nothing: no
    // correction is possible and the stream only goes through the delay.
    void SetPulse(const TComplexArray& pulse);
    int32_t HalfLength() const { return halfLength_; }
    // The envelope's ceiling on the stream's scale; a value that is not positive and finite is
    // an assertion failure.
    void SetCeiling(float level);
    float Ceiling() const { return ceiling_; }

    // Samples between input and output: 2 (HalfLength + kSearch).
    int32_t Delay() const { return 2 * (halfLength_ + kSearch); }
    // Starts from silence.
    void Reset();
    // `count` analytic samples in, as their real (in-phase) and imaginary (quadrature) parts;
    // out: the real part of the controlled stream, Delay() samples late. Samples must be finite.
    // Where no correction reaches, out is the in-phase input exactly.
    void Process(const float* inPhase, const float* quadrature, float* out, int32_t count);
    // Pulses subtracted since the last Reset.
    int64_t Corrections() const { return corrections_; }

private:
    void CheckPiece(int32_t first, int32_t end);
    int32_t NextOver(int32_t t, int32_t end) const;
    void Check(int32_t at, int32_t searchEnd);
    void Cancel(int32_t at, float power);
    float Power(int32_t at) const; // |input + correction|^2
    void Shift();

    int32_t halfLength_ = 0;
    float ceiling_ = 1.0f;
    float ceilingPower_ = 1.0f; // ceiling^2
    float target_ = 1.0f;       // a hair below the ceiling, so rounding never re-triggers
    bool usable_ = true;
    TComplex inverseCentre_{1.0f, 0.0f}; // 1 / pulse[L]
    TComplexArray pulse_;      // 2L + 2 taps, the last one zero: whole groups of four floats
    TComplexArray turned_;     // j * pulse_, so a scaled pulse is two real multiply-adds per float
    TComplexArray input_;      // the stream as it came, buffer positions 0 .. head_ - 1
    TComplexArray correction_; // what the pulses subtract, up to HalfLength + 1 past head_
    int32_t head_ = 0;         // buffer position of the next input sample
    int64_t corrections_ = 0;
};

// The correction pulse for a band from loHz to hiHz at rateHz: the band's analytic impulse
// response, Kaiser-windowed to 2 halfLength + 1 taps and centred, unit gain in the band and
// -150 dB outside it beyond the window's transition (about +-230 Hz for 257 taps at 12000
// samples/s). The band lies at negative frequencies, as in the conjugate analytic signals of the
// equalizer's transforms. An empty band (hiHz <= loHz) gives a pulse of zeros.
void MakeOvershootPulse(int32_t rateHz, long double loHz, long double hiHz, int32_t halfLength,
                        TComplexArray& pulse);

} // namespace sonari
