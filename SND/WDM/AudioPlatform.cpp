#include "SND/WDM/AudioPlatform.h"

#include <system_error>

namespace sonari {

void RaiseSystemError(int error, const std::string& subject) {
    // The category's message is strerror's text without its thread-safety trouble.
    const std::string text = std::system_category().message(error);
    throw EOSError(error, subject.empty() ? text : subject + ": " + text);
}

bool IsPcmAudioRange(const TDataRange& range) {
    return range.MajorFormat == KSDATAFORMAT_TYPE_AUDIO &&
           range.SubFormat == KSDATAFORMAT_SUBTYPE_PCM &&
           range.Specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
}

TDataFormat PcmDataFormat() {
    TDataFormat format;
    format.FormatSize = 64 + sizeof(TWaveFormatExtensible);
    format.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    return format;
}

} // namespace sonari
