#include "engine/RecordingFile.h"

#include "SND/Exceptions.h"
#include "engine/SoundFiles.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace sonari {

TRecordingFile::TRecordingFile() : copy_(1) {
    wav_.SetChannelCount(1);
    wav_.SetSamplesPerSec(6000);
}

void TRecordingFile::Open(const std::string& fileName, uint32_t bytesPerSample) {
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
    complete_ = false;
    wav_.SetFileName(target_.empty() ? fileName : fileName + ".part");
    wav_.OpenWrite();
}

void TRecordingFile::Close() {
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
    if (complete_)
        std::filesystem::rename(part, target, error);
    if (!complete_ || error) {
        std::error_code ignored;
        std::filesystem::remove(part, ignored);
    }
    if (error)
        throw Exception("Unable to replace " + target + ": " + error.message());
}

TRecordingFile::TProgress TRecordingFile::Append(const TSingleArray& block, bool firstBlock) {
    TSingleArray& copy = copy_[0];
    copy.assign(block.begin(), block.end());
    TProgress progress;
    if (firstBlock) {
        FadeBlock(copy, true);
    } else if (wav_.SampleCount() >= kLimit) {
        FadeBlock(copy, false);
        progress.Complete = complete_ = true;
    }
    wav_.Write(copy_);
    progress.Fraction = static_cast<float>(static_cast<long double>(wav_.SampleCount()) / kLimit);
    return progress;
}

} // namespace sonari
