// Arbitrary bytes as a WAV file: opening and reading must end in a clear error or in blocks
// that agree with the header, and whatever was read must survive a write and a second read.

#include "SND/Exceptions.h"
#include "SND/WavFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace sonari;
namespace fs = std::filesystem;

struct TScratch {
    // In memory where possible: rewriting a file on disk thousands of times a second is slow.
    TScratch() {
        for (const fs::path& base : {fs::path("/dev/shm"), fs::temp_directory_path()}) {
            std::string pattern = (base / "sonari-fuzz-XXXXXX").string();
            if (mkdtemp(pattern.data())) {
                dir = pattern;
                return;
            }
        }
        __builtin_trap();
    }
    ~TScratch() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string In() const { return (dir / "in.wav").string(); }
    std::string Out() const { return (dir / "out.wav").string(); }
    fs::path dir;
};

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    Check(bool(out));
}

// Reads the whole file in uneven pieces, checking every block against the header.
TDataBufferF ReadInPieces(TKelWavFile& wav, uint64_t fileSize, uint32_t seed) {
    Check(wav.ChannelCount() >= 1 && wav.ChannelCount() <= 65535);
    Check(wav.BytesPerSample() >= 1 && wav.BytesPerSample() <= 4);
    Check(!wav.FloatFmt() || wav.BytesPerSample() == 4);
    Check(uint64_t(wav.SampleCount()) * wav.BytesPerSample() * wav.ChannelCount() <= fileSize);
    TDataBufferF all(wav.ChannelCount());
    for (uint32_t piece = 1 + seed % 97;; piece = piece * 5 % 1009 + 1) {
        const TDataBufferF block = wav.Read(piece);
        Check(block.size() == wav.ChannelCount());
        const size_t frames = block[0].size();
        Check(frames <= piece);
        for (uint32_t c = 0; c < wav.ChannelCount(); ++c) {
            Check(block[c].size() == frames);
            all[c].insert(all[c].end(), block[c].begin(), block[c].end());
        }
        Check(wav.Position() == all[0].size());
        if (frames == 0)
            break;
    }
    Check(all[0].size() == wav.SampleCount());
    return all;
}

bool SameBits(const TDataBufferF& a, const TDataBufferF& b) {
    if (a.size() != b.size())
        return false;
    for (size_t c = 0; c < a.size(); ++c)
        if (a[c].size() != b[c].size() ||
            (!a[c].empty() &&
             std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0))
            return false;
    return true;
}

// Lines as they come back from a file this component wrote: short or malformed ones dropped.
// An identifier starting with a zero byte would be taken for a pad byte, so those are not compared.
bool ComparableInfo(std::vector<std::string>& info) {
    std::erase_if(info, [](const std::string& line) { return line.size() < 6 || line[4] != '='; });
    for (const std::string& line : info)
        if (line[0] == '\0')
            return false;
    return true;
}

void RoundTrip(const TKelWavFile& source, const TDataBufferF& samples, const std::string& path) {
    TKelWavFile wav;
    wav.SetFileName(path);
    wav.SetChannelCount(source.ChannelCount());
    wav.SetSamplesPerSec(source.SamplesPerSec());
    wav.SetBytesPerSample(source.BytesPerSample());
    wav.SetFloatFmt(source.FloatFmt());
    wav.SetInfo(source.Info());
    try {
        wav.OpenWrite();
    } catch (const ERangeError&) {
        return; // a rate no file may hold, such as 0
    }
    wav.Write(samples);
    wav.Close();

    wav.OpenRead();
    Check(wav.ChannelCount() == source.ChannelCount());
    Check(wav.BytesPerSample() == source.BytesPerSample());
    Check(wav.FloatFmt() == source.FloatFmt());
    // 32-bit integers near full scale read as 2^31, which comes back as the largest float below.
    TDataBufferF expected = samples;
    if (!source.FloatFmt())
        for (TSingleArray& channel : expected)
            for (float& x : channel)
                x = std::min(x, 2147483520.0f);
    Check(SameBits(wav.Read(wav.SampleCount()), expected));
    std::vector<std::string> info = source.Info();
    if (ComparableInfo(info))
        Check(wav.Info() == info);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TScratch scratch;
    WriteInput(scratch.In(), data, size);
    TKelWavFile wav;
    wav.SetFileName(scratch.In());
    try {
        wav.OpenRead();
    } catch (const EAssertionFailed&) {
        __builtin_trap();
    } catch (const Exception&) {
        Check(!wav.IsOpen());
        return 0;
    }
    const TDataBufferF samples = ReadInPieces(wav, size, uint32_t(size));
    wav.Close();
    RoundTrip(wav, samples, scratch.Out());
    return 0;
}
