#include "cli/DeviceArgument.h"

#include "SND/Exceptions.h"
#include "SND/WDM/DeviceChoice.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace sonari::cli {

namespace {

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

} // namespace

int32_t ResolveDevice(const TWdmAudio& audio, const std::string& argument, bool isRender) {
    const int32_t count = audio.DeviceCount();
    if (IsNumber(argument)) {
        const int32_t number = std::stoi(argument);
        if (number < 1 || number > count)
            throw Exception("No device number " + argument + " (there are " +
                            std::to_string(count) + "; see 'sonari-cli devices')");
        return number - 1;
    }
    for (const std::vector<int32_t>& found :
         {DevicesWithKey(audio, argument, isRender), DevicesNamed(audio, argument, isRender)}) {
        if (found.empty())
            continue;
        // the numbered name is unique; the rest must be unique within the direction
        if (SameIgnoringCase(audio.DeviceName(found.front()), argument))
            return found.front();
        if (std::count_if(found.begin(), found.end(),
                          [&](int32_t i) { return audio.HasPin(i, isRender); }) > 1)
            throw Exception("More than one device is named '" + argument +
                            "': give its number instead (see 'sonari-cli devices')");
        return found.front();
    }
    throw Exception("No device named '" + argument + "' (see 'sonari-cli devices')");
}

} // namespace sonari::cli
