#pragma once

#include <cstdint>

namespace sonari {

// The engine's modes; stored and compared as numbers.
enum TDspMode : uint8_t {
    dmStop = 0,          // no stream
    dmSelectDevices = 1, // no stream (the sound card dialog)
    dmAdjustGain = 2,    // capture: input meter and displays
    dmRecord = 3,        // capture: as 2, and each block goes to Voice.wav
    dmPlay = 4,          // render: voice loop or test tone through the processor
    dmPlayToFile = 5,    // render: as 4, and each 12 kHz block goes to Out.wav
    dmProcess = 6,       // capture and render: microphone through the processor to the output
};

// A microphone feeds the run.
inline bool IsLiveMode(TDspMode mode) {
    return mode == dmAdjustGain || mode == dmRecord || mode == dmProcess;
}
// The run renders the processor's output.
inline bool IsOutputMode(TDspMode mode) {
    return mode == dmPlay || mode == dmPlayToFile || mode == dmProcess;
}
// The operator may edit the curves: a voice plays through the processor or the microphone does.
inline bool IsEditMode(TDspMode mode) { return mode == dmPlay || mode == dmProcess; }

} // namespace sonari
