#pragma once

#include "SND/WDM/Synchronize.h"
#include "engine/Dsp.h"

#include <chrono>
#include <functional>

namespace sonari {

// How a live run ended.
enum TLiveRunEnd { leStopRequested, leStreamEnded };

// Serves a started engine's main-thread side in the calling (main) thread: the synchronizer's
// calls and the engine's reports, until `stopRequested` returns true (asked at least every
// `poll`) or the stream ends by itself, whose reason then reaches the engine's view; stops the
// engine either way.
TLiveRunEnd RunLive(TDsp& dsp, TSynchronizer& synchronizer,
                    const std::function<bool()>& stopRequested,
                    std::chrono::milliseconds poll = std::chrono::milliseconds(50));

} // namespace sonari
