#pragma once

#include "SND/WDM/AudioPlatform.h"
#include "SND/WDM/SoundServer.h"

#include <memory>

namespace sonari {

// Sound devices through ALSA. Devices are the sound-server PCMs ("default", "pipewire",
// "pulse"), the outputs and inputs of a PulseAudio-compatible `server` (opened through the pulse
// plugin by their server names), PCMs the user defined with a description hint, and every
// card's hardware PCM devices (opened through "plughw" when "hw" cannot take the format). A
// device's key is its PCM name, an endpoint's its server name. A device's pins are its
// playback (pin 0) and capture (pin 1) directions; formats are integer PCM only. Queued buffers
// are served from WaitForAny, which polls the PCMs: single-threaded, no helper thread.
class TAlsaPlatform : public IAudioPlatform {
public:
    explicit TAlsaPlatform(std::unique_ptr<ISoundServer> server = nullptr);
    ~TAlsaPlatform() override;

    void Load() override;
    bool EnumDeviceInterface(uint32_t index, TDeviceInterface& device) override;
    THandle OpenFilter(const std::string& path) override;
    void CloseFilter(THandle filter) noexcept override;
    uint32_t PinCount(THandle filter) override;
    TPinCommunication PinCommunication(THandle filter, uint32_t pinId) override;
    std::vector<TKsIdentifier> PinInterfaces(THandle filter, uint32_t pinId) override;
    std::vector<TKsIdentifier> PinMediums(THandle filter, uint32_t pinId) override;
    std::vector<TDataRange> PinDataRanges(THandle filter, uint32_t pinId) override;
    TPinDataFlow PinDataFlow(THandle filter, uint32_t pinId) override;
    uint32_t PinInstanceCount(THandle filter, uint32_t pinId) override;
    void DataIntersection(THandle filter, uint32_t pinId, const std::vector<TDataRange>& ranges,
                          TDataFormat& dataFormat, TWaveFormatExtensible& waveFormat) override;
    THandle CreatePin(THandle filter, const TPinConnect& connect, const TDataFormat& dataFormat,
                      const TWaveFormatExtensible& waveFormat, bool forWriting,
                      int32_t framesPerBuffer) override;
    void ClosePin(THandle pin) noexcept override;
    void SetPinState(THandle pin, TKsState state) override;
    void ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) override;
    void WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) override;
    TRtAudioBuffer RtBuffer(THandle pin, uint32_t requestedBytes,
                            uint32_t notificationCount) override;
    void RegisterNotificationEvent(THandle pin, THandle event) override;
    void UnregisterNotificationEvent(THandle pin, THandle event) override;
    TAudioPosition Position(THandle pin) override;
    THandle CreateEvent() override;
    void CloseEvent(THandle event) noexcept override;
    void SetEvent(THandle event) override;
    void ResetEvent(THandle event) override;
    size_t WaitForAny(const THandle* events, size_t count) override;
    uint64_t XrunCount(THandle pin) const override;
    double DelayFrames(THandle pin) const override;
    bool WantsRealtimeScheduling() const override { return true; }
    // ALSA's pulse plugin talks to the sound server from a libpulse loop thread of its own.
    std::vector<pid_t> AudioHelperThreads() const override;

    struct TImpl;

private:
    std::unique_ptr<TImpl> impl_;
};

} // namespace sonari
