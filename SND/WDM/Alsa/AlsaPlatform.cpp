#include "SND/WDM/Alsa/AlsaPlatformImpl.h"

#include "SND/Exceptions.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

// Device listing, capabilities, format negotiation and pin creation over ALSA.

namespace sonari {

namespace {

// Integer formats the layer converts, widest first: the preferred choice comes first.
constexpr std::array<snd_pcm_format_t, 4> kFormats = {SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S24_3LE,
                                                      SND_PCM_FORMAT_S24_LE, SND_PCM_FORMAT_S16_LE};

// Sound servers first, so their numbers stay put when a card is plugged in.
constexpr std::array<const char*, 3> kServerPcms = {"default", "pipewire", "pulse"};
constexpr std::array<const char*, 3> kServerNames = {"Default ALSA device", "PipeWire Sound Server",
                                                     "PulseAudio Sound Server"};
// Rates 12000 * 2^k a sound server takes from the plugin and resamples.
constexpr unsigned kEndpointMinRate = 12000;
constexpr unsigned kEndpointMaxRate = 192000;

// Hinted PCMs that are converters, effects or other systems, not places to send sound to.
bool IsListedPlugin(const std::string& name) {
    static const std::array<const char*, 12> excluded = {
        "null",     "lavrate", "samplerate", "speexrate", "speex", "upmix",
        "vdownmix", "a52",     "usbstream",  "jack",      "oss",   "sysdefault"};
    for (const char* prefix : excluded) {
        const size_t n = std::strlen(prefix);
        if (name.compare(0, n, prefix) == 0 && (name.size() == n || name[n] == '_'))
            return false;
    }
    return name.find(':') == std::string::npos; // card-specific names come from the cards
}

int BitsOf(snd_pcm_format_t format) {
    return format == SND_PCM_FORMAT_S16_LE ? 16 : format == SND_PCM_FORMAT_S32_LE ? 32 : 24;
}

int ContainerBitsOf(snd_pcm_format_t format) { return snd_pcm_format_physical_width(format); }

int32_t ToInt32(unsigned value) { return static_cast<int32_t>(std::min<unsigned>(value, INT_MAX)); }

std::string HintText(void* hint, const char* id) {
    const TAlsaText text(snd_device_name_get_hint(hint, id));
    return text ? text.get() : "";
}

// A hint description may span lines ("card, device\nwhat it is"); one line reads better.
std::string OneLine(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
        text.replace(at, 1, ", ");
    return text;
}

struct THint {
    std::string Name;
    std::string Description;
    std::string Direction; // "Input", "Output" or empty for both
};

std::vector<THint> PcmHints() {
    std::vector<THint> hints;
    void** list = nullptr;
    if (snd_device_name_hint(-1, "pcm", &list) < 0 || !list)
        return hints;
    const TNameHints owned(list);
    for (void** h = list; *h; ++h)
        hints.push_back(
            {HintText(*h, "NAME"), OneLine(HintText(*h, "DESC")), HintText(*h, "IOID")});
    return hints;
}

// The pulse plugin's PCM, defined by the plugin's configuration where it is installed.
bool HavePulsePlugin() {
    snd_config_t* node = nullptr;
    return snd_config_update() >= 0 && snd_config_search(snd_config, "pcm.pulse", &node) >= 0;
}

// A PCM that the pulse plugin serves (the server PCM "pulse", and "default" where the plugin's
// configuration made it so): opening it waits for the server.
bool GoesThroughPulse(const char* name) {
    snd_config_t* definition = nullptr;
    if (snd_config_search_definition(snd_config, "pcm", name, &definition) < 0)
        return false;
    snd_config_t* type = nullptr;
    const char* id = nullptr;
    const bool pulse = snd_config_search(definition, "type", &type) >= 0 &&
                       snd_config_get_string(type, &id) >= 0 && std::strcmp(id, "pulse") == 0;
    snd_config_delete(definition); // the expanded copy is ours
    return pulse;
}

// The name quoted for a PCM argument, where dots and dashes would otherwise be syntax.
std::string PulsePcm(const std::string& serverName) {
    std::string quoted = "pulse:DEVICE=\"";
    for (char c : serverName) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// The server converts rate, width and channels: the capabilities of what it serves need no
// probe, which would open a connection to it (5 ms each on PipeWire, at every start).
TAlsaCaps ServerCaps() {
    TAlsaCaps caps;
    caps.MinChannels = 1;
    caps.MaxChannels = 2;
    caps.MinRate = kEndpointMinRate;
    caps.MaxRate = kEndpointMaxRate;
    caps.Formats.assign(kFormats.begin(), kFormats.end());
    return caps;
}

TAlsaDevice EndpointDevice(const TServerEndpoint& endpoint) {
    TAlsaDevice device;
    device.Pcm = PulsePcm(endpoint.Name);
    device.FriendlyName = endpoint.Description;
    device.Key = endpoint.Name;
    device.Endpoint = endpoint;
    const uint32_t pin = endpoint.IsSink ? kAlsaPlaybackPin : kAlsaCapturePin;
    device.HasPin[pin] = true;
    device.Caps[pin] = ServerCaps();
    return device;
}

// A PCM the pulse plugin serves, while the server answers, has the server's capabilities.
void TakeServerCaps(TAlsaDevice& device) {
    for (uint32_t pin : {kAlsaPlaybackPin, kAlsaCapturePin})
        if (device.HasPin[pin])
            device.Caps[pin] = ServerCaps();
}

TAlsaDevice HintDevice(const std::string& name, const std::string& friendlyName,
                       const std::string& direction) {
    TAlsaDevice device;
    device.Pcm = name;
    device.Key = name;
    device.FriendlyName = friendlyName;
    device.HasPin[kAlsaPlaybackPin] = direction != "Input";
    device.HasPin[kAlsaCapturePin] = direction != "Output";
    return device;
}

void ListCardDevices(int card, std::vector<TAlsaDevice>& devices) {
    snd_ctl_t* opened = nullptr;
    if (snd_ctl_open(&opened, ("hw:" + std::to_string(card)).c_str(), 0) < 0)
        return;
    const TCtl ctl(opened);
    const TCardInfo cardInfo = NewCardInfo();
    const TPcmInfo pcmInfo = NewPcmInfo();
    if (snd_ctl_card_info(ctl.get(), cardInfo.get()) < 0)
        return;
    const std::string id = snd_ctl_card_info_get_id(cardInfo.get());
    const std::string cardName = snd_ctl_card_info_get_name(cardInfo.get());
    for (int dev = -1; snd_ctl_pcm_next_device(ctl.get(), &dev) >= 0 && dev >= 0;) {
        TAlsaDevice device;
        // Card ids survive re-plugging where card numbers do not.
        const std::string address = "CARD=" + id + ",DEV=" + std::to_string(dev);
        device.Pcm = "hw:" + address;
        device.Key = device.Pcm;
        device.Plug = "plughw:" + address;
        std::string pcmName;
        for (uint32_t pin : {kAlsaPlaybackPin, kAlsaCapturePin}) {
            snd_pcm_info_set_device(pcmInfo.get(), static_cast<unsigned>(dev));
            snd_pcm_info_set_subdevice(pcmInfo.get(), 0);
            snd_pcm_info_set_stream(pcmInfo.get(), pin == kAlsaPlaybackPin
                                                       ? SND_PCM_STREAM_PLAYBACK
                                                       : SND_PCM_STREAM_CAPTURE);
            device.HasPin[pin] = snd_ctl_pcm_info(ctl.get(), pcmInfo.get()) >= 0;
            if (device.HasPin[pin])
                pcmName = snd_pcm_info_get_name(pcmInfo.get());
        }
        device.FriendlyName = cardName + ": " + pcmName;
        if (device.HasPin[0] || device.HasPin[1])
            devices.push_back(std::move(device));
    }
}

TAlsaCaps Probe(const std::string& name, bool isRender) {
    TAlsaCaps caps;
    TPcm pcm;
    int err = OpenPcm(pcm, name, isRender);
    if (err < 0) {
        caps.Error = -err;
        return caps;
    }
    const THwParams hw = NewHwParams();
    err = snd_pcm_hw_params_any(pcm.get(), hw.get());
    if (err >= 0) {
        int dir = 0;
        snd_pcm_hw_params_get_channels_min(hw.get(), &caps.MinChannels);
        snd_pcm_hw_params_get_channels_max(hw.get(), &caps.MaxChannels);
        snd_pcm_hw_params_get_rate_min(hw.get(), &caps.MinRate, &dir);
        snd_pcm_hw_params_get_rate_max(hw.get(), &caps.MaxRate, &dir);
        for (snd_pcm_format_t format : kFormats)
            if (snd_pcm_hw_params_test_format(pcm.get(), hw.get(), format) == 0)
                caps.Formats.push_back(format);
    }
    caps.Error = err < 0 ? -err : caps.Formats.empty() ? EINVAL : 0;
    return caps;
}

// The channel count nearest `wanted` within [device minimum, min(limit, device maximum)] that
// the device takes; 0 when none.
unsigned PickChannels(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, unsigned wanted, unsigned limit) {
    unsigned lo = 0, hi = 0;
    snd_pcm_hw_params_get_channels_min(hw, &lo);
    snd_pcm_hw_params_get_channels_max(hw, &hi);
    lo = std::max(lo, 1u);
    hi = std::min(hi, limit);
    if (lo > hi)
        return 0;
    const unsigned start = std::clamp(wanted, lo, hi);
    for (unsigned d = 0; d <= 64; ++d) {
        if (start + d <= hi && snd_pcm_hw_params_test_channels(pcm, hw, start + d) == 0)
            return start + d;
        if (d <= start - lo && snd_pcm_hw_params_test_channels(pcm, hw, start - d) == 0)
            return start - d;
    }
    return 0;
}

TWaveFormatExtensible WaveFormatOf(snd_pcm_format_t format, unsigned channels, unsigned rate) {
    TWaveFormatExtensible f{};
    const int container = ContainerBitsOf(format);
    f.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = static_cast<uint16_t>(container);
    f.nBlockAlign = static_cast<uint16_t>(channels * container / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.cbSize = kExtensibleExtraSize;
    f.wValidBitsPerSample = static_cast<uint16_t>(BitsOf(format));
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

// Tries one request range on one PCM name; 0 with the format, or a negative ALSA error.
int Intersect(const std::string& name, bool isRender, bool exactHardware, const TDataRange& range,
              unsigned wantedChannels, TWaveFormatExtensible& answer) {
    TPcm pcm;
    int err = OpenPcm(pcm, name, isRender);
    if (err < 0)
        return err;
    const THwParams hw = NewHwParams();
    err = snd_pcm_hw_params_any(pcm.get(), hw.get());
    if (err >= 0)
        err = snd_pcm_hw_params_set_access(pcm.get(), hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0 && exactHardware)
        err = snd_pcm_hw_params_set_rate_resample(pcm.get(), hw.get(), 0);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate(pcm.get(), hw.get(), static_cast<unsigned>(range.MinRate),
                                         0);
    unsigned channels = 0;
    if (err >= 0) {
        channels = PickChannels(pcm.get(), hw.get(), wantedChannels,
                                static_cast<unsigned>(range.MaxChannels));
        err =
            channels == 0 ? -EINVAL : snd_pcm_hw_params_set_channels(pcm.get(), hw.get(), channels);
    }
    if (err < 0)
        return err;
    for (snd_pcm_format_t format : kFormats) {
        const int bits = BitsOf(format);
        if (bits >= range.MinBits && bits <= range.MaxBits &&
            snd_pcm_hw_params_test_format(pcm.get(), hw.get(), format) == 0) {
            answer = WaveFormatOf(format, channels, static_cast<unsigned>(range.MinRate));
            return 0;
        }
    }
    return -EINVAL;
}

snd_pcm_format_t AlsaFormatOf(const TWaveFormatExtensible& format) {
    const int valid = format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.wValidBitsPerSample
                          ? format.wValidBitsPerSample
                          : format.wBitsPerSample;
    switch (format.wBitsPerSample) {
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    case 24:
        return SND_PCM_FORMAT_S24_3LE;
    case 32:
        return valid == 24 ? SND_PCM_FORMAT_S24_LE : SND_PCM_FORMAT_S32_LE;
    default:
        return SND_PCM_FORMAT_UNKNOWN;
    }
}

// The first failure among the PCM names tried for one device: the one the operator should read
// (the hardware device's, before the plug converter's).
struct TFirstError {
    int Err = 0;
    std::string Name;

    void Note(int err, const std::string& name) {
        if (err < 0 && Err == 0) {
            Err = err;
            Name = name;
        }
    }
    [[noreturn]] void Raise() const {
        RaiseAlsaError(Err < 0 ? Err : -EINVAL, Name.empty() ? "no PCM" : Name);
    }
};

// Probing devices that are absent or busy is routine; ALSA would print every failure.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

} // namespace

void RaiseAlsaError(int err, const std::string& subject) {
    throw EOSError(-err, subject + ": " + snd_strerror(err));
}

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

TAlsaPlatform::TImpl::TImpl(std::unique_ptr<ISoundServer> server)
    : Server(std::move(server)), WakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      WakeError(WakeFd < 0 ? errno : 0), Events([this] {
          const uint64_t one = 1;
          [[maybe_unused]] ssize_t n = write(WakeFd, &one, sizeof one);
      }) {}

TAlsaPlatform::TImpl::~TImpl() {
    Pins.clear(); // their PCMs close before the wake-up goes
    if (WakeFd >= 0)
        close(WakeFd);
}

void TAlsaPlatform::TImpl::ListDevices() {
    Devices.clear();
    const std::vector<THint> hints = PcmHints();
    const bool pulse = Server && HavePulsePlugin();
    const TServerListing server = pulse ? Server->Endpoints() : TServerListing{};
    const bool answers = !server.Endpoints.empty();
    for (size_t i = 0; i < kServerPcms.size(); ++i) {
        // (ALSA's configuration is read once the plugin's presence was looked up)
        const bool throughPulse = pulse && GoesThroughPulse(kServerPcms[i]);
        // probing them would wait as long as the server that does not answer
        if (server.Silent && throughPulse)
            continue;
        auto hint = std::find_if(hints.begin(), hints.end(),
                                 [&](const THint& h) { return h.Name == kServerPcms[i]; });
        const bool described = hint != hints.end() && !hint->Description.empty();
        Devices.push_back(HintDevice(kServerPcms[i],
                                     described ? hint->Description : kServerNames[i],
                                     hint != hints.end() ? hint->Direction : ""));
        if (answers && throughPulse)
            TakeServerCaps(Devices.back());
    }
    for (const TServerEndpoint& endpoint : server.Endpoints)
        Devices.push_back(EndpointDevice(endpoint));
    for (const THint& hint : hints) {
        const bool isServer =
            std::find(kServerPcms.begin(), kServerPcms.end(), hint.Name) != kServerPcms.end();
        if (!isServer && !hint.Description.empty() && IsListedPlugin(hint.Name)) {
            Devices.push_back(HintDevice(hint.Name, hint.Description, hint.Direction));
            if (answers && GoesThroughPulse(hint.Name.c_str()))
                TakeServerCaps(Devices.back());
        }
    }
    for (int card = -1; snd_card_next(&card) >= 0 && card >= 0;)
        ListCardDevices(card, Devices);
}

TAlsaDevice* TAlsaPlatform::TImpl::DeviceOf(THandle filter) {
    auto it = Filters.find(filter);
    return it == Filters.end() ? nullptr : &Devices[it->second];
}

TAlsaPin* TAlsaPlatform::TImpl::FindPin(THandle pin) const {
    std::lock_guard lock(PinsMutex);
    auto it = Pins.find(pin);
    return it == Pins.end() ? nullptr : it->second.get();
}

TAlsaPlatform::TAlsaPlatform(std::unique_ptr<ISoundServer> server)
    : impl_(std::make_unique<TImpl>(std::move(server))) {}

TAlsaPlatform::~TAlsaPlatform() = default;

void TAlsaPlatform::Load() {
    if (impl_->WakeFd < 0)
        RaiseSystemError(impl_->WakeError, "eventfd");
    snd_lib_error_set_handler(IgnoreAlsaMessage);
    impl_->ListDevices();
}

bool TAlsaPlatform::EnumDeviceInterface(uint32_t index, TDeviceInterface& device) {
    if (index >= impl_->Devices.size())
        return false;
    const TAlsaDevice& d = impl_->Devices[index];
    device.Render = d.HasPin[kAlsaPlaybackPin] ? iaPresent : iaNone;
    device.Capture = d.HasPin[kAlsaCapturePin] ? iaPresent : iaNone;
    device.Realtime = iaNone;
    device.PathFound = true;
    device.Path = d.Pcm;
    device.NameFound = true;
    device.FriendlyName = d.FriendlyName;
    device.Key = d.Key;
    return true;
}

// ALSA has no device handle of its own: a filter handle only names the device.
THandle TAlsaPlatform::OpenFilter(const std::string& path) {
    for (size_t i = 0; i < impl_->Devices.size(); ++i) {
        if (impl_->Devices[i].Pcm == path) {
            impl_->Filters[impl_->NextHandle] = i;
            return impl_->NextHandle++;
        }
    }
    RaiseAlsaError(-ENOENT, path);
}

void TAlsaPlatform::CloseFilter(THandle filter) noexcept { impl_->Filters.erase(filter); }

uint32_t TAlsaPlatform::PinCount(THandle filter) {
    if (!impl_->DeviceOf(filter))
        RaiseAlsaError(-EBADF, "PinCount");
    return 2;
}

TPinCommunication TAlsaPlatform::PinCommunication(THandle, uint32_t) { return pcSink; }

std::vector<TKsIdentifier> TAlsaPlatform::PinInterfaces(THandle, uint32_t) {
    return {{KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0}};
}

std::vector<TKsIdentifier> TAlsaPlatform::PinMediums(THandle, uint32_t) {
    return {{KSMEDIUMSETID_Standard, 0, 0}};
}

std::vector<TDataRange> TAlsaPlatform::PinDataRanges(THandle filter, uint32_t pinId) {
    TAlsaDevice* device = impl_->DeviceOf(filter);
    if (!device || pinId > kAlsaCapturePin)
        RaiseAlsaError(-EINVAL, "PinDataRanges");
    if (!device->HasPin[pinId])
        RaiseAlsaError(-ENOENT, device->Pcm);
    std::optional<TAlsaCaps>& caps = device->Caps[pinId];
    if (!caps)
        caps = Probe(device->Pcm, pinId == kAlsaPlaybackPin);
    if (caps->Error != 0)
        RaiseAlsaError(-caps->Error, device->Pcm);
    TDataRange range;
    range.MaxChannels = ToInt32(caps->MaxChannels);
    range.MinBits = INT_MAX;
    range.MaxBits = 0;
    for (snd_pcm_format_t format : caps->Formats) {
        range.MinBits = std::min(range.MinBits, BitsOf(format));
        range.MaxBits = std::max(range.MaxBits, BitsOf(format));
    }
    range.MinRate = ToInt32(caps->MinRate);
    range.MaxRate = ToInt32(caps->MaxRate);
    return {range};
}

TPinDataFlow TAlsaPlatform::PinDataFlow(THandle, uint32_t pinId) {
    return pinId == kAlsaPlaybackPin ? dfIn : pinId == kAlsaCapturePin ? dfOut : dfNone;
}

uint32_t TAlsaPlatform::PinInstanceCount(THandle, uint32_t) { return 1; }

void TAlsaPlatform::DataIntersection(THandle filter, uint32_t pinId,
                                     const std::vector<TDataRange>& ranges, TDataFormat& dataFormat,
                                     TWaveFormatExtensible& waveFormat) {
    const TAlsaDevice* device = impl_->DeviceOf(filter);
    if (!device || pinId > kAlsaCapturePin || ranges.empty())
        RaiseAlsaError(-EINVAL, "DataIntersection");
    const bool isRender = pinId == kAlsaPlaybackPin;
    // The first range carries the channel count asked for; later ones only widen the limit.
    const auto wanted = static_cast<unsigned>(std::max(ranges.front().MaxChannels, 1));
    TFirstError first;
    for (const TDataRange& range : ranges) {
        for (const std::string& name : {device->Pcm, device->Plug}) {
            if (name.empty())
                continue;
            const int err = Intersect(name, isRender, !device->Plug.empty() && name == device->Pcm,
                                      range, wanted, waveFormat);
            if (err == 0) {
                dataFormat = PcmDataFormat();
                return;
            }
            first.Note(err, name);
        }
    }
    first.Raise();
}

THandle TAlsaPlatform::CreatePin(THandle filter, const TPinConnect& connect, const TDataFormat&,
                                 const TWaveFormatExtensible& waveFormat, bool forWriting,
                                 int32_t framesPerBuffer) {
    const TAlsaDevice* device = impl_->DeviceOf(filter);
    const uint32_t expectedPin = forWriting ? kAlsaPlaybackPin : kAlsaCapturePin;
    const snd_pcm_format_t format = AlsaFormatOf(waveFormat);
    if (!device || connect.PinId != expectedPin || format == SND_PCM_FORMAT_UNKNOWN ||
        framesPerBuffer < 1)
        RaiseAlsaError(-EINVAL, "CreatePin");
    auto created = std::make_unique<TAlsaPin>();
    if (device->Endpoint && impl_->Server)
        created->Guard = impl_->Server->Guard(*device->Endpoint);
    created->Label = device->FriendlyName + (forWriting ? " (playback)" : " (capture)");
    TFirstError first;
    for (const std::string& name : {device->Pcm, device->Plug}) {
        if (name.empty() || created->Pcm)
            continue;
        first.Note(OpenConfiguredPcm(name, forWriting, format, waveFormat.nChannels,
                                     waveFormat.nSamplesPerSec,
                                     static_cast<snd_pcm_uframes_t>(framesPerBuffer), *created),
                   name);
    }
    if (!created->Pcm)
        first.Raise();
    std::lock_guard lock(impl_->PinsMutex);
    const THandle pin = impl_->NextHandle++;
    impl_->Pins[pin] = std::move(created);
    return pin;
}

void TAlsaPlatform::ClosePin(THandle pin) noexcept {
    std::unique_ptr<TAlsaPin> closing; // its PCM closes outside the lock
    std::lock_guard lock(impl_->PinsMutex);
    auto it = impl_->Pins.find(pin);
    if (it == impl_->Pins.end())
        return;
    closing = std::move(it->second);
    impl_->Pins.erase(it);
}

THandle TAlsaPlatform::CreateEvent() { return impl_->Events.Create(); }

void TAlsaPlatform::CloseEvent(THandle event) noexcept { impl_->Events.Close(event); }

void TAlsaPlatform::SetEvent(THandle event) { impl_->Events.Set(event); }

void TAlsaPlatform::ResetEvent(THandle event) { impl_->Events.Reset(event); }

uint64_t TAlsaPlatform::XrunCount(THandle pin) const {
    const TAlsaPin* p = impl_->FindPin(pin);
    return p ? p->Xruns.load() : 0;
}

} // namespace sonari
