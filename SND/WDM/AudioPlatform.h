#pragma once

#include "SND/Exceptions.h"
#include "SND/WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sonari {

// The kernel-streaming operations the audio layer relies on, and nothing more. The layer's rules
// (which devices and pins are kept, pin creation, the streaming thread) are written once above
// this interface; an implementation only answers the questions a driver would answer.

// A platform object: filter, pin or event. Closed filters are kClosedHandle; absent pins and
// events are 0.
using THandle = intptr_t;
constexpr THandle kClosedHandle = -1;

constexpr TGuid KSINTERFACESETID_Standard = {
    0x1A8766A0, 0x62CE, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr TGuid KSMEDIUMSETID_Standard = {
    0x4747B320, 0x62CE, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr TGuid KSDATAFORMAT_TYPE_AUDIO = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr TGuid KSDATAFORMAT_SPECIFIER_WAVEFORMATEX = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// Interface ids of the standard interface set.
constexpr uint32_t KSINTERFACE_STANDARD_STREAMING = 0;
constexpr uint32_t KSINTERFACE_STANDARD_LOOPED_STREAMING = 1;

enum TPinCommunication : uint32_t {
    pcNone = 0,
    pcSink = 1,
    pcSource = 2,
    pcBoth = 3,
    pcBridge = 4
};
enum TPinDataFlow : uint32_t { dfNone = 0, dfIn = 1, dfOut = 2 };
enum TKsState : uint32_t { ksStop = 0, ksAcquire = 1, ksPause = 2, ksRun = 3 };
// An alias of a device interface in another category.
enum TInterfaceAlias { iaNone, iaPresent, iaRemoved };

// One interface or medium entry of a pin.
struct TKsIdentifier {
    TGuid Set{};
    uint32_t Id = 0;
    uint32_t Flags = 0;
};

// An audio data range; entries of other formats keep their GUIDs and zero limits.
struct TDataRange {
    TGuid MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    TGuid SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    TGuid Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    int32_t MaxChannels = 0;
    int32_t MinBits = 0;
    int32_t MaxBits = 0;
    int32_t MinRate = 0;
    int32_t MaxRate = 0;
};

// Connection request handed to pin creation.
struct TPinConnect {
    TKsIdentifier Interface;
    TKsIdentifier Medium;
    uint32_t PinId = 0;
    THandle PinToHandle = 0;
    uint32_t PriorityClass = 0x40000000; // KSPRIORITY_NORMAL
    uint32_t PrioritySubClass = 1;
};

// Format header that precedes the wave format.
struct TDataFormat {
    uint32_t FormatSize = 0;
    uint32_t Flags = 0;
    uint32_t SampleSize = 0;
    uint32_t Reserved = 0;
    TGuid MajorFormat{};
    TGuid SubFormat{};
    TGuid Specifier{};
};

// Cyclic buffer of a real-time pin.
struct TRtAudioBuffer {
    uint8_t* BufferAddress = nullptr;
    uint32_t ActualBufferSize = 0; // bytes
    bool CallMemoryBarrier = false;
};

// Byte offsets of a real-time pin within its cyclic buffer; their meaning is the platform's.
struct TAudioPosition {
    uint64_t PlayOffset = 0;
    uint64_t WriteOffset = 0;
};

// One entry of the audio device-interface class, as the device registry describes it.
struct TDeviceInterface {
    TInterfaceAlias Render = iaNone;
    TInterfaceAlias Capture = iaNone;
    TInterfaceAlias Realtime = iaNone;
    bool PathFound = false; // the interface detail could be read
    std::string Path;
    bool NameFound = false; // the registry holds a friendly name
    std::string FriendlyName;
    std::string Key; // stays the same while the device exists, whatever its position; "" = Path
};

// A device with I/O queued for the events waited on failed for good (unplugged, sound server
// gone); the message names the device and the cause.
class EDeviceLost : public EOSError {
public:
    using EOSError::EOSError;
};

// Raises EOSError for `error` (an errno value) with the system's words for it, after `subject`
// when there is one: "hw:CARD=PCH,DEV=0: Device or resource busy".
[[noreturn]] void RaiseSystemError(int error, const std::string& subject = {});

// The range offers PCM audio described by a wave format.
bool IsPcmAudioRange(const TDataRange& range);
// The header of a PCM wave format with the extensible record behind it.
TDataFormat PcmDataFormat();

// Errors: an operation that fails raises EOSError carrying the platform's error number and its
// own words for the failure, naming the device where it knows one; no result reports a failure.
// The layer turns these into its coded errors and carries the words along, so the operator
// reads why. Closing never fails, so owners may close from destructors.
class IAudioPlatform {
public:
    virtual ~IAudioPlatform() = default;

    // Loads what the platform needs and takes stock of the devices; raises when the platform is
    // unavailable. Called again, with nothing open, to take stock anew.
    virtual void Load() = 0;
    // Interface number `index` of the audio class; false when there are no more.
    virtual bool EnumDeviceInterface(uint32_t index, TDeviceInterface& device) = 0;

    // Opens a device exclusively.
    virtual THandle OpenFilter(const std::string& path) = 0;
    virtual void CloseFilter(THandle filter) noexcept = 0;

    // Pin properties of a filter.
    virtual uint32_t PinCount(THandle filter) = 0;
    virtual TPinCommunication PinCommunication(THandle filter, uint32_t pinId) = 0;
    virtual std::vector<TKsIdentifier> PinInterfaces(THandle filter, uint32_t pinId) = 0;
    virtual std::vector<TKsIdentifier> PinMediums(THandle filter, uint32_t pinId) = 0;
    virtual std::vector<TDataRange> PinDataRanges(THandle filter, uint32_t pinId) = 0;
    virtual TPinDataFlow PinDataFlow(THandle filter, uint32_t pinId) = 0;
    virtual uint32_t PinInstanceCount(THandle filter, uint32_t pinId) = 0;

    // The driver's format for the first of `ranges` it can serve.
    virtual void DataIntersection(THandle filter, uint32_t pinId,
                                  const std::vector<TDataRange>& ranges, TDataFormat& dataFormat,
                                  TWaveFormatExtensible& waveFormat) = 0;
    // Creates a pin with that format and returns it. Buffers of `framesPerBuffer` frames will be
    // queued, so the platform may size the device's own.
    virtual THandle CreatePin(THandle filter, const TPinConnect& connect,
                              const TDataFormat& dataFormat,
                              const TWaveFormatExtensible& waveFormat, bool forWriting,
                              int32_t framesPerBuffer) = 0;
    virtual void ClosePin(THandle pin) noexcept = 0;
    virtual void SetPinState(THandle pin, TKsState state) = 0;

    // Queue one buffer of whole frames; `event` is set when it has been filled (read) or taken
    // (write). The buffer belongs to the platform until then.
    virtual void ReadStream(THandle pin, uint8_t* data, size_t bytes, THandle event) = 0;
    virtual void WriteStream(THandle pin, uint8_t* data, size_t bytes, THandle event) = 0;

    // Real-time pins.
    virtual TRtAudioBuffer RtBuffer(THandle pin, uint32_t requestedBytes,
                                    uint32_t notificationCount) = 0;
    virtual void RegisterNotificationEvent(THandle pin, THandle event) = 0;
    virtual void UnregisterNotificationEvent(THandle pin, THandle event) = 0;
    virtual TAudioPosition Position(THandle pin) = 0;

    // Manual-reset events, initially clear. SetEvent may be called from any thread.
    virtual THandle CreateEvent() = 0;
    virtual void CloseEvent(THandle event) noexcept = 0;
    virtual void SetEvent(THandle event) = 0;
    virtual void ResetEvent(THandle event) = 0;
    // Position in `events` of the first signalled one, waiting without time limit while the
    // devices make progress. Raises EDeviceLost when a device with I/O queued for one of these
    // events failed for good, EOSError when the wait itself failed.
    virtual size_t WaitForAny(const THandle* events, size_t count) = 0;

    // Interruptions the pin's device recovered from (overruns, underruns, trimmed delay); any
    // thread.
    virtual uint64_t XrunCount(THandle pin) const = 0;
    // The devices keep time of their own, so the streaming thread deserves real-time scheduling.
    // A simulation whose clock follows the thread must not have it: it would spin at that
    // priority.
    virtual bool WantsRealtimeScheduling() const { return false; }
    // Threads of the platform's libraries that carry the audio beside the streaming thread (a
    // sound server client's own loop): they get the streaming thread's scheduling, or a busy
    // machine starves them instead. Called while streaming.
    virtual std::vector<pid_t> AudioHelperThreads() const { return {}; }
    // Frames between the device and the pin's buffers as the device last reported it: for
    // capture, what it has taken in but not yet delivered; for render, what it has been given
    // but not yet played. Negative while unknown. Any thread.
    virtual double DelayFrames(THandle) const { return -1.0; }
};

} // namespace sonari
