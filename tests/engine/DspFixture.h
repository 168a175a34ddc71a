#pragma once

#include "engine/Dsp.h"
#include "tests/SND/WDM/SimFixture.h"
#include "tests/engine/FakeDspView.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sonari::test {

// The chain parameters of an equalizer on blocks of `blockSize` as `edit` leaves it.
inline TChainParameters EqualizerParameters(int32_t blockSize,
                                            const std::function<void(TMicEqualizer&)>& edit) {
    TMicEqualizer equalizer;
    equalizer.SetDataBlockSize(blockSize);
    edit(equalizer);
    TChainParameters p;
    p.Equalizer = equalizer.Parameters();
    return p;
}

// Feeds `signal` to `chain` block by block (the last one padded with silence); the output.
inline TSingleArray ChainOutput(TProcessingChain& chain, const TSingleArray& signal) {
    TSingleArray in(static_cast<size_t>(chain.InputFrames()));
    TSingleArray out(static_cast<size_t>(chain.OutputFrames()));
    TSingleArray played;
    for (size_t first = 0; first < signal.size(); first += in.size()) {
        const size_t count = std::min(in.size(), signal.size() - first);
        std::fill(in.begin(), in.end(), 0.0f);
        std::copy_n(signal.begin() + static_cast<ptrdiff_t>(first), count, in.begin());
        chain.Process(in, out);
        played.insert(played.end(), out.begin(), out.end());
    }
    return played;
}

// An engine over simulated devices with a hand-driven clock, a fake main window and a
// temporary user folder (Folders().UserWavDir).
class TDspFixture : public TSimFixture {
protected:
    explicit TDspFixture(TSimPlatform::TClock clock = TSimPlatform::scManual)
        : TSimFixture(clock) {}

    // The path of `name` in the user folder, which is made if need be.
    std::string UserFile(const char* name) const {
        std::filesystem::create_directories(Folders.UserWavDir);
        return Folders.UserWavDir + name;
    }

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

    // Feeds `signal` to the block handler of `dsp` in `mode` at `rate` as the stream would,
    // hands each block's reports on and then calls `afterBlock`; channel 0 of what was played.
    static TSingleArray Feed(TDsp& dsp, TDspMode mode, const TSingleArray& signal, int32_t rate,
                             size_t outChannels, const std::function<void()>& afterBlock = {}) {
        dsp.SetMode(mode);
        dsp.PrepareRun(rate, rate);
        const auto frames = static_cast<size_t>(IsLiveMode(mode) ? dsp.Chain().InputFrames()
                                                                 : dsp.Chain().OutputFrames());
        TDataBufferF in(2, TSingleArray(frames));
        TDataBufferF out(outChannels, TSingleArray(frames));
        TSingleArray played;
        for (size_t first = 0; first + frames <= signal.size(); first += frames) {
            std::copy_n(signal.begin() + static_cast<ptrdiff_t>(first), frames, in[0].begin());
            dsp.WdmData(in, out);
            dsp.DeliverReports();
            if (!out.empty())
                played.insert(played.end(), out[0].begin(), out[0].end());
            if (afterBlock)
                afterBlock();
        }
        return played;
    }

    TTempDir Dir;
    TSoundFolders Folders{(Dir / "user").string() + "/", {(Dir / "shared").string() + "/"}};
    TFakeDspView View;
    TDeviceSelection Selection;
    std::unique_ptr<TDsp> Dsp;
};

// An engine between a 32-bit microphone that speaks `Signal` rounded to whole numbers (which
// the device carries exactly) and a transmitter that keeps what it plays, frame by frame.
class TDspLoopFixture : public TDspFixture {
protected:
    TDspLoopFixture(TSimPlatform::TClock clock, int32_t rate, TSingleArray signal)
        : TDspFixture(clock), Signal(std::move(signal)), rate_(rate) {
        for (float& x : Signal)
            x = std::nearbyint(x);
        TSimPin mic = SimPin(false, 1, 32, 32, rate, rate);
        mic.Source = [this](int64_t first, int32_t, TDataBufferF& block) {
            for (size_t f = 0; f < block[0].size(); ++f) {
                const auto n = static_cast<size_t>(first) + f;
                block[0][f] = n < Signal.size() ? Signal[n] : 0.0f;
            }
        };
        TSimPin speaker = SimPin(true, 1, 32, 32, rate, rate);
        speaker.Sink = [this](int64_t first, int32_t, const TDataBufferF& block) {
            std::lock_guard lock(mutex_);
            const auto at = static_cast<size_t>(first);
            if (played_.size() < at + block[0].size())
                played_.resize(at + block[0].size(), std::nanf("")); // a gap: nothing played
            std::copy(block[0].begin(), block[0].end(),
                      played_.begin() + static_cast<ptrdiff_t>(at));
        };
        WithDevices({mic}, {speaker});
    }

    // Expects the transmitter to have played, after the silence queued before the first block,
    // what a chain of its own makes of Signal in blocks of `blockSize` with the equalizer as
    // `edit` leaves it: to `tolerance` on the integers the device rounds to, for `frames` frames
    // at least. Returns that chain's output.
    TSingleArray ExpectPlayedAsTheChain(int32_t blockSize,
                                        const std::function<void(TMicEqualizer&)>& edit,
                                        float tolerance, size_t frames) {
        TProcessingChain chain;
        chain.Prepare({rate_, rate_, true, false, blockSize}, EqualizerParameters(blockSize, edit));
        const TSingleArray direct = ChainOutput(chain, Signal);
        const auto block = static_cast<size_t>(chain.InputFrames());
        std::lock_guard lock(mutex_);
        const auto firstSound = [](const TSingleArray& x) {
            return static_cast<size_t>(
                std::find_if(x.begin(), x.end(), [](float v) { return std::fabs(v) > 1e4f; }) -
                x.begin());
        };
        const size_t lead = (firstSound(played_) - firstSound(direct)) / block * block;
        EXPECT_GE(played_.size(), lead + frames);
        for (size_t n = 0; n < direct.size() && lead + n < played_.size(); ++n)
            if (!(std::fabs(played_[lead + n] - std::nearbyint(direct[n])) <= tolerance)) {
                ADD_FAILURE() << "frame " << n << ": " << played_[lead + n] << " for " << direct[n];
                break;
            }
        return direct;
    }

    TSingleArray Signal;

private:
    int32_t rate_;
    std::mutex mutex_;
    TSingleArray played_;
};

} // namespace sonari::test
