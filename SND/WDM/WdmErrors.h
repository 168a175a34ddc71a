#pragma once

#include "SND/Exceptions.h"

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace sonari {

// Error of the audio layer: a fixed message per code, formatted with the raise site's values.
// Where a platform operation failed, Reason() holds the platform's own words for it (empty
// otherwise); the message itself stays the table's.
class EWdmAudioError : public Exception {
public:
    EWdmAudioError(uint8_t code, const std::string& message, std::string reason = {})
        : Exception(message), Code(code), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

    uint8_t Code;

private:
    std::string reason_;
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

// `reason`: the platform's words for the failure behind the error, if any.
[[noreturn]] void RaiseWdmError(uint8_t code, const std::string& reason = {});
[[noreturn]] void RaiseWdmErrorFmt(uint8_t code, int value);
[[noreturn]] void RaiseWdmErrorFmt(uint8_t code, const std::string& deviceName,
                                   const std::string& reason = {});
[[noreturn]] void RaiseWdmErrorFmt(uint8_t code, const std::string& deviceName, int value,
                                   const std::string& reason = {});

// What the operator reads of an error: its message, then the platform's reason in parentheses
// when the audio layer carried one.
std::string ErrorMessage(const std::exception& error);

} // namespace sonari
