#pragma once

#include "SND/RiffChunk.h"
#include "SND/SndTypes.h"
#include "SND/WaveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sonari {

// Text of a chunk-layer result code; codes without one give "Unknown error: " + code.
std::string RiffResultText(int result);

// Reads and writes RIFF/WAVE files one block at a time: 8/16/24/32-bit integer PCM and 32-bit
// float, plain or extensible, with an optional LIST/INFO text list. Samples are on the 32-bit
// integer scale (full scale +-2^31 whatever the width); float samples pass unscaled.
// Calling order: set properties -> OpenRead or OpenWrite -> Read or Write ... -> Close.
// Errors raise Exception with a message for the operator (ERangeError for settings that no
// file can hold). Main thread only.
class TKelWavFile {
public:
    TKelWavFile();
    // Completes and closes a file that is still open; never throws.
    ~TKelWavFile();
    TKelWavFile(const TKelWavFile&) = delete;
    TKelWavFile& operator=(const TKelWavFile&) = delete;

    // Path of the file to open.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value);
    // Text lines "IDxx=value": a four-character identifier, "=", the value. May change while open.
    const std::vector<std::string>& Info() const { return info_; }
    void SetInfo(const std::vector<std::string>& value) { info_ = value; }
    // Channels per frame, 1..65535 for writing.
    uint32_t ChannelCount() const { return channelCount_; }
    void SetChannelCount(uint32_t value);
    // Frames per second, > 0 for writing.
    uint32_t SamplesPerSec() const { return samplesPerSec_; }
    void SetSamplesPerSec(uint32_t value);
    // Bytes of one sample of one channel, 1..4 for writing; a value other than 4 clears FloatFmt.
    uint32_t BytesPerSample() const { return bytesPerSample_; }
    void SetBytesPerSample(uint32_t value);
    // Samples are 32-bit IEEE floats; true also sets BytesPerSample to 4.
    bool FloatFmt() const { return floatFmt_; }
    void SetFloatFmt(bool value);

    bool IsOpen() const { return isOpen_; }
    // The open file was opened by OpenWrite.
    bool WriteMode() const { return writeMode_; }
    // Frames in the "data" chunk (read mode; only those the file really holds) or written so far.
    uint32_t SampleCount() const { return sampleCount_; }
    // Frames read so far, or SampleCount when writing; 0 when closed.
    uint32_t Position() const { return position_; }

    // Opens FileName and takes the format, SampleCount and Info from it.
    void OpenRead();
    // Creates or truncates FileName and writes the headers for the current properties.
    void OpenWrite();
    // Up to `count` frames as a fresh block of ChannelCount channels of equal length (no frames
    // at the end of the data).
    TDataBufferF Read(uint32_t count);
    // The same into `block`, whose storage is reused (nothing allocated once it has been as
    // large); returns the frames read.
    uint32_t Read(TDataBufferF& block, uint32_t count);
    // Appends as many frames as data[0] holds; data needs ChannelCount channels at least that
    // long. Integer formats saturate at full scale.
    void Write(const TDataBufferF& data);
    // Completes the file (sizes, pad bytes, INFO list; Info loses lines that are not ID=value)
    // and closes it. The file is released even when this fails.
    void Close();

private:
    void CheckClosed() const;
    void CheckResult(int result, const char* notFoundText = nullptr) const;
    void ReadInfo(const TRiffChunk& riff);
    void ReadFormat(const TRiffChunk& riff);
    void TakeFormat(uint32_t bytesRead);
    void FillFormat();
    void WriteInfo();
    int ReleaseFile();
    uint32_t FrameBytes() const { return bytesPerSample_ * channelCount_; }
    const TDataBufferF& Saturated(const TDataBufferF& data, size_t frames);

    std::string fileName_;
    std::vector<std::string> info_;
    uint32_t channelCount_ = 1;
    uint32_t samplesPerSec_ = 11025;
    uint32_t bytesPerSample_ = 2;
    bool floatFmt_ = false;

    bool isOpen_ = false;
    bool writeMode_ = false;
    uint32_t sampleCount_ = 0;
    uint32_t position_ = 0;

    TRiffFile file_;
    TRiffChunk riff_;
    TRiffChunk data_;
    TWaveFormatExtensible format_{};
    TByteArray bytes_;     // file bytes of one Read or Write, reused
    TDataBufferF clipped_; // saturated copy of a block to write, reused
};

} // namespace sonari
