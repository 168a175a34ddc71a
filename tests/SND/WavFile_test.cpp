#include "SND/WavFile.h"

#include "SND/Exceptions.h"
#include "tests/SND/WavTestFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace sonari {
namespace {

using test::Chunk;
using test::ExtensibleTail;
using test::FormatBody;
using test::Le16;
using test::Le32;
using test::Riff;
using test::TFormatSpec;
using test::WriteWav;
using namespace std::string_literals;

TDataBufferF ReadAll(TKelWavFile& wav, const std::string& path) {
    wav.SetFileName(path);
    wav.OpenRead();
    TDataBufferF data = wav.Read(wav.SampleCount());
    wav.Close();
    return data;
}

std::string ErrorOf(const std::function<void()>& action) {
    return test::MessageOf<Exception>(action);
}

class WavFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Make(const std::string& name, const std::string& bytes) const {
        test::WriteFileBytes(dir_ / name, bytes);
        return Path(name);
    }
    std::string Bytes(const std::string& name) const { return test::ReadFileBytes(dir_ / name); }

    test::TTempDir dir_{"sonari-wav"};
};

// Whole files byte for byte: the header layout of every format the writer chooses.
TEST_F(WavFileTest, HeadersAreWrittenByteForByte) {
    const std::string pcm = Le16(0), ext = Le16(22);
    const struct {
        TFormatSpec spec;
        std::string format;
    } cases[] = {
        {{2, 1, false}, FormatBody(1, 2, 12000, 2, 8) + pcm},
        {{2, 3, false}, FormatBody(0xFFFE, 2, 12000, 6, 24) + ext + ExtensibleTail(24, 3, 1)},
        {{1, 4, false}, FormatBody(0xFFFE, 1, 12000, 4, 32) + ext + ExtensibleTail(32, 0, 1)},
        {{2, 4, true}, FormatBody(3, 2, 12000, 8, 32) + pcm},
        {{3, 4, true}, FormatBody(0xFFFE, 3, 12000, 12, 32) + ext + ExtensibleTail(32, 0, 3)},
        {{3, 2, false}, FormatBody(0xFFFE, 3, 12000, 6, 16) + ext + ExtensibleTail(16, 0, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.spec.channels << " x " << c.spec.bytes);
        // Frame values 1 LSB, -1 LSB in every channel: easy to spell out in bytes.
        const float lsb = c.spec.isFloat ? 1.0f : std::ldexp(1.0f, 32 - 8 * int(c.spec.bytes));
        TDataBufferF data(c.spec.channels, TSingleArray{lsb, -lsb});
        WriteWav(Path("h.wav"), c.spec, data);
        // integers little-endian, 8 bits with an offset of 128
        const uint32_t zero = c.spec.bytes == 1 ? 0x80 : 0;
        const std::string one =
            c.spec.isFloat ? Le32(0x3F800000) : Le32(zero + 1).substr(0, c.spec.bytes);
        const std::string minusOne =
            c.spec.isFloat ? Le32(0xBF800000) : Le32(zero - 1).substr(0, c.spec.bytes);
        std::string samples;
        for (const std::string& value : {one, minusOne})
            for (uint32_t ch = 0; ch < c.spec.channels; ++ch)
                samples += value;
        const std::string expected = Riff("WAVE", Chunk("fmt ", c.format) + Chunk("data", samples));
        EXPECT_EQ(Bytes("h.wav"), expected);
    }
}

TEST_F(WavFileTest, OddDataAndInfoGetPadBytesBadInfoIsDroppedAndDestructionCompletesTheFile) {
    const TDataBufferF data{{0.0f, 16777216.0f, -16777216.0f}};
    {
        // destroyed while still being written: it completes the file
        TKelWavFile open;
        open.SetFileName(Path("i.wav"));
        open.SetSamplesPerSec(12000);
        open.SetBytesPerSample(1);
        open.SetInfo({"INAM=Four", "bad", "IART=", "ICMTxno", "ICMT=Odd", "ISFT=x"});
        open.OpenWrite();
        open.Write(data);
    }
    const std::string list =
        Chunk("LIST", "INFO" + Chunk("INAM", "Four") + Chunk("ICMT", "Odd") + Chunk("ISFT", "x"));
    const std::string expected =
        Riff("WAVE", Chunk("fmt ", FormatBody(1, 1, 12000, 1, 8) + Le16(0)) +
                         Chunk("data", "\x80\x81\x7F") + list);
    EXPECT_EQ(Bytes("i.wav"), expected);

    TKelWavFile wav;
    EXPECT_EQ(ReadAll(wav, Path("i.wav")), data);
    EXPECT_EQ(wav.Info(), (std::vector<std::string>{"INAM=Four", "ICMT=Odd", "ISFT=x"}));

    // Nothing left of the info: no list at all, in the default format.
    TKelWavFile empty;
    empty.SetFileName(Path("e.wav"));
    empty.SetInfo({"IART=", "x"});
    empty.OpenWrite();
    empty.Close();
    EXPECT_TRUE(empty.Info().empty());
    EXPECT_EQ(Bytes("e.wav"), Riff("WAVE", Chunk("fmt ", FormatBody(1, 1, 11025, 2, 16) + Le16(0)) +
                                               Chunk("data", "")));
}

TEST_F(WavFileTest, EveryFormatReadsBackWhatWasWrittenWhateverThePieces) {
    for (TFormatSpec spec :
         {TFormatSpec{4, 1, false}, {3, 3, false}, {1, 4, false}, {5, 4, true}}) {
        SCOPED_TRACE(::testing::Message() << spec.channels << " x " << spec.bytes);
        // samples the width holds exactly, so the round trip must return them bit for bit
        std::mt19937 rng(spec.channels * 10 + spec.bytes);
        TDataBufferF data(spec.channels, TSingleArray(1000));
        const int shift = 32 - 8 * int(spec.bytes);
        std::uniform_int_distribution<int32_t> level(INT32_MIN >> shift, INT32_MAX >> shift);
        std::uniform_real_distribution<float> real(-3e9f, 3e9f);
        for (auto& channel : data)
            for (float& x : channel)
                x = spec.isFloat ? real(rng)
                                 : std::min(std::ldexp(float(level(rng)), shift), 2147483520.0f);
        TKelWavFile wav;
        wav.SetFileName(Path("r.wav"));
        wav.SetChannelCount(spec.channels);
        wav.SetSamplesPerSec(12000);
        wav.SetBytesPerSample(spec.bytes);
        wav.SetFloatFmt(spec.isFloat);
        wav.OpenWrite();
        for (size_t from = 0, piece = 1; from < 1000; from += piece, piece = piece * 3 + 1) {
            const size_t n = std::min(piece, 1000 - from);
            TDataBufferF part(spec.channels);
            for (uint32_t c = 0; c < spec.channels; ++c)
                part[c].assign(data[c].begin() + long(from), data[c].begin() + long(from + n));
            wav.Write(part);
        }
        wav.Close();

        wav.OpenRead();
        TDataBufferF joined = wav.Read(13);
        const TDataBufferF rest = wav.Read(2000); // past the end: the rest only
        for (uint32_t c = 0; c < spec.channels; ++c)
            joined[c].insert(joined[c].end(), rest[c].begin(), rest[c].end());
        EXPECT_EQ(joined, data);
        EXPECT_EQ(wav.Read(10), TDataBufferF(spec.channels));
    }
}

TEST_F(WavFileTest, IntegerFilesSaturateAtFullScaleInsteadOfWrapping) {
    const TDataBufferF loud{{3e9f, -3e9f, 2147483648.0f, INFINITY}};
    for (uint32_t bytes : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(bytes);
        WriteWav(Path("s.wav"), {1, bytes, false}, loud);
        const TSingleArray read = test::ReadWav(Path("s.wav")).Channels.at(0);
        const float top = 2147483648.0f - std::ldexp(1.0f, 32 - 8 * int(bytes));
        EXPECT_EQ(read, (TSingleArray{std::min(top, 2147483520.0f), -2147483648.0f,
                                      std::min(top, 2147483520.0f), std::min(top, 2147483520.0f)}));
    }
    TKelWavFile wav;
    wav.SetFileName(Path("n.wav"));
    wav.OpenWrite();
    EXPECT_THROW(wav.Write({{1.0f, NAN}}), ERangeError);
}

TEST_F(WavFileTest, FramesComeOnlyFromTheDataChunkOnlyWholeAndOnlyAsFarAsTheFileGoes) {
    const std::string fmt = Chunk("fmt ", FormatBody(1, 2, 12000, 4, 16));
    const std::string info = Chunk("LIST", "INFO" + Chunk("ICMT", "after"));
    // Ten data bytes: two stereo frames and a half.
    TKelWavFile wav;
    wav.SetFileName(
        Make("d.wav", Riff("WAVE", fmt + Chunk("data", "\1\0\2\0\3\0\4\0\5\0"s) + info)));
    wav.OpenRead();
    EXPECT_EQ(wav.SampleCount(), 2u);
    EXPECT_EQ(wav.Read(5), (TDataBufferF{{65536.0f, 196608.0f}, {131072.0f, 262144.0f}}));
    EXPECT_EQ(wav.Read(5), TDataBufferF(2));
    wav.Close();

    // Sizes beyond the end of the file, as streaming writers leave them.
    const std::string cut =
        "RIFF" + Le32(0xFFFFFFFF) + "WAVE" + fmt + "data" + Le32(0xFFFFFFFF) + "\1\0\2\0\3\0"s;
    wav.SetFileName(Make("cut.wav", cut));
    wav.OpenRead();
    EXPECT_EQ(wav.SampleCount(), 1u);
    EXPECT_EQ(wav.Read(100), (TDataBufferF{{65536.0f}, {131072.0f}}));
    wav.Close();

    // RIFF, LIST and item sizes all far beyond the end of the file; 12 bits in 16
    const std::string absurd = "RIFF" + Le32(0xFFFFFFFF) + "WAVE" +
                               Chunk("fmt ", FormatBody(1, 1, 8000, 2, 12)) +
                               Chunk("data", "\x10\x00"s) + "LIST" + Le32(0xFFFFFFF0) + "INFO" +
                               "ICMT" + Le32(0xFFFFFF00) + "tail";
    EXPECT_EQ(ReadAll(wav, Make("a.wav", absurd)), TDataBufferF{{1048576.0f}});
    EXPECT_EQ(wav.Info(), std::vector<std::string>{"ICMT=tail"});
}

TEST_F(WavFileTest, BrokenFilesFailWithAClearMessageAndLeaveTheComponentClosed) {
    const std::string data = Chunk("data", "\0\0\0\0"s);
    auto wave = [&](const std::string& format) {
        return Riff("WAVE", Chunk("fmt ", format) + data);
    };
    const std::string pcm = FormatBody(1, 1, 12000, 2, 16);
    const std::string ext = FormatBody(0xFFFE, 1, 12000, 2, 16) + Le16(22);
    const struct {
        std::string bytes;
        std::string error;
    } cases[] = {
        {Riff("AVI ", Chunk("fmt ", pcm) + data), "Not a WAVE file"},
        {Riff("WAVE", data), "Format chunk not found"},
        {Riff("WAVE", data + Chunk("fmt ", pcm)), "Data chunk not found"},
        {Riff("WAVE", Chunk("fmt ", pcm, 0xFFFFFFFF) + data), "Data chunk not found"},
        {wave(pcm.substr(0, 14)), "Invalid header size"},
        {wave(ext), "Unable to read header"},
        {wave(ext + ExtensibleTail(16, 0, 2)), "Unsupported compression method"},
        {wave(FormatBody(1, 0, 12000, 2, 16)), "Invalid channel count"},
        {wave(FormatBody(1, 1, 12000, 0, 16)), "Invalid block alignment"},
        {wave(FormatBody(1, 2, 12000, 5, 16)), "Invalid block alignment"},
        {wave(FormatBody(1, 1, 12000, 5, 40)), "Unsupported sample width"},
        {wave(FormatBody(3, 1, 12000, 2, 16)), "Unsupported sample width"},
    };
    TKelWavFile wav;
    const std::string good = Make("good.wav", wave(pcm));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        wav.SetFileName(Make("bad.wav", c.bytes));
        EXPECT_EQ(ErrorOf([&] { wav.OpenRead(); }), c.error);
        EXPECT_FALSE(wav.IsOpen());
        wav.SetFileName(good);
        EXPECT_EQ(ReadAll(wav, good), (TDataBufferF{{0.0f, 0.0f}}));
    }
}

TEST_F(WavFileTest, CallsInTheWrongStateAndFormatChangesWhileOpenAreRefused) {
    TKelWavFile wav;
    EXPECT_EQ(ErrorOf([&] { wav.Read(1); }), "File not open");
    EXPECT_EQ(ErrorOf([&] { wav.Close(); }), "File not open");
    wav.SetFileName(Path("missing.wav"));
    EXPECT_EQ(ErrorOf([&] { wav.OpenRead(); }), "Unable to open file: " + Path("missing.wav"));
    wav.SetFileName(Path("no/such/folder.wav"));
    EXPECT_EQ(ErrorOf([&] { wav.OpenWrite(); }),
              "Unable to open file: " + Path("no/such/folder.wav"));

    wav.SetFileName(Path("w.wav"));
    wav.OpenWrite();
    EXPECT_EQ(ErrorOf([&] { wav.OpenWrite(); }), "File already open");
    EXPECT_EQ(ErrorOf([&] { wav.Read(1); }), "File open in write mode");
    // the format is fixed while the file is open, the info is not
    const std::string fixed = "Cannot change parameter when the file is open";
    EXPECT_EQ(ErrorOf([&] { wav.SetFileName("b.wav"); }), fixed);
    EXPECT_EQ(ErrorOf([&] { wav.SetBytesPerSample(3); }), fixed);
    EXPECT_EQ(wav.BytesPerSample(), 2u);
    wav.SetInfo({"ICMT=late"});
    wav.Close();
    EXPECT_EQ(ReadAll(wav, Path("w.wav")), TDataBufferF(1));
    EXPECT_EQ(wav.Info(), std::vector<std::string>{"ICMT=late"});
    wav.OpenRead();
    EXPECT_EQ(ErrorOf([&] { wav.OpenRead(); }), "File already open");
    EXPECT_EQ(ErrorOf([&] { wav.Write({{1.0f}}); }), "File open in read mode");
    EXPECT_EQ(RiffResultText(99), "Unknown error: 99");
}

TEST_F(WavFileTest, SettingsNoFileCanHoldAreRefusedBeforeTouchingTheFile) {
    const std::string path = Make("keep.wav", "precious");
    TKelWavFile wav;
    wav.SetFileName(path);
    auto refused = [&](uint32_t channels, uint32_t bytes, uint32_t rate) {
        wav.SetChannelCount(channels);
        wav.SetBytesPerSample(bytes);
        wav.SetSamplesPerSec(rate);
        EXPECT_THROW(wav.OpenWrite(), ERangeError) << channels << " " << bytes << " " << rate;
        EXPECT_FALSE(wav.IsOpen());
    };
    refused(65536, 1, 12000);
    refused(1, 5, 12000);
    refused(20000, 4, 12000);  // 80000-byte frames
    refused(16000, 4, 200000); // 12.8 GB/s
    EXPECT_EQ(Bytes("keep.wav"), "precious");
}

} // namespace
} // namespace sonari
