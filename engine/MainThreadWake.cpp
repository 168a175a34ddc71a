#include "engine/MainThreadWake.h"

namespace sonari {

TMainThreadWake::TMainThreadWake(TSynchronizer& synchronizer, std::function<void()> call)
    : sync_(synchronizer), call_(std::move(call)), thread_([this] { Loop(); }) {}

TMainThreadWake::~TMainThreadWake() {
    ending_ = true;
    wake_.release();
    thread_.join();
    sync_.RemoveQueued(this);
}

void TMainThreadWake::Cancel() {
    sync_.RemoveQueued(this);
    queued_ = false;
}

void TMainThreadWake::Loop() {
    for (;;) {
        wake_.acquire();
        if (ending_)
            return;
        if (queued_.exchange(true))
            continue; // the main thread has not come round yet
        sync_.Queue(this, [this] {
            queued_ = false;
            call_();
        });
    }
}

} // namespace sonari
