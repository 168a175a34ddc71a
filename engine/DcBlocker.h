#pragma once

#include "SND/SndTypes.h"

namespace sonari {

// First-order high-pass that removes DC at 12000 samples/s:
//   y[n] = b0 x[n] + b1 x[n-1] + a y[n-1],  a = e^(-1/600),  b0 = -b1 = (1 + a) / 2
// (-3 dB at 3.18 Hz, unity gain at half the rate, a constant decays with 600 samples). Its
// state carries over from one block and one run to the next and is never reset.
class TDcBlocker {
public:
    // Samples that are no number count as 0 and beyond +-kMaxInput as +-kMaxInput, so one bad
    // sample cannot poison the state for good.
    static constexpr float kMaxInput = 1e15f;

    // Filters `input` into `output`, resized to the input's length (no allocation once it is).
    void Process(const TSingleArray& input, TSingleArray& output);

    float DcPrevIn = 0.0f;  // last input sample of the previous block
    float DcPrevOut = 0.0f; // last output sample of the previous block
};

} // namespace sonari
