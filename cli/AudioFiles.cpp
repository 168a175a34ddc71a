#include "cli/AudioFiles.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/SampleConv.h"
#include "engine/WavSamples.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace sonari::cli {

namespace {

std::string Extension(const std::string& fileName) {
    std::string extension = std::filesystem::path(fileName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

struct TSndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using TSndFile = std::unique_ptr<SNDFILE, TSndFileCloser>;

// Any file libsndfile reads; its float samples are at +-1.0.
class TSndFileReader : public ISampleReader {
public:
    explicit TSndFileReader(const std::string& fileName) {
        file_.reset(sf_open(fileName.c_str(), SFM_READ, &info_));
        if (!file_)
            throw Exception(fileName + ": " + sf_strerror(nullptr));
        left_ = info_.frames;
    }

    int32_t Rate() const override { return info_.samplerate; }
    int64_t Frames() const override { return info_.frames; }

    size_t Read(float* samples, size_t count) override {
        count = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(count)));
        frames_.resize(count * static_cast<size_t>(info_.channels));
        const auto got = static_cast<size_t>(std::max<sf_count_t>(
            sf_readf_float(file_.get(), frames_.data(), sf_count_t(count)), 0));
        for (size_t i = 0; i < got; ++i)
            samples[i] = frames_[i * static_cast<size_t>(info_.channels)] * kFullScale;
        // a file shorter than it said reads as silence up to its stated length
        std::fill(samples + got, samples + count, 0.0f);
        left_ -= static_cast<int64_t>(count);
        return count;
    }

private:
    SF_INFO info_{};
    TSndFile file_;
    int64_t left_ = 0;
    std::vector<float> frames_;
};

// 16-bit samples rounded as Sonari's WAV writer rounds them, so a FLAC and a WAV file of the
// same output hold the same numbers; float samples at +-1.0.
class TSndFileWriter : public ISampleWriter {
public:
    TSndFileWriter(const std::string& fileName, const std::string& path, int format, int32_t rate,
                   bool isFloat)
        : fileName_(fileName), isFloat_(isFloat), block_(1) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = format;
        if (!sf_format_check(&info))
            throw Exception(fileName + ": the format cannot hold these samples");
        file_.reset(sf_open(path.c_str(), SFM_WRITE, &info));
        if (!file_)
            throw Exception(fileName + ": " + sf_strerror(nullptr));
        pcm16_ = {WAVE_FORMAT_PCM,
                  1,
                  static_cast<uint32_t>(rate),
                  static_cast<uint32_t>(2 * rate),
                  2,
                  16,
                  0,
                  16,
                  0,
                  {}};
    }

    void Write(const float* samples, size_t count) override {
        sf_count_t written = 0;
        if (isFloat_) {
            floats_.assign(samples, samples + count);
            for (float& x : floats_)
                x *= kInverseFullScale;
            written = sf_writef_float(file_.get(), floats_.data(), sf_count_t(count));
        } else {
            block_[0].assign(samples, samples + count);
            bytes_.resize(2 * count);
            FloatsToBytes(block_, bytes_, pcm16_);
            shorts_.resize(count);
            for (size_t i = 0; i < count; ++i)
                shorts_[i] = static_cast<int16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8));
            written = sf_writef_short(file_.get(), shorts_.data(), sf_count_t(count));
        }
        if (written != sf_count_t(count))
            throw Exception("Unable to write " + fileName_ + ": " + sf_strerror(file_.get()));
    }

    void Close() override {
        if (file_ && sf_close(file_.release()) != 0)
            throw Exception("Unable to write " + fileName_);
    }

private:
    std::string fileName_;
    bool isFloat_;
    TSndFile file_;
    TWaveFormatExtensible pcm16_{};
    TDataBufferF block_;
    TByteArray bytes_;
    std::vector<int16_t> shorts_;
    std::vector<float> floats_;
};

// The container of an extension, and whether it holds float samples.
struct TContainer {
    const char* Extension;
    int Format;
    bool HasFloat;
};

constexpr TContainer kContainers[] = {
    {".flac", SF_FORMAT_FLAC, false}, {".ogg", SF_FORMAT_OGG, false},
    {".oga", SF_FORMAT_OGG, false},   {".aiff", SF_FORMAT_AIFF, true},
    {".aif", SF_FORMAT_AIFF, true},   {".au", SF_FORMAT_AU, true},
    {".caf", SF_FORMAT_CAF, true},    {".w64", SF_FORMAT_W64, true},
};

} // namespace

bool IsWavName(const std::string& fileName) { return Extension(fileName) == ".wav"; }

std::string SampleFormatName(const std::string& fileName, bool isFloat) {
    const std::string extension = Extension(fileName);
    if (extension == ".ogg" || extension == ".oga")
        return "Ogg Vorbis";
    return isFloat ? "32-bit float" : "16-bit PCM";
}

std::unique_ptr<ISampleReader> OpenSampleReader(const std::string& fileName) {
    if (IsWavName(fileName))
        return std::make_unique<TWavSampleReader>(fileName);
    return std::make_unique<TSndFileReader>(fileName);
}

std::unique_ptr<ISampleWriter>
OpenSampleWriter(const std::string& fileName, const std::string& path, int32_t rate, bool isFloat) {
    if (IsWavName(fileName))
        return std::make_unique<TWavSampleWriter>(path, rate, isFloat);
    const std::string extension = Extension(fileName);
    for (const TContainer& container : kContainers) {
        if (extension != container.Extension)
            continue;
        if (container.Format == SF_FORMAT_OGG)
            return std::make_unique<TSndFileWriter>(fileName, path,
                                                    SF_FORMAT_OGG | SF_FORMAT_VORBIS, rate, true);
        if (isFloat && !container.HasFloat)
            throw Exception(fileName + ": " + extension.substr(1) +
                            " files hold no float samples; leave out --float");
        const int encoding = isFloat ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16;
        return std::make_unique<TSndFileWriter>(fileName, path, container.Format | encoding, rate,
                                                isFloat);
    }
    throw Exception(fileName + ": unknown output format '" + extension +
                    "' (known: .wav, .flac, .ogg, .aiff, .au, .caf, .w64)");
}

} // namespace sonari::cli
