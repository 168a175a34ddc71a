#pragma once

#include "SND/SndTypes.h"
#include "SND/WaveFormat.h"

namespace sonari {

// Interleaved frames to channel-major floats on the 32-bit scale: an n-bit integer sample is
// shifted to the top of a 32-bit integer (full scale +-2^31 whatever the width); float samples
// pass unscaled. Frames = bytes.size() / nBlockAlign; `data` must already hold nChannels
// channels of at least Frames samples. Integer widths other than 8/16/24/32 and float widths
// other than 32 write nothing.
void BytesToFloats(const TByteArray& bytes, TDataBufferF& data,
                   const TWaveFormatExtensible& format);

// The reverse. Samples are rounded to the nearest integer, ties to even; there is no saturation
// (8/16/24 bits wrap beyond +-2^31), and a 32-bit value outside the int32 range or a value that
// is not finite raises ERangeError. `bytes` must already have the target length.
void FloatsToBytes(const TDataBufferF& data, TByteArray& bytes,
                   const TWaveFormatExtensible& format);

} // namespace sonari
