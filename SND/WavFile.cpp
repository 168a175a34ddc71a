#include "SND/WavFile.h"

#include "SND/Exceptions.h"
#include "SND/Levels.h"
#include "SND/SampleConv.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>

namespace sonari {

namespace {

constexpr const char* kSource = "SND/WavFile";

constexpr uint32_t kWaveType = FourCC("WAVE");
constexpr uint32_t kFmtId = FourCC("fmt ");
constexpr uint32_t kDataId = FourCC("data");
constexpr uint32_t kInfoType = FourCC("INFO");

constexpr const char* kAlreadyOpen = "File already open";
constexpr const char* kNotOpen = "File not open";
constexpr const char* kUnableToOpen = "Unable to open file: ";
constexpr const char* kInvalidHeaderSize = "Invalid header size";
constexpr const char* kUnableToReadHeader = "Unable to read header";
constexpr const char* kUnsupportedCompression = "Unsupported compression method";
constexpr const char* kReadError = "WAV read error";
constexpr const char* kWriteError = "WAV write error";
constexpr const char* kOpenInWriteMode = "File open in write mode";
constexpr const char* kOpenInReadMode = "File open in read mode";
constexpr const char* kCannotChange = "Cannot change parameter when the file is open";
// Broken files that would otherwise crash, hang or read as garbage.
constexpr const char* kNotWave = "Not a WAVE file";
constexpr const char* kNoFormatChunk = "Format chunk not found";
constexpr const char* kNoDataChunk = "Data chunk not found";
constexpr const char* kInvalidChannels = "Invalid channel count";
constexpr const char* kInvalidBlockAlign = "Invalid block alignment";
constexpr const char* kUnsupportedWidth = "Unsupported sample width";
constexpr const char* kTooLarge = "File too large for the WAV format";

// "ID=value" lines from the contents of a LIST/INFO chunk after its type.
std::vector<std::string> ParseInfo(std::string_view s) {
    std::vector<std::string> lines;
    while (s.size() > 8) {
        const std::string_view id = s.substr(0, 4);
        const size_t size = LoadU32Le(s.data() + 4);
        const std::string_view value = s.substr(8, size); // a size past the end takes the rest
        s.remove_prefix(std::min(s.size(), 8 + size));
        if (!s.empty() && s.front() == '\0') // pad byte
            s.remove_prefix(1);
        lines.push_back(std::string(id) + "=" + std::string(value));
    }
    return lines;
}

bool IsInfoLine(const std::string& line) { return line.size() >= 6 && line[4] == '='; }

} // namespace

std::string RiffResultText(int result) {
    switch (result) {
    case rrNotFound:
        return "Chunk not found";
    case rrCannotRead:
        return "File read error";
    case rrCannotWrite:
        return "File write error";
    case rrCannotSeek:
        return "File seek error";
    case rrCannotClose:
        return "File close error";
    case rrTooLarge:
        return kTooLarge;
    default:
        return "Unknown error: " + std::to_string(result);
    }
}

TKelWavFile::TKelWavFile() = default;

TKelWavFile::~TKelWavFile() {
    if (!isOpen_)
        return;
    try {
        Close();
    } catch (...) {
        // Nothing can be reported from here; Close has released the file either way.
    }
}

void TKelWavFile::CheckClosed() const {
    if (isOpen_)
        throw Exception(kCannotChange);
}

void TKelWavFile::SetFileName(const std::string& value) {
    CheckClosed();
    fileName_ = value;
}

void TKelWavFile::SetChannelCount(uint32_t value) {
    CheckClosed();
    channelCount_ = value;
}

void TKelWavFile::SetSamplesPerSec(uint32_t value) {
    CheckClosed();
    samplesPerSec_ = value;
}

void TKelWavFile::SetBytesPerSample(uint32_t value) {
    CheckClosed();
    bytesPerSample_ = value;
    if (value != 4)
        floatFmt_ = false;
}

void TKelWavFile::SetFloatFmt(bool value) {
    CheckClosed();
    floatFmt_ = value;
    if (value)
        bytesPerSample_ = 4;
}

void TKelWavFile::CheckResult(int result, const char* notFoundText) const {
    if (result == rrOk)
        return;
    if (result == rrNotFound && notFoundText)
        throw Exception(notFoundText);
    std::string text = RiffResultText(result);
    if (const int osError = file_.LastOSError(); osError != 0)
        text += ": " + std::generic_category().message(osError);
    throw Exception(text);
}

void TKelWavFile::OpenRead() {
    if (isOpen_)
        throw Exception(kAlreadyOpen);
    if (file_.OpenRead(fileName_) != rrOk)
        throw Exception(kUnableToOpen + fileName_);
    try {
        riff_ = TRiffChunk{};
        riff_.Type = kWaveType;
        CheckResult(file_.Descend(riff_, nullptr, ckRiff), kNotWave);
        ReadInfo(riff_);
        ReadFormat(riff_);
        data_ = TRiffChunk{};
        data_.Id = kDataId;
        CheckResult(file_.Descend(data_, &riff_, ckChunk), kNoDataChunk);
    } catch (...) {
        file_.Close();
        throw;
    }
    // The chunk layer has clipped the size to the file: only frames that are there count.
    sampleCount_ = data_.Size / FrameBytes();
    isOpen_ = true;
    writeMode_ = false;
    position_ = 0;
}

void TKelWavFile::ReadInfo(const TRiffChunk& riff) {
    info_.clear();
    TRiffChunk list;
    list.Type = kInfoType;
    const int found = file_.Descend(list, &riff, ckList);
    if (found == rrOk) {
        // Bounded by the file: the chunk layer clips sizes to what is there.
        std::string contents(list.Size - 4, '\0');
        if (file_.Read(contents.data(), contents.size()) != int64_t(contents.size()))
            throw Exception(kUnableToReadHeader);
        CheckResult(file_.Ascend(list));
        info_ = ParseInfo(contents);
    } else if (found != rrNotFound) {
        CheckResult(found);
    }
    CheckResult(file_.Seek(riff.DataOffset + 4));
}

void TKelWavFile::ReadFormat(const TRiffChunk& riff) {
    TRiffChunk fmt;
    fmt.Id = kFmtId;
    CheckResult(file_.Descend(fmt, &riff, ckChunk), kNoFormatChunk);
    if (fmt.Size < 16)
        throw Exception(kInvalidHeaderSize);
    format_ = TWaveFormatExtensible{};
    const int64_t bytesRead = file_.Read(&format_, std::min<size_t>(sizeof format_, fmt.Size));
    TakeFormat(bytesRead < 0 ? 0 : uint32_t(bytesRead));
    CheckResult(file_.Ascend(fmt));
}

void TKelWavFile::TakeFormat(uint32_t bytesRead) {
    bool isFloat = false;
    switch (format_.wFormatTag) {
    case WAVE_FORMAT_PCM:
    case WAVE_FORMAT_IEEE_FLOAT:
        if (bytesRead < 16)
            throw Exception(kUnableToReadHeader);
        isFloat = format_.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
        break;
    case WAVE_FORMAT_EXTENSIBLE:
        if (bytesRead < format_.cbSize + 18u)
            throw Exception(kUnableToReadHeader);
        if (format_.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)
            isFloat = true;
        else if (!(format_.SubFormat == KSDATAFORMAT_SUBTYPE_PCM))
            throw Exception(kUnsupportedCompression);
        break;
    default:
        throw Exception(kUnsupportedCompression);
    }
    // Channels and block alignment decide the sample width; checked so that no division or
    // conversion ever sees a frame that cannot hold its channels.
    const uint32_t channels = format_.nChannels;
    if (channels == 0)
        throw Exception(kInvalidChannels);
    if (format_.nBlockAlign == 0 || format_.nBlockAlign % channels != 0)
        throw Exception(kInvalidBlockAlign);
    const uint32_t sampleBytes = format_.nBlockAlign / channels;
    if (isFloat ? sampleBytes != 4 : sampleBytes > 4)
        throw Exception(kUnsupportedWidth);
    // The container drives the conversion: wBitsPerSample may say 12 of 16 bits, or nothing.
    format_.wBitsPerSample = uint16_t(8 * sampleBytes);

    channelCount_ = channels;
    samplesPerSec_ = format_.nSamplesPerSec;
    bytesPerSample_ = sampleBytes;
    floatFmt_ = isFloat;
}

void TKelWavFile::OpenWrite() {
    if (isOpen_)
        throw Exception(kAlreadyOpen);
    FillFormat(); // first, so that settings no file can hold leave an existing file alone
    if (file_.OpenWrite(fileName_) != rrOk)
        throw Exception(kUnableToOpen + fileName_);
    try {
        riff_ = TRiffChunk{};
        riff_.Type = kWaveType;
        CheckResult(file_.CreateChunk(riff_, ckRiff));
        TRiffChunk fmt;
        fmt.Id = kFmtId;
        fmt.Size = format_.cbSize + 18u;
        CheckResult(file_.CreateChunk(fmt, ckChunk));
        if (file_.Write(&format_, fmt.Size) != int64_t(fmt.Size))
            throw Exception(kWriteError);
        CheckResult(file_.Ascend(fmt));
        data_ = TRiffChunk{};
        data_.Id = kDataId;
        CheckResult(file_.CreateChunk(data_, ckChunk));
    } catch (...) {
        file_.Close();
        throw;
    }
    isOpen_ = true;
    writeMode_ = true;
    sampleCount_ = 0;
    position_ = 0;
}

void TKelWavFile::FillFormat() {
    if (channelCount_ == 0 || channelCount_ > 65535)
        throw ERangeError("Channel count out of range: " + std::to_string(channelCount_));
    if (bytesPerSample_ == 0 || bytesPerSample_ > 4)
        throw ERangeError("Sample width out of range: " + std::to_string(bytesPerSample_));
    if (FrameBytes() > 65535)
        throw ERangeError("Frame too large: " + std::to_string(FrameBytes()) + " bytes");
    if (samplesPerSec_ == 0 || uint64_t(samplesPerSec_) * FrameBytes() > UINT32_MAX)
        throw ERangeError("Sampling rate out of range: " + std::to_string(samplesPerSec_));

    format_ = TWaveFormatExtensible{};
    format_.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format_.nChannels = uint16_t(channelCount_);
    format_.nSamplesPerSec = samplesPerSec_;
    format_.nBlockAlign = uint16_t(FrameBytes());
    format_.nAvgBytesPerSec = samplesPerSec_ * FrameBytes();
    format_.wBitsPerSample = uint16_t(8 * bytesPerSample_);
    format_.cbSize = kExtensibleExtraSize;
    format_.wValidBitsPerSample = format_.wBitsPerSample;
    format_.dwChannelMask = channelCount_ == 2 ? 3 : 0; // front left + front right
    format_.SubFormat = floatFmt_ ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
    // Mono and stereo at 8/16 bits or float need no extensible record.
    if (channelCount_ <= 2 && (bytesPerSample_ <= 2 || floatFmt_)) {
        format_.wFormatTag = floatFmt_ ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
        format_.cbSize = 0;
    }
}

TDataBufferF TKelWavFile::Read(uint32_t count) {
    TDataBufferF block;
    Read(block, count);
    return block;
}

uint32_t TKelWavFile::Read(TDataBufferF& block, uint32_t count) {
    if (!isOpen_)
        throw Exception(kNotOpen);
    if (writeMode_)
        throw Exception(kOpenInWriteMode);
    // Never beyond the data chunk: what follows it is not sound.
    const uint32_t wanted = std::min(count, sampleCount_ - position_);
    bytes_.resize(size_t(wanted) * FrameBytes());
    const int64_t bytesRead = file_.Read(bytes_.data(), bytes_.size());
    if (bytesRead < 0)
        throw Exception(kReadError);
    const uint32_t frames = uint32_t(uint64_t(bytesRead) / FrameBytes());
    bytes_.resize(size_t(frames) * FrameBytes());
    position_ += frames;

    block.resize(channelCount_);
    for (TSingleArray& channel : block)
        channel.resize(frames);
    if (frames > 0)
        BytesToFloats(bytes_, block, format_);
    return frames;
}

void TKelWavFile::Write(const TDataBufferF& data) {
    if (data.empty() || data[0].empty())
        return;
    if (!isOpen_)
        throw Exception(kNotOpen);
    if (!writeMode_)
        throw Exception(kOpenInReadMode);
    const size_t frames = data[0].size();
    Assert(data.size() >= channelCount_, kSource);
    for (uint32_t c = 0; c < channelCount_; ++c)
        Assert(data[c].size() >= frames, kSource);
    // The RIFF size, pad byte included, must still fit its 32-bit field.
    const uint64_t byteCount = uint64_t(frames) * FrameBytes();
    if (file_.Position() + byteCount + 1 - riff_.DataOffset > UINT32_MAX)
        throw Exception(kTooLarge);

    bytes_.resize(byteCount);
    FloatsToBytes(floatFmt_ ? data : Saturated(data, frames), bytes_, format_);
    if (file_.Write(bytes_.data(), bytes_.size()) != int64_t(byteCount))
        throw Exception(kWriteError);
    sampleCount_ += uint32_t(frames);
    position_ = sampleCount_;
}

// Beyond full scale the integer conversion wraps around: a loud click instead of a clipped
// peak. NaN passes (it compares false; min and max keep their first operand), and the
// conversion refuses it.
const TDataBufferF& TKelWavFile::Saturated(const TDataBufferF& data, size_t frames) {
    clipped_.resize(channelCount_);
    for (uint32_t c = 0; c < channelCount_; ++c) {
        clipped_[c].resize(frames);
        const float* in = data[c].data();
        float* out = clipped_[c].data();
        using TFloat4 = float __attribute__((vector_size(16)));
        size_t f = 0;
        for (; f + 4 <= frames; f += 4) {
            TFloat4 x;
            std::memcpy(&x, in + f, sizeof x);
            x = x > kLargestSample ? TFloat4{} + kLargestSample : x;
            x = x < kSmallestSample ? TFloat4{} + kSmallestSample : x;
            std::memcpy(out + f, &x, sizeof x);
        }
        for (; f < frames; ++f)
            out[f] = std::max(std::min(in[f], kLargestSample), kSmallestSample);
    }
    return clipped_;
}

void TKelWavFile::Close() {
    if (!isOpen_)
        throw Exception(kNotOpen);
    try {
        if (writeMode_) {
            CheckResult(file_.Ascend(data_)); // data size and pad byte
            WriteInfo();
            CheckResult(file_.Ascend(riff_));
        }
    } catch (...) {
        ReleaseFile();
        throw;
    }
    CheckResult(ReleaseFile());
}

int TKelWavFile::ReleaseFile() {
    isOpen_ = false;
    position_ = 0;
    bytes_ = TByteArray{};
    clipped_ = TDataBufferF{};
    return file_.Close();
}

void TKelWavFile::WriteInfo() {
    std::erase_if(info_, [](const std::string& line) { return !IsInfoLine(line); });
    if (info_.empty())
        return;
    TRiffChunk list;
    list.Type = kInfoType;
    CheckResult(file_.CreateChunk(list, ckList));
    for (const std::string& line : info_) {
        const std::string_view value = std::string_view(line).substr(5);
        TRiffChunk item;
        item.Id = LoadU32Le(line.data());
        item.Size = uint32_t(value.size());
        CheckResult(file_.CreateChunk(item, ckChunk));
        if (file_.Write(value.data(), value.size()) != int64_t(value.size()))
            throw Exception(kWriteError);
        CheckResult(file_.Ascend(item));
    }
    CheckResult(file_.Ascend(list));
}

} // namespace sonari
