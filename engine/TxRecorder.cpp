#include "engine/TxRecorder.h"

#include "SND/WavFile.h"

#include <exception>

namespace sonari {

TTxRecorder::TTxRecorder(std::string fileName)
    : fileName_(std::move(fileName)), writer_([this] { WriterLoop(); }) {}

TTxRecorder::~TTxRecorder() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
}

void TTxRecorder::Add(int32_t samplingRate, const TDataBufferF& block) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= kMaxQueued || !error_.empty()) {
            ++dropped_;
            return;
        }
        queue_.push_back({samplingRate, block});
    }
    wake_.notify_one();
}

uint64_t TTxRecorder::DroppedBlocks() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::string TTxRecorder::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void TTxRecorder::WriterLoop() {
    TKelWavFile wav;
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            break; // stopping, and everything is written
        TBlock block = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();

        std::string error;
        bool mismatch = false;
        try {
            if (!wav.IsOpen()) {
                wav.SetFileName(fileName_);
                wav.SetChannelCount(static_cast<uint32_t>(block.Samples.size()));
                wav.SetSamplesPerSec(static_cast<uint32_t>(block.Rate));
                wav.SetBytesPerSample(4);
                wav.OpenWrite();
            }
            mismatch = wav.ChannelCount() != block.Samples.size() ||
                       wav.SamplesPerSec() != static_cast<uint32_t>(block.Rate);
            if (!mismatch)
                wav.Write(block.Samples);
        } catch (const std::exception& e) {
            error = e.what();
        }
        lock.lock();
        dropped_ += mismatch;
        if (!error.empty() && error_.empty())
            error_ = error;
    }
    try {
        if (wav.IsOpen())
            wav.Close();
    } catch (const std::exception& e) {
        std::lock_guard lock(mutex_);
        if (error_.empty())
            error_ = e.what();
    }
}

} // namespace sonari
