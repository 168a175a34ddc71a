#include "SND/WDM/Platform/PlatformFactory.h"
#include "SND/WDM/WdmAudio.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"

#include <ostream>

namespace sonari::cli {

namespace {

std::string Range(int32_t low, int32_t high, const char* unit) {
    std::string text = std::to_string(low);
    if (high != low)
        text += "-" + std::to_string(high);
    return text + " " + unit;
}

void PrintDirection(const TWdmAudio& audio, int32_t index, bool isRender, std::ostream& out) {
    const TDeviceCaps caps = audio.GetCaps(index, isRender);
    if (!caps.Found)
        return;
    out << "    " << (isRender ? "render " : "capture") << "  up to " << caps.MaxChannels
        << (caps.MaxChannels == 1 ? " channel, " : " channels, ")
        << Range(caps.MinBits, caps.MaxBits, "bits") << ", "
        << Range(caps.MinRate, caps.MaxRate, "Hz") << "\n";
}

} // namespace

int DevicesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (WantsHelp(args)) {
        out << "Usage: sonari-cli devices\n\nLists every sound device with the number, name and "
               "key that 'run' takes,\nits directions and format ranges.\n";
        return 0;
    }
    if (!args.empty()) {
        err << "sonari-cli devices: unexpected argument '" << args.front() << "'\n";
        return 2;
    }
    const TWdmAudio audio(CreateAudioPlatform());
    if (!audio.Initialized()) {
        err << "No sound devices found.\n";
        return 1;
    }
    for (int32_t i = 0; i < audio.DeviceCount(); ++i) {
        out << audio.DeviceName(i) << "\n    key      " << audio.DeviceKey(i) << "\n";
        PrintDirection(audio, i, false, out);
        PrintDirection(audio, i, true, out);
    }
    return 0;
}

} // namespace sonari::cli
