// Interoperability with sox and libsndfile's programs, both ways.

#include "SND/WavFile.h"

#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sonari {
namespace {

using test::ShellQuote;

std::string Shell(const std::string& command) {
    std::string output;
    EXPECT_EQ(test::RunCommand(command + " 2>&1", &output), 0) << command << "\n" << output;
    return output;
}

// One header field as soxi reports it. Its stderr is left out: sox 14.4.2 warns of a "missing
// extended part" on every extensible float file, a record it reads correctly all the same.
std::string Soxi(const std::string& option, const std::string& path) {
    std::string output;
    EXPECT_EQ(test::RunCommand("soxi " + option + " " + ShellQuote(path) + " 2>/dev/null", &output),
              0);
    return output;
}

// A whole file through sox into interleaved raw samples: 32-bit integers (on the same scale as
// ours) or floats as they are stored.
std::vector<float> SoxSamples(const std::string& path, bool isFloat) {
    const std::string raw = path + ".raw";
    Shell("sox -D " + ShellQuote(path) + " -t raw -e " + (isFloat ? "float" : "signed") +
          " -b 32 " + ShellQuote(raw));
    const std::string bytes = test::ReadFileBytes(raw);
    std::vector<float> samples(bytes.size() / 4);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (isFloat) {
            std::memcpy(&samples[i], bytes.data() + 4 * i, 4);
        } else {
            int32_t v;
            std::memcpy(&v, bytes.data() + 4 * i, 4);
            samples[i] = float(v);
        }
    }
    return samples;
}

std::vector<float> Interleaved(const TDataBufferF& data) {
    std::vector<float> samples;
    for (size_t f = 0; f < data[0].size(); ++f)
        for (const TSingleArray& channel : data)
            samples.push_back(channel[f]);
    return samples;
}

class WavInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"sox", "soxi", "sndfile-info", "sndfile-metadata-set"})
            ASSERT_TRUE(test::HaveProgram(program)) << program << " is needed";
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    test::TTempDir dir_{"sonari-interop"};
};

TEST_F(WavInteropTest, FilesWrittenHereAreReadBySoxAndLibsndfile) {
    const struct {
        uint32_t channels, bytes;
        bool isFloat;
        const char* soxEncoding;
    } formats[] = {{1, 1, false, "Unsigned Integer PCM"},
                   {2, 3, false, "Signed Integer PCM"},
                   {3, 4, true, "Floating Point PCM"},
                   {6, 2, false, "Signed Integer PCM"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(::testing::Message() << f.channels << " x " << f.bytes);
        const std::string path = Path("ours.wav");
        // A chirp at a level each width holds exactly, different in every channel.
        TDataBufferF data(f.channels, TSingleArray(301));
        const float step = f.isFloat ? 1.0f / 4096 : std::ldexp(1.0f, 32 - 8 * int(f.bytes));
        for (uint32_t c = 0; c < f.channels; ++c)
            for (size_t i = 0; i < 301; ++i)
                data[c][i] = step * std::round(100.0f * std::sin(0.001f * float(i * i) + float(c)));
        test::WriteWav(path, {f.channels, f.bytes, f.isFloat}, data,
                       {"ICMT=Sonari test, odd", "IART=Four"}, 24000);

        EXPECT_EQ(Soxi("-r", path), "24000\n");
        EXPECT_EQ(Soxi("-b", path), std::to_string(8 * f.bytes) + "\n");
        EXPECT_EQ(Soxi("-e", path), std::string(f.soxEncoding) + "\n");
        // channels and length are in the samples
        EXPECT_EQ(SoxSamples(path, f.isFloat), Interleaved(data));

        std::string info = Shell("sndfile-info " + ShellQuote(path));
        EXPECT_NE(info.find("ICMT : Sonari test, odd"), std::string::npos) << info;
        EXPECT_NE(info.find("IART : Four"), std::string::npos) << info;
        // No warnings from libsndfile but two remarks on the layout itself: a data size is
        // odd where RIFF pads, and float or extensible files have no "fact" chunk.
        for (const char* remark :
             {"*** 'data' chunk should be an even number of bytes in length.\n",
              "**** All non-PCM format files should have a 'fact' chunk.\n"})
            if (const size_t at = info.find(remark); at != std::string::npos)
                info.erase(at, std::strlen(remark));
        EXPECT_EQ(info.find("***"), std::string::npos) << info;
    }
}

// libsndfile stores values with a terminating zero; they read back with it, as stored.
TEST_F(WavInteropTest, InfoRewrittenByLibsndfileKeepsItsTerminatingZeros) {
    const std::string path = Path("ours.wav"), tagged = Path("tagged.wav");
    TKelWavFile wav;
    wav.SetFileName(path);
    wav.OpenWrite();
    wav.Write({{65536.0f, -65536.0f}});
    wav.Close();
    Shell("sndfile-metadata-set --str-comment Odd --str-title Four " + ShellQuote(path) + " " +
          ShellQuote(tagged));

    wav.SetFileName(tagged);
    wav.OpenRead();
    std::vector<std::string> info = wav.Info();
    std::sort(info.begin(), info.end());
    EXPECT_EQ(info, (std::vector<std::string>{std::string("ICMT=Odd\0", 9),
                                              std::string("INAM=Four\0\0", 11)}));
    EXPECT_EQ(wav.Read(2), (TDataBufferF{{65536.0f, -65536.0f}}));
}

} // namespace
} // namespace sonari
