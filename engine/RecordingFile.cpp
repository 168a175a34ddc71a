#include "engine/RecordingFile.h"

#include "SND/Exceptions.h"
#include "engine/SoundFiles.h"

#include <filesystem>
#include <system_error>

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
    wav_.SetFileName(fileName);
    wav_.OpenWrite();
}

void TRecordingFile::Close() { wav_.Close(); }

TRecordingFile::TProgress TRecordingFile::Append(const TSingleArray& block, bool firstBlock) {
    TSingleArray& copy = copy_[0];
    copy.assign(block.begin(), block.end());
    TProgress progress;
    if (firstBlock) {
        FadeBlock(copy, true);
    } else if (wav_.SampleCount() >= kLimit) {
        FadeBlock(copy, false);
        progress.Complete = true;
    }
    wav_.Write(copy_);
    progress.Fraction = static_cast<float>(static_cast<long double>(wav_.SampleCount()) / kLimit);
    return progress;
}

} // namespace sonari
