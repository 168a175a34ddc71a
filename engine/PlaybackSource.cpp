#include "engine/PlaybackSource.h"

#include <algorithm>

namespace sonari {

namespace {

// Copies `block.size()` samples of the periodic `loop` (period `period`) from `position`.
void CopyLoop(TSingleArray& block, const TSingleArray& loop, int64_t period, int64_t position) {
    int64_t at = position % period;
    for (float& x : block) {
        x = loop[static_cast<size_t>(at)];
        if (++at == period)
            at = 0;
    }
}

} // namespace

void TPlaybackSource::Fill(TSingleArray& block, int64_t position, int32_t toneMode,
                           const TSingleArray& voice) const {
    if (toneMode == 0) {
        const auto loop = static_cast<int64_t>(voice.size() / kLoopBlock * kLoopBlock);
        if (loop > 0) {
            CopyLoop(block, voice, loop, position);
            return;
        }
    } else if (const TSingleArray* tone = tones_.Block(toneMode)) {
        CopyLoop(block, *tone, static_cast<int64_t>(tone->size()), position);
        return;
    }
    std::fill(block.begin(), block.end(), 0.0f);
}

} // namespace sonari
