#pragma once

#include "SND/SimdPath.h"

#include <cstddef>

namespace sonari {

// The gate/compressor/clipper gain of each sample, from its smoothed envelope e and its
// instantaneous envelope s (2^31 scale), defined in extended precision and stored as a float:
//   e <  GateThreshold: out = (e / GateThreshold)^3 * GateOutput        (1:3 expander)
//   e >= GateThreshold: out = (e / ClipThreshold)^(1/Compression) * K
//   g = min(out / e, K / (1e-99 + s))                                    (clipper)
// with GateOutput = (GateThreshold / ClipThreshold)^(1/Compression) * K, so the curve is
// continuous at the gate. A gain that works out as no number or negative is 0, an infinite one
// is left to the clipper term, so g is always finite.
// Gains computes whole blocks in vector registers (a per-block constant where the ratio is 1)
// and gives the floats of the definition bit for bit.
class TGainLaw {
public:
    // Clip level K: no envelope leaves the gain stage above it (2^30, -6.02 dBFS).
    static constexpr float kClipLevel = 1073741824.0f;

    // Any values are safe: parameters the vector arithmetic cannot vouch for are computed by
    // the definition, sample by sample.
    void Set(float clipThreshold, float gateThreshold, float compression);

    // One sample by the definition.
    float Gain(float envelope, float sampleEnvelope) const;
    // gains[i] = Gain(envelope[i], sampleEnvelope[i]) for i < count.
    void Gains(TSimdPath path, const float* envelope, const float* sampleEnvelope, float* gains,
               size_t count) const;

    // The parameters as the definition uses them.
    float ClipThreshold() const { return clip_; }
    float GateThreshold() const { return gate_; }
    long double InverseRatio() const { return inverseRatio_; }
    long double GateOutput() const { return gateOutput_; }

    // What the vector arithmetic works with (public for the kernels in GainLaw.cpp).
    struct TFast {
        bool Usable = false;    // the parameters allow it at all
        double GateFactor = 0;  // GateOutput / GateThreshold^3: g = e^2 GateFactor below
        bool Constant = false;  // ratio 1: the same gain above the gate for every e
        float ConstantGain = 0; // K / ClipThreshold, when Constant
        double Scale = 0;       // K / ClipThreshold
        double InverseClip = 0; // 1 / ClipThreshold
        double Exponent = 0;    // 1/Compression - 1: g = Scale (e / ClipThreshold)^Exponent
    };

private:
    void Prepare();

    float clip_ = 1.0f;
    float gate_ = 0.0f;
    long double inverseRatio_ = 1.0L;
    long double gateOutput_ = 0.0L;
    TFast fast_;
};

// Where Envelope rests in silence and where Prepare starts it: out / Envelope stays finite.
inline constexpr float kEnvelopeFloor = 1e-10f;

// The one-pole smoother of the envelope (time constant 200 samples, for rising and falling
// levels alike), per sample in extended precision and stored as a float:
//   envelope = max(0.995 envelope + 0.005 sampleEnvelope[i], kEnvelopeFloor); smoothed[i] = it.
// Returns the last envelope. Serial by nature; bit for bit as the definition.
float SmoothEnvelope(float envelope, const float* sampleEnvelope, float* smoothed, size_t count);

} // namespace sonari
