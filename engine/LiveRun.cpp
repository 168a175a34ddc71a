#include "engine/LiveRun.h"

namespace sonari {

TLiveRunEnd RunLive(TDsp& dsp, TSynchronizer& synchronizer,
                    const std::function<bool()>& stopRequested, std::chrono::milliseconds poll) {
    TLiveRunEnd end = leStopRequested;
    try {
        while (!stopRequested()) {
            if (!dsp.Running()) {
                end = leStreamEnded;
                // The thread queues its report just after it let go of the stream.
                synchronizer.CheckSynchronize(poll);
                break;
            }
            synchronizer.CheckSynchronize(poll);
            dsp.DeliverReports();
        }
    } catch (...) {
        dsp.Stop();
        throw;
    }
    dsp.Stop();
    return end;
}

} // namespace sonari
