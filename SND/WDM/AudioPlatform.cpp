#include "SND/WDM/AudioPlatform.h"

#include <system_error>

namespace sonari {

void RaiseSystemError(int error, const std::string& subject) {
    // The category's message is strerror's text without its thread-safety trouble.
    const std::string text = std::system_category().message(error);
    throw EOSError(error, subject.empty() ? text : subject + ": " + text);
}

} // namespace sonari
