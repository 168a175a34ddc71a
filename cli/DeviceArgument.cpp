#include "cli/DeviceArgument.h"

#include "SND/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace sonari::cli {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The listed name is "%.2d  %s": the number, two spaces, the device's own name.
std::string WithoutNumber(const std::string& listed) {
    const size_t gap = listed.find("  ");
    return gap == std::string::npos ? listed : listed.substr(gap + 2);
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

} // namespace

int32_t ResolveDevice(const IDeviceList& devices, const std::string& argument) {
    const int32_t count = devices.DeviceCount();
    if (IsNumber(argument)) {
        const int32_t number = std::stoi(argument);
        if (number < 1 || number > count)
            throw Exception("No device number " + argument + " (there are " +
                            std::to_string(count) + "; see 'sonari-cli devices')");
        return number - 1;
    }
    const std::string wanted = Lower(argument);
    std::vector<int32_t> matches;
    for (int32_t i = 0; i < count; ++i) {
        const std::string listed = Lower(devices.DeviceName(i));
        if (listed == wanted || WithoutNumber(listed) == wanted)
            matches.push_back(i);
    }
    if (matches.empty())
        throw Exception("No device named '" + argument + "' (see 'sonari-cli devices')");
    if (matches.size() > 1)
        throw Exception("More than one device is named '" + argument +
                        "': give its number instead (see 'sonari-cli devices')");
    return matches.front();
}

} // namespace sonari::cli
