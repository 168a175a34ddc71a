#include "SND/WDM/Alsa/AlsaPlatform.h"

#include "SND/WDM/WdmPins.h"
#include "tests/SND/WDM/SimFixture.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

// ALSA without sound hardware: a configuration of our own whose "null" PCMs take any format
// and move data as fast as they are asked, which exercises listing, negotiation and the
// streaming loop (no timing: that is the end-to-end test's business). The pulse plugin's PCM is
// a null one too, so a sound server of the test's own can offer endpoints.

namespace sonari {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class AlsaPlatform : public ::testing::Test {
protected:
    static const test::TTempDir& Dir() {
        static const test::TTempDir dir("sonari-alsa");
        return dir;
    }
    static std::filesystem::path Played() { return Dir() / "played.raw"; }
    static std::filesystem::path Spoken() { return Dir() / "spoken.raw"; }

    static void SetUpTestSuite() {
        // The only ALSA configuration of this process, read at its first ALSA call.
        const test::TTempDir& dir = Dir();
        test::WriteFileBytes(Spoken(), std::string(8 << 20, '\x01'));
        test::WriteFileBytes(dir / "asound.conf",
                             // the microphone hears what is in a file, nowhere silent
                             "pcm.nullmic { type file; slave.pcm { type null } file "
                             "\"/dev/null\" infile \"" +
                                 Spoken().string() +
                                 "\" format raw; hint { show on; description \"Null "
                                 "microphone\" } }\n"
                                 // what the speaker is given goes to a file as well
                                 "pcm.nullspk { type file; slave.pcm { type null } file \"" +
                                 Played().string() +
                                 "\" format raw; hint { show on; description \"Null "
                                 "speaker\" } }\n"
                                 "pcm.lavrate { type null; hint { show on; description \"A "
                                 "converter\" } }\n"
                                 "pcm.undescribed { type null }\n"
                                 // the pulse plugin's PCM as a null one that takes the argument
                                 "pcm.pulse { @args [ DEVICE ] @args.DEVICE { type string; default "
                                 "\"\" } type null }\n");
        setenv("ALSA_CONFIG_PATH", (dir / "asound.conf").c_str(), 1);
    }

    // A duplex stream from `input` to `output` served until it handed over `blocks` blocks (or
    // ten seconds passed); the blocks it handed over.
    int Stream(TWdmAudio& audio, TDeviceSettings input, TDeviceSettings output, int blocks,
               const std::function<void(TWdmAudioStream&)>& started = {},
               const std::function<void(TDataBufferF& in, TDataBufferF& out)>& data = {}) {
        TWdmAudioStream stream(audio, Sync);
        stream.SetDirections(ddBoth);
        stream.SetInputDevice(input);
        stream.SetOutputDevice(output);
        int handled = 0;
        stream.OnData = [&](TWdmAudioStream&, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
            ++handled;
            if (data)
                data(in, out);
            else
                out[0] = in.back();
        };
        stream.OnStreamEnded = [](const std::string& reason) { ADD_FAILURE() << reason; };
        stream.Start();
        if (started)
            started(stream);
        for (const auto end = std::chrono::steady_clock::now() + 10s;
             handled < blocks && std::chrono::steady_clock::now() < end;)
            Sync.CheckSynchronize(10ms);
        stream.Stop();
        EXPECT_EQ(stream.XrunCount(), 0u);
        return handled;
    }

    TWdmAudio Audio{std::make_unique<TAlsaPlatform>()};
    TSynchronizer Sync;
};

// Endpoints as given; the guards asked for are noted.
class TFakeServer : public ISoundServer {
public:
    struct TGuard : IEndpointGuard {
        bool Removed() const override { return false; }
    };
    TFakeServer(std::vector<TServerEndpoint> endpoints, std::vector<std::string>& guarded)
        : endpoints_(std::move(endpoints)), guarded_(guarded) {}
    TServerListing Endpoints() override { return {endpoints_, false}; }
    std::unique_ptr<IEndpointGuard> Guard(const TServerEndpoint& endpoint) override {
        guarded_.push_back(endpoint.Name);
        return std::make_unique<TGuard>();
    }

private:
    std::vector<TServerEndpoint> endpoints_;
    std::vector<std::string>& guarded_;
};

TEST_F(AlsaPlatform, ServerEndpointsFollowTheServerPcmsAndStreamThroughThePluginByName) {
    std::vector<std::string> guarded;
    const std::string codec = "alsa_output.usb-Burr-Brown_from_TI_USB_Audio_CODEC-00.analog-stereo";
    TWdmAudio audio(std::make_unique<TAlsaPlatform>(std::make_unique<TFakeServer>(
        std::vector<TServerEndpoint>{{"radio_tx", "Radio-TX", true},
                                     {codec, "USB Audio CODEC Analog Stereo", true},
                                     {"mic \"1\"", "Mic", false}},
        guarded)));
    EXPECT_THAT(test::DeviceNames(audio),
                ElementsAre("01  PulseAudio Sound Server", "02  Radio-TX",
                            "03  USB Audio CODEC Analog Stereo", "04  Mic", "05  Null microphone",
                            "06  Null speaker"));
    EXPECT_EQ(audio.DeviceKey(1), "radio_tx");
    EXPECT_EQ(audio.DeviceKey(2), codec);
    EXPECT_EQ(audio.DeviceKey(3), "mic \"1\"");
    // the server converts: no probe, the processing rates up to 192 kHz
    const TDeviceCaps caps = audio.GetCaps(1, true);
    EXPECT_EQ(caps.MinRate, 12000);
    EXPECT_EQ(caps.MaxRate, 192000);
    EXPECT_FALSE(audio.HasPin(1, false));
    EXPECT_FALSE(audio.HasPin(3, true));

    // a name with dots, dashes and quotes reaches the plugin as one argument
    EXPECT_GE(Stream(audio, {3, 2, 32, 12000, 1024}, {2, 2, 32, 12000, 1024}, 5), 5);
    EXPECT_THAT(guarded, ::testing::UnorderedElementsAre(codec, "mic \"1\""));
}

// Described PCMs are listed, but neither converters nor servers that are not configured here
// ("default", "pipewire").
TEST_F(AlsaPlatform, ListsDescribedPcmsNegotiatesTheWidestFormatAndStreamsUntilStopped) {
    EXPECT_THAT(test::DeviceNames(Audio), ElementsAre("01  PulseAudio Sound Server",
                                                      "02  Null microphone", "03  Null speaker"));
    EXPECT_EQ(Audio.DeviceKey(0), "pulse");
    EXPECT_EQ(Audio.DeviceKey(1), "nullmic");
    const int blocks = Stream(Audio, {1, 2, 16, 48000, 1024}, {2, 1, 16, 48000, 1024}, 200,
                              [](TWdmAudioStream& stream) {
                                  EXPECT_EQ(stream.InputDevice().Channels, 2);
                                  EXPECT_EQ(stream.InputDevice().BitsPerSample, 32);
                                  EXPECT_EQ(stream.OutputDevice().Channels, 1);
                                  EXPECT_EQ(stream.OutputDevice().BitsPerSample, 32);
                              });
    EXPECT_GE(blocks, 200);
}

// Playback starts with two buffers of silence, so that a block finds about one still queued,
// and short buffers get silence ahead of them up to the margin (128 frames at 12 kHz). What the
// stream hears and plays comes whole after that.
TEST_F(AlsaPlatform, PlaybackStartsWithSilenceUpToItsMarginAndEveryBlockComesWhole) {
    for (const auto& [frames, silent] :
         {std::pair{64, 64 + 2 * 64}, {128, 2 * 128}, {1024, 2 * 1024}, {4096, 2 * 4096}}) {
        std::vector<TSingleArray> heard;
        int bits = 0;
        // enough blocks for the file to be written beyond the first ones
        const int blocks = Stream(
            Audio, {1, 1, 16, 12000, frames}, {2, 1, 16, 12000, frames}, 40,
            [&](TWdmAudioStream& stream) { bits = stream.OutputDevice().BitsPerSample; },
            [&](TDataBufferF& in, TDataBufferF& out) {
                if (heard.size() < 2)
                    heard.push_back(in[0]);
                std::fill(out[0].begin(), out[0].end(), 0x1p24f);
            });
        ASSERT_GE(blocks, 40) << frames;
        ASSERT_EQ(bits, 32) << "the widest format";

        for (const TSingleArray& block : heard)
            EXPECT_TRUE(std::none_of(block.begin(), block.end(), [](float x) { return x == 0; }))
                << frames;

        const std::string played = test::ReadFileBytes(Played());
        std::vector<int32_t> samples(played.size() / 4);
        std::memcpy(samples.data(), played.data(), samples.size() * 4);
        const auto sound =
            std::find_if(samples.begin(), samples.end(), [](int32_t x) { return x != 0; });
        EXPECT_EQ(sound - samples.begin(), silent) << frames;
        ASSERT_GE(samples.end() - sound, 2 * frames) << frames;
        EXPECT_TRUE(std::all_of(sound, sound + 2 * frames, [](int32_t x) { return x == 1 << 24; }))
            << frames;
    }
}

TEST_F(AlsaPlatform, FailuresCarryThePcmAndAlsasWordsForThem) {
    TFilter gone;
    gone.Path = "nosuchpcm";
    gone.Name = "09  Gone";
    EXPECT_EQ(test::WdmErrorOf([&] { OpenDevice(Audio.Platform(), gone); }).second,
              "Unable to open device: 09  Gone (nosuchpcm: No such file or directory)");

    IAudioPlatform& platform = Audio.Platform();
    const TFilterHandle speaker(platform, platform.OpenFilter("nullspk"));
    TDataRange noChannel;
    noChannel.MinBits = 16;
    noChannel.MaxBits = 32;
    noChannel.MinRate = noChannel.MaxRate = 48000;
    TDataFormat dataFormat;
    TWaveFormatExtensible waveFormat{};
    EXPECT_EQ(test::MessageOf<EOSError>([&] {
                  platform.DataIntersection(speaker.Get(), 0, {noChannel}, dataFormat, waveFormat);
              }),
              "nullspk: Invalid argument");
}

} // namespace
} // namespace sonari
