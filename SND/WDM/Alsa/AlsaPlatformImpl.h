#pragma once

// Shared by the ALSA platform's two source files; nothing else includes ALSA.

#include "SND/SndTypes.h"
#include "SND/WDM/Alsa/AlsaHandles.h"
#include "SND/WDM/Alsa/AlsaPlatform.h"
#include "SND/WDM/PlatformEvents.h"

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sonari {

constexpr uint32_t kAlsaPlaybackPin = 0;
constexpr uint32_t kAlsaCapturePin = 1;

// What one direction of a device can do, from its hw-params ranges.
struct TAlsaCaps {
    int Error = 0; // errno when the device could not be probed
    unsigned MinChannels = 0;
    unsigned MaxChannels = 0;
    unsigned MinRate = 0;
    unsigned MaxRate = 0;
    std::vector<snd_pcm_format_t> Formats; // integer formats, widest first
};

struct TAlsaDevice {
    std::string Pcm;  // name to open
    std::string Plug; // the same device through the plug converter; empty when none
    std::string FriendlyName;
    std::array<bool, 2> HasPin{}; // [kAlsaPlaybackPin], [kAlsaCapturePin]
    std::array<std::optional<TAlsaCaps>, 2> Caps;
    // The device's identity: Pcm, or an endpoint's server name.
    std::string Key;
    // Set for a sound server's output or input.
    std::optional<TServerEndpoint> Endpoint;
};

struct TAlsaRequest {
    uint8_t* Data = nullptr;
    snd_pcm_uframes_t Frames = 0;
    snd_pcm_uframes_t Done = 0;
    THandle Event = 0;
};

// A created pin: an open, configured PCM and its queue of buffers.
struct TAlsaPin {
    // Ends the stream if its endpoint goes away; outlives the PCM.
    std::unique_ptr<IEndpointGuard> Guard;
    std::string Label; // device and direction, for messages
    TPcm Pcm;
    bool IsRender = false;
    bool Shift24 = false; // S24_LE on the device; the layer sees it high-aligned in 32 bits
    size_t FrameBytes = 0;
    snd_pcm_uframes_t RequestFrames = 0;
    unsigned Rate = 0;
    snd_pcm_uframes_t BufferFrames = 0;
    TKsState State = ksStop;
    std::array<TAlsaRequest, 4> Queue{};
    size_t Head = 0;
    size_t Count = 0;
    int DescriptorCount = 0;
    std::atomic<uint64_t> Xruns{0};
    std::atomic<double> Delay{-1.0}; // frames, as last measured; negative while unknown
    int64_t LastProgressNs = 0;
    TByteArray Scratch; // room for discarded capture frames; silence for playback
};

struct TAlsaPlatform::TImpl {
    explicit TImpl(std::unique_ptr<ISoundServer> server);
    ~TImpl();
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;

    TAlsaDevice* DeviceOf(THandle filter);
    TAlsaPin* FindPin(THandle pin) const;
    void ListDevices();

    // Null: no sound-server endpoints.
    std::unique_ptr<ISoundServer> Server;
    int WakeFd = -1;   // eventfd: SetEvent from another thread wakes the poll
    int WakeError = 0; // why it could not be made
    TEventTable Events;
    std::vector<TAlsaDevice> Devices;
    std::map<THandle, size_t> Filters;
    mutable std::mutex PinsMutex; // the pin table; each pin is used by one thread at a time
    std::map<THandle, std::unique_ptr<TAlsaPin>> Pins;
    THandle NextHandle = 1;
};

// Opens a PCM with exactly this format, channels and rate, asking for two periods of
// `frames`; the device may grant other sizes. Returns 0 or a negative ALSA error, leaving
// `pin` as it was.
int OpenConfiguredPcm(const std::string& name, bool isRender, snd_pcm_format_t format,
                      unsigned channels, unsigned rate, snd_pcm_uframes_t frames, TAlsaPin& pin);

int64_t MonotonicNs();

// Raises EOSError for a negative ALSA error with ALSA's words for it, after `subject`.
[[noreturn]] void RaiseAlsaError(int err, const std::string& subject);

} // namespace sonari
