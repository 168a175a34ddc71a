#include "SND/WDM/DeviceSettings.h"

#include "SND/WDM/WdmErrors.h"

namespace sonari {

void CheckDeviceSettings(const TDeviceSettings& settings, int32_t deviceCount) {
    if (settings.Index < 0 || settings.Index >= deviceCount)
        RaiseWdmErrorFmt(wdmInvalidDevice, settings.Index);
    if (settings.Channels < 1)
        RaiseWdmErrorFmt(wdmInvalidChannels, settings.Channels);
    if (settings.BitsPerSample < 8 || settings.BitsPerSample > 32)
        RaiseWdmErrorFmt(wdmInvalidFormat, settings.BitsPerSample);
    if (settings.SamplingRate < 1000 || settings.SamplingRate > 200000)
        RaiseWdmErrorFmt(wdmInvalidRate, settings.SamplingRate);
    if (int64_t{settings.SamplesPerBuf} > 3 * int64_t{settings.SamplingRate})
        RaiseWdmErrorFmt(wdmBufferTooLarge, settings.SamplesPerBuf);
}

void CheckBufferMatch(const TDeviceSettings& input, const TDeviceSettings& output) {
    if (int64_t{input.SamplingRate} * output.SamplesPerBuf !=
        int64_t{output.SamplingRate} * input.SamplesPerBuf)
        RaiseWdmError(wdmBufferMismatch);
}

} // namespace sonari
