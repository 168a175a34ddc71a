#include "SND/WDM/DeviceChoice.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace sonari {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A listed name is "%.2d  %s": digits, two spaces, the device's own name.
std::string WithoutNumber(const std::string& caption) {
    const size_t digits = caption.find_first_not_of("0123456789");
    if (digits >= 2 && digits != std::string::npos && caption.compare(digits, 2, "  ") == 0)
        return caption.substr(digits + 2);
    return caption;
}

bool IsValid(const TWdmAudio& audio, int32_t index) {
    return index >= 0 && index < audio.DeviceCount();
}

// The indices that match, best first by `rank` (lower is better), list order on ties.
template <typename Match, typename Rank>
std::vector<int32_t> Ranked(const TWdmAudio& audio, Match match, Rank rank) {
    std::vector<int32_t> found;
    for (int32_t i = 0; i < audio.DeviceCount(); ++i)
        if (match(i))
            found.push_back(i);
    std::stable_sort(found.begin(), found.end(),
                     [&](int32_t a, int32_t b) { return rank(a) < rank(b); });
    return found;
}

void Select(const TWdmAudio& audio, const TSavedDevice& saved, bool isRender, int32_t& index,
            TSavedDevice& missing) {
    if (saved.Caption.empty() && saved.Key.empty())
        return;
    index = FindSavedDevice(audio, saved, isRender);
    missing = index < 0 ? saved : TSavedDevice{};
}

} // namespace

std::vector<int32_t> DevicesWithKey(const TWdmAudio& audio, const std::string& key, bool isRender) {
    return Ranked(
        audio, [&](int32_t i) { return !key.empty() && audio.DeviceKey(i) == key; },
        [&](int32_t i) { return audio.HasPin(i, isRender) ? 0 : 1; });
}

std::vector<int32_t> DevicesNamed(const TWdmAudio& audio, const std::string& caption,
                                  bool isRender) {
    const std::string full = Lower(caption);
    const std::string bare = Lower(WithoutNumber(caption));
    return Ranked(
        audio,
        [&](int32_t i) {
            const std::string name = Lower(audio.DeviceName(i));
            return !full.empty() && (name == full || WithoutNumber(name) == bare);
        },
        [&](int32_t i) {
            return (audio.HasPin(i, isRender) ? 0 : 2) +
                   (Lower(audio.DeviceName(i)) == full ? 0 : 1);
        });
}

int32_t FindSavedDevice(const TWdmAudio& audio, const TSavedDevice& saved, bool isRender) {
    for (const std::vector<int32_t>& found :
         {DevicesWithKey(audio, saved.Key, isRender), DevicesNamed(audio, saved.Caption, isRender)})
        if (!found.empty())
            return found.front();
    return -1;
}

TSavedDevice SavedDevice(const TWdmAudio& audio, int32_t index) {
    return {audio.DeviceName(index), audio.DeviceKey(index)};
}

void SelectSavedDevices(const TWdmAudio& audio, const TSavedDevice& input,
                        const TSavedDevice& output, TDeviceSelection& selection) {
    Select(audio, input, false, selection.InputDeviceIndex, selection.MissingInput);
    Select(audio, output, true, selection.OutputDeviceIndex, selection.MissingOutput);
}

void RefreshDevices(TWdmAudio& audio, TDeviceSelection& selection) {
    const auto remembered = [&](int32_t index, const TSavedDevice& missing) {
        return IsValid(audio, index) ? SavedDevice(audio, index) : missing;
    };
    const TSavedDevice input = remembered(selection.InputDeviceIndex, selection.MissingInput);
    const TSavedDevice output = remembered(selection.OutputDeviceIndex, selection.MissingOutput);
    audio.Refresh();
    SelectSavedDevices(audio, input, output, selection);
}

std::string MissingDeviceMessage(const TWdmAudio& audio, const TDeviceSelection& selection,
                                 bool isRender) {
    const int32_t index = isRender ? selection.OutputDeviceIndex : selection.InputDeviceIndex;
    const TSavedDevice& missing = isRender ? selection.MissingOutput : selection.MissingInput;
    if (IsValid(audio, index) || (missing.Caption.empty() && missing.Key.empty()))
        return "";
    return "Sound device not found: " +
           (missing.Caption.empty() ? missing.Key : WithoutNumber(missing.Caption));
}

std::string MissingDeviceMessage(const TWdmAudio& audio, const TDeviceSelection& selection) {
    const std::string input = MissingDeviceMessage(audio, selection, false);
    return input.empty() ? MissingDeviceMessage(audio, selection, true) : input;
}

} // namespace sonari
