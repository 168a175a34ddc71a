#pragma once

#include "SND/SndTypes.h"

#include <cstdint>

namespace sonari {

// Peak of the analytic envelope of a real stream, |x + j H{x}|, with the Hilbert transform by a
// Kaiser-windowed FIR of 2 kHalfLength + 1 taps: within 0.01 dB from 1/140 to 69/140 of the
// sampling rate (85 Hz to 5.9 kHz at 12000 samples/s). The envelope of each sample is known
// kHalfLength samples after it came in; Finish measures the rest as if silence followed.
class TEnvelopeMeter {
public:
    static constexpr int32_t kHalfLength = 256;

    TEnvelopeMeter();

    // Back to an empty stream.
    void Reset();
    // Adds samples; allocates nothing.
    void Add(const TSingleArray& samples);
    // Measures the last kHalfLength samples, followed by silence; then the stream is done.
    void Finish();
    // Largest envelope of the samples measured so far, on the stream's scale; 0 for none.
    float Peak() const { return peak_; }

private:
    void Take(float sample);

    TSingleArray taps_;    // h[1], h[3], ...: the odd taps, h[-k] = -h[k], even taps zero
    TSingleArray history_; // the last 2 kHalfLength + 1 samples, twice, for contiguous reads
    int32_t next_ = 0;     // where the next sample goes in the first copy
    float peak_ = 0.0f;
};

} // namespace sonari
