#include "engine/BlockReport.h"

#include "SND/Exceptions.h"

#include <algorithm>

namespace sonari {

namespace {

// Copies `source` (the chain's block) into `target` at `at`; zeros when there is nothing yet.
void Place(const TSingleArray& source, TSingleArray& target, int32_t at, int32_t count) {
    const auto first = target.begin() + at;
    if (source.empty())
        std::fill(first, first + count, 0.0f);
    else
        std::copy(source.begin(), source.begin() + count, first);
}

} // namespace

TBlockReport::TBlockReport()
    : Input(kBlockSize), Filtered(kBlockSize), Processed(kBlockSize), SampleEnvelope(kBlockSize),
      SampleGain(kBlockSize) {}

void TReportAccumulator::Start() {
    Next();
    report_.BlockCount = 0;
}

void TReportAccumulator::Add(const TProcessingChain& chain) {
    const int32_t count = chain.Layout().BlockSize;
    Assert(filled_ + count <= TBlockReport::kBlockSize, "engine/BlockReport");
    const TMicEqualizer& equalizer = chain.Equalizer();
    Place(chain.Input(), report_.Input, filled_, count);
    Place(chain.Filtered(), report_.Filtered, filled_, count);
    Place(chain.Processed(), report_.Processed, filled_, count);
    Place(equalizer.SampleEnvelope(), report_.SampleEnvelope, filled_, count);
    Place(equalizer.SampleGain(), report_.SampleGain, filled_, count);
    report_.HasEnvelope = !equalizer.SampleEnvelope().empty();
    report_.Envelope = equalizer.Envelope();
    report_.Measure = chain.Parameters().Equalizer.AnalysisOn;
    filled_ += count;
}

void TReportAccumulator::Next() {
    ++report_.BlockCount;
    filled_ = 0;
    report_.Rendered = false;
    report_.DeviceOverload = false;
    report_.Recorded = false;
    report_.FileOverload = false;
    report_.Progress = {};
}

} // namespace sonari
