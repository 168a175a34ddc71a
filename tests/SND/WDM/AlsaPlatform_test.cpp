#include "SND/WDM/Alsa/AlsaPlatform.h"

#include "SND/WDM/WdmErrors.h"
#include "SND/WDM/WdmPins.h"
#include "SND/WDM/WdmStream.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

// ALSA without sound hardware: a configuration of our own whose "null" PCMs take any format
// and move data as fast as they are asked, which exercises listing, negotiation and the
// streaming loop (no timing: that is the end-to-end test's business).

namespace sonari {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class AlsaPlatform : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The only ALSA configuration of this process, read at its first ALSA call.
        static const test::TTempDir dir("sonari-alsa");
        test::WriteFileBytes(dir / "asound.conf",
                             "pcm.nullmic { type null; hint { show on; description \"Null "
                             "microphone\" } }\n"
                             "pcm.nullspk { type null; hint { show on; description \"Null "
                             "speaker\" } }\n"
                             "pcm.lavrate { type null; hint { show on; description \"A "
                             "converter\" } }\n"
                             "pcm.undescribed { type null }\n");
        setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
    }

    TWdmAudio Audio{std::make_unique<TAlsaPlatform>()};
    TSynchronizer Sync;
};

std::vector<std::string> Names(const TWdmAudio& audio) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < audio.DeviceCount(); ++i)
        names.push_back(audio.DeviceName(i));
    return names;
}

TEST_F(AlsaPlatform, ListsDescribedPcmsButNeitherConvertersNorMissingServers) {
    // "default", "pipewire" and "pulse" are not configured here, so they drop out.
    EXPECT_THAT(Names(Audio), ElementsAre("01  Null microphone", "02  Null speaker"));
    const TDeviceCaps caps = Audio.GetCaps(0, false);
    EXPECT_TRUE(caps.Found);
    EXPECT_EQ(caps.MinBits, 16);
    EXPECT_EQ(caps.MaxBits, 32);
    EXPECT_TRUE(Audio.HasPin(1, true));
}

TEST_F(AlsaPlatform, NegotiatesTheWidestFormatAndStreamsUntilStopped) {
    TWdmAudioStream stream(Audio, Sync);
    stream.SetDirections(ddBoth);
    stream.SetInputDevice({0, 2, 16, 48000, 1024});
    stream.SetOutputDevice({1, 1, 16, 48000, 1024});
    int blocks = 0;
    bool silent = true;
    stream.OnData = [&](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        ++blocks;
        for (const TSingleArray& channel : in)
            for (float x : channel)
                silent = silent && x == 0.0f;
        out[0] = in[1];
    };
    std::vector<std::string> ended;
    stream.OnStreamEnded = [&](const std::string& reason) { ended.push_back(reason); };
    stream.Start();
    EXPECT_EQ(stream.InputDevice().Channels, 2);
    EXPECT_EQ(stream.InputDevice().BitsPerSample, 32);
    EXPECT_EQ(stream.OutputDevice().Channels, 1);
    EXPECT_EQ(stream.OutputDevice().BitsPerSample, 32);
    for (const auto end = std::chrono::steady_clock::now() + 10s;
         blocks < 200 && std::chrono::steady_clock::now() < end;)
        Sync.CheckSynchronize(10ms);
    stream.Stop();
    EXPECT_GE(blocks, 200);
    EXPECT_TRUE(silent);
    EXPECT_EQ(stream.XrunCount(), 0u);
    EXPECT_TRUE(ended.empty());
}

TEST_F(AlsaPlatform, FailuresCarryThePcmAndAlsasWordsForThem) {
    TFilter gone;
    gone.Path = "nosuchpcm";
    gone.Name = "09  Gone";
    try {
        OpenDevice(Audio.Platform(), gone);
        FAIL();
    } catch (const EWdmAudioError& e) {
        EXPECT_EQ(ErrorMessage(e),
                  "Unable to open device: 09  Gone (nosuchpcm: No such file or directory)");
    }

    IAudioPlatform& platform = Audio.Platform();
    const TFilterHandle speaker(platform, platform.OpenFilter("nullspk"));
    TDataRange noChannel;
    noChannel.MinBits = 16;
    noChannel.MaxBits = 32;
    noChannel.MinRate = noChannel.MaxRate = 48000;
    TDataFormat dataFormat;
    TWaveFormatExtensible waveFormat{};
    try {
        platform.DataIntersection(speaker.Get(), 0, {noChannel}, dataFormat, waveFormat);
        FAIL();
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), EINVAL);
        EXPECT_STREQ(e.what(), "nullspk: Invalid argument");
    }
}

} // namespace
} // namespace sonari
