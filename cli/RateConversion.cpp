#include "cli/RateConversion.h"

#include "SND/Exceptions.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace sonari::cli {

namespace {

TSoxr MakeResampler(int32_t from, int32_t to) {
    soxr_error_t error = nullptr;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    TSoxr resampler(soxr_create(from, to, 1, &error, nullptr, &quality, nullptr));
    if (error || !resampler)
        throw Exception("Unable to convert " + std::to_string(from) + " Hz to " +
                        std::to_string(to) + " Hz: " + (error ? error : "no resampler"));
    return resampler;
}

int64_t ScaledFrames(int64_t frames, int32_t from, int32_t to) {
    return std::llround(static_cast<long double>(frames) * to / from);
}

} // namespace

void TSoxrDeleter::operator()(soxr* resampler) const { soxr_delete(resampler); }

int32_t ProcessingRateFor(int32_t rate) {
    for (int32_t candidate = 12000; candidate <= 768000; candidate *= 2)
        if (candidate >= rate)
            return candidate;
    return 0;
}

TResamplingReader::TResamplingReader(ISampleReader& source, int32_t rate)
    : source_(source), rate_(rate), frames_(ScaledFrames(source.Frames(), source.Rate(), rate)),
      left_(frames_), resampler_(MakeResampler(source.Rate(), rate)) {}

size_t TResamplingReader::Read(float* samples, size_t count) {
    count = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(count)));
    size_t done = 0;
    while (done < count) {
        if (inputAt_ == inputLength_ && !ended_) {
            inputLength_ = source_.Read(input_, std::size(input_));
            inputAt_ = 0;
            ended_ = inputLength_ == 0;
        }
        size_t used = 0, produced = 0;
        // after the input's end, empty calls flush what the converter still holds
        const soxr_error_t error =
            ended_ ? soxr_process(resampler_.get(), nullptr, 0, nullptr, samples + done,
                                  count - done, &produced)
                   : soxr_process(resampler_.get(), input_ + inputAt_, inputLength_ - inputAt_,
                                  &used, samples + done, count - done, &produced);
        if (error)
            throw Exception(std::string("Rate conversion failed: ") + error);
        inputAt_ += used;
        done += produced;
        if (ended_ && produced == 0) {
            // drained: silence up to the length this reader promised
            std::fill(samples + done, samples + count, 0.0f);
            break;
        }
    }
    left_ -= static_cast<int64_t>(count);
    return count;
}

TResamplingWriter::TResamplingWriter(ISampleWriter& target, int32_t rate, int32_t targetRate,
                                     int64_t targetFrames)
    : target_(target), left_(targetFrames), resampler_(MakeResampler(rate, targetRate)) {}

void TResamplingWriter::Pass(const float* samples, size_t count) {
    const size_t take = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(count)));
    if (take > 0)
        target_.Write(samples, take);
    left_ -= static_cast<int64_t>(take);
}

void TResamplingWriter::Write(const float* samples, size_t count) {
    while (count > 0) {
        size_t used = 0, produced = 0;
        const soxr_error_t error = soxr_process(resampler_.get(), samples, count, &used, output_,
                                                std::size(output_), &produced);
        if (error)
            throw Exception(std::string("Rate conversion failed: ") + error);
        Pass(output_, produced);
        samples += used;
        count -= used;
    }
}

void TResamplingWriter::Close() {
    for (;;) {
        size_t produced = 0;
        const soxr_error_t error = soxr_process(resampler_.get(), nullptr, 0, nullptr, output_,
                                                std::size(output_), &produced);
        if (error)
            throw Exception(std::string("Rate conversion failed: ") + error);
        if (produced == 0)
            break;
        Pass(output_, produced);
    }
    // rounding may leave the last frame or two short: silence completes the length
    static const float kSilence[256] = {};
    while (left_ > 0)
        Pass(kSilence, std::size(kSilence));
    target_.Close();
}

} // namespace sonari::cli
