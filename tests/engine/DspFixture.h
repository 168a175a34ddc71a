#pragma once

#include "FakeDspView.h"
#include "engine/Dsp.h"
#include "tests/SND/WDM/SimFixture.h"
#include "tests/support/TestSupport.h"

#include <memory>
#include <vector>

namespace sonari::test {

// An engine over simulated devices with a hand-driven clock, a fake main window and a
// temporary user folder (Folders().UserWavDir).
class TDspFixture : public TSimFixture {
protected:
    explicit TDspFixture(TSimPlatform::TClock clock = TSimPlatform::scManual)
        : TSimFixture(clock) {}

    TDsp& MakeDsp() {
        if (!Audio)
            Build();
        Dsp = std::make_unique<TDsp>(*Audio, Sync, View, Selection, Folders);
        return *Dsp;
    }

    // An engine whose microphone is device 0 and whose speaker is device 1.
    TDsp& WithDevices(std::vector<TSimPin> capture, std::vector<TSimPin> render) {
        Sim.AddDevice(SimDevice("Mic", std::move(capture)));
        Sim.AddDevice(SimDevice("Speaker", std::move(render)));
        Selection = {0, 1};
        return MakeDsp();
    }

    // Serves `blocks` device buffers of 1024 * Ratio frames at `rate` and hands their reports to
    // the view.
    void RunBlocks(int blocks, int32_t rate) {
        for (int i = 0; i < blocks; ++i) {
            Run(Dsp->Stream(), 1, 1024 * (rate / 12000), rate);
            Dsp->DeliverReports();
        }
    }

    TTempDir Dir;
    TSoundFolders Folders{(Dir / "user").string() + "/", {(Dir / "shared").string() + "/"}};
    TFakeDspView View;
    TDeviceSelection Selection;
    std::unique_ptr<TDsp> Dsp;
};

} // namespace sonari::test
