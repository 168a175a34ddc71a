#pragma once

#include "SND/WDM/Synchronize.h"
#include "SND/WDM/WdmAudio.h"
#include "SND/WDM/WdmErrors.h"
#include "SND/WDM/WdmStream.h"
#include "tests/SND/WDM/Sim/SimTestPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sonari::test {

// The code and full message (the platform's reason included) of the audio-layer error `action`
// raised; {0, ""} when it raised none.
template <typename F>
std::pair<int, std::string> WdmErrorOf(F action) {
    try {
        action();
    } catch (const EWdmAudioError& e) {
        return {e.Code, ErrorMessage(e)};
    }
    return {0, ""};
}

// Every device's caption, in the list's order.
inline std::vector<std::string> DeviceNames(const TWdmAudio& audio) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < audio.DeviceCount(); ++i)
        names.push_back(audio.DeviceName(i));
    return names;
}

// A simulated platform with a hand-driven clock and faults to plant, the device list over it
// and the main-thread side of the hand-over. Add devices to Sim, then call Build().
class TSimFixture : public ::testing::Test {
protected:
    explicit TSimFixture(TSimPlatform::TClock clock = TSimPlatform::scManual)
        : owned_(std::make_unique<TSimTestPlatform>(clock)), Sim(*owned_) {}

    TWdmAudio& Build() {
        Audio = std::make_unique<TWdmAudio>(std::move(owned_));
        return *Audio;
    }

    // Serves the hand-over until the streaming thread waits for the clock or has ended.
    void Settle(const TWdmAudioStream& stream) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            Sync.CheckSynchronize(std::chrono::milliseconds(1));
            if (Sim.WaiterIdle() || !stream.Running()) {
                Sync.CheckSynchronize();
                return;
            }
        }
        FAIL() << "the streaming thread did not settle";
    }

    // Moves the clock on by `periods` buffers of `frames` at `rate`, one at a time. A streaming
    // thread that has not queued its first buffers yet (a slow start, under a sanitizer) would
    // see the clock pass them: it is waited for first.
    void Run(const TWdmAudioStream& stream, int periods, int frames = 480, int rate = 48000) {
        Settle(stream);
        for (int i = 0; i < periods; ++i) {
            Sim.Advance(std::chrono::nanoseconds(int64_t{frames} * 1'000'000'000 / rate));
            Settle(stream);
        }
    }

private:
    std::unique_ptr<TSimTestPlatform> owned_;

protected:
    TSimTestPlatform& Sim;
    std::unique_ptr<TWdmAudio> Audio;
    TSynchronizer Sync;
};

} // namespace sonari::test
