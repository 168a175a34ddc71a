#include "SND/WDM/WdmErrors.h"

#include <array>
#include <cstdio>

namespace sonari {

namespace {

constexpr std::array<const char*, 19> kTexts = {
    "No error",
    "WDM Audio Engine failed to initialize",
    "Invalid assignment to DeviceSettings",
    "Waiting thread failed",
    "Unable to read data from the sound card",
    "Unable to write data to the sound card",
    "Invalid device number: %d",
    "Invalid number of channels: %d",
    "Invalid data format: %d bits",
    "Invalid sampling rate: %d Hz",
    "Buffer too large: %d samples",
    "Input/output buffer size mismatch",
    "Unable to open device: %s",
    "Unable to start output to %s: error %d",
    "Unable to start input from %s: error %d",
    "Output device does not support selected parameters",
    "Input device does not support selected parameters",
    "Cannot negotiate output format with %s: error %d",
    "Cannot negotiate input format with %s: error %d",
};

template <typename... Args>
[[noreturn]] void Raise(uint8_t code, const std::string& reason, Args... args) {
    const char* text = WdmErrorText(code);
    int length = std::snprintf(nullptr, 0, text, args...);
    std::string message(static_cast<size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(message.data(), message.size() + 1, text, args...);
    throw EWdmAudioError(code, message, reason);
}

} // namespace

const char* WdmErrorText(uint8_t code) { return code < kTexts.size() ? kTexts[code] : ""; }

// The texts are fixed templates from the table, never user text, so passing them as formats is
// safe.
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

void RaiseWdmError(uint8_t code, const std::string& reason) {
    throw EWdmAudioError(code, WdmErrorText(code), reason);
}

void RaiseWdmErrorFmt(uint8_t code, int value) { Raise(code, {}, value); }

void RaiseWdmErrorFmt(uint8_t code, const std::string& deviceName, const std::string& reason) {
    Raise(code, reason, deviceName.c_str());
}

void RaiseWdmErrorFmt(uint8_t code, const std::string& deviceName, int value,
                      const std::string& reason) {
    Raise(code, reason, deviceName.c_str(), value);
}

std::string ErrorMessage(const std::exception& error) {
    const auto* layerError = dynamic_cast<const EWdmAudioError*>(&error);
    if (!layerError || layerError->Reason().empty())
        return error.what();
    return std::string(error.what()) + " (" + layerError->Reason() + ")";
}

} // namespace sonari
