#pragma once

#include "SND/Exceptions.h"

#include <cstdint>
#include <string>

namespace sonari {

// Error of the audio layer: a fixed message per code, formatted with the raise site's values.
class EWdmAudioError : public Exception {
public:
    EWdmAudioError(uint8_t code, const std::string& message) : Exception(message), Code(code) {}
    uint8_t Code;
};

enum TWdmErrorCode : uint8_t {
    wdmNoError = 0,
    wdmInitFailed = 1,
    wdmInvalidAssignment = 2,
    wdmWaitFailed = 3,
    wdmReadFailed = 4,
    wdmWriteFailed = 5,
    wdmInvalidDevice = 6,
    wdmInvalidChannels = 7,
    wdmInvalidFormat = 8,
    wdmInvalidRate = 9,
    wdmBufferTooLarge = 10,
    wdmBufferMismatch = 11,
    wdmOpenDeviceFailed = 12,
    wdmStartOutputFailed = 13,
    wdmStartInputFailed = 14,
    wdmNoOutputPin = 15,
    wdmNoInputPin = 16,
    wdmOutputFormatFailed = 17,
    wdmInputFormatFailed = 18,
};

// The message template of a code ("Invalid device number: %d"); "" for codes beyond the table.
const char* WdmErrorText(uint8_t code);

[[noreturn]] void RaiseWdmError(uint8_t code);
[[noreturn]] void RaiseWdmErrorFmt(uint8_t code, int value);
[[noreturn]] void RaiseWdmErrorFmt(uint8_t code, const std::string& deviceName);
[[noreturn]] void RaiseWdmErrorFmt(uint8_t code, const std::string& deviceName, int value);

} // namespace sonari
