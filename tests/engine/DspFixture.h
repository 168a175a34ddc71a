#pragma once

#include "FakeDspView.h"
#include "engine/Dsp.h"
#include "tests/SND/WDM/SimFixture.h"
#include "tests/support/TestSupport.h"

#include <memory>

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
