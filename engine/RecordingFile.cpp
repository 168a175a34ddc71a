#include "engine/RecordingFile.h"

#include "SND/Exceptions.h"
#include "engine/SoundFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace sonari {

namespace {

constexpr const char* kSource = "engine/RecordingFile";

} // namespace

TRecordingFile::TRecordingFile()
    : queue_(kQueuedBlocks, TDataBufferF(1, TSingleArray(kBlockSize))),
      copy_(1, TSingleArray(kBlockSize)) {
    wav_.SetChannelCount(1);
    wav_.SetSamplesPerSec(6000);
}

TRecordingFile::~TRecordingFile() {
    try {
        Close();
    } catch (...) {
    }
}

void TRecordingFile::Open(const std::string& fileName, uint32_t bytesPerSample) {
    Assert(!IsOpen(), kSource);
    const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
    std::error_code error;
    if (!folder.empty())
        std::filesystem::create_directories(folder, error);
    if (error)
        throw Exception("Unable to create directory " + folder.string() + "/: " + error.message());
    wav_.SetFloatFmt(false);
    wav_.SetChannelCount(1);
    wav_.SetBytesPerSample(bytesPerSample);
    wav_.SetSamplesPerSec(kRate);
    target_ = replaceOnlyWhenComplete_ ? fileName : std::string();
    wav_.SetFileName(target_.empty() ? fileName : fileName + ".part");
    wav_.OpenWrite();
    failed_ = false;
    error_.clear();
    closing_ = false;
    writer_ = std::thread([this] { WriterLoop(); });
}

void TRecordingFile::Arm() {
    Assert(!IsOpen(), kSource);
    queue_.Clear();
    appended_ = 0;
    complete_ = false;
    lost_ = 0;
}

void TRecordingFile::Close() {
    if (writer_.joinable()) {
        closing_ = true;
        wake_.release();
        writer_.join(); // it writes what is queued first
    }
    queue_.Clear();
    if (wav_.IsOpen())
        CloseWav();
    if (const std::string error = WriteError(); !error.empty())
        throw Exception(error);
}

// Completes the file; a temporary one replaces its target only when complete.
void TRecordingFile::CloseWav() {
    const std::string target = std::exchange(target_, {});
    if (target.empty())
        return wav_.Close();
    const std::string part = wav_.FileName();
    std::error_code error;
    try {
        wav_.Close();
    } catch (...) {
        std::filesystem::remove(part, error);
        throw;
    }
    if (complete_ && !failed_.load())
        std::filesystem::rename(part, target, error);
    if (!complete_ || failed_.load() || error) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
    }
    if (error)
        throw Exception("Unable to replace " + target + ": " + error.message());
}

TRecordingFile::TProgress TRecordingFile::Append(const TSingleArray& block) {
    Assert(block.size() == static_cast<size_t>(kBlockSize), kSource);
    TSingleArray& copy = copy_[0];
    std::copy(block.begin(), block.end(), copy.begin());
    TProgress progress;
    if (appended_ == 0) {
        FadeBlock(copy, true);
    } else if (appended_ >= kLimit) {
        FadeBlock(copy, false);
        progress.Complete = complete_ = true;
    }
    if (queue_.TryPush(copy_))
        wake_.release();
    else
        ++lost_;
    appended_ += kBlockSize;
    progress.Fraction = static_cast<float>(static_cast<long double>(appended_) / kLimit);
    return progress;
}

std::string TRecordingFile::WriteError() const {
    if (!failed_.load())
        return {};
    std::lock_guard lock(errorMutex_);
    return error_;
}

void TRecordingFile::WriterLoop() {
    for (;;) {
        const bool closing = closing_.load();
        while (TDataBufferF* block = queue_.Front()) {
            if (!failed_.load()) {
                try {
                    wav_.Write(*block);
                } catch (const std::exception& e) {
                    std::lock_guard lock(errorMutex_);
                    error_ = e.what();
                    failed_ = true;
                }
            }
            queue_.Pop();
        }
        if (closing)
            return; // everything queued before Close is written
        wake_.acquire();
    }
}

} // namespace sonari
