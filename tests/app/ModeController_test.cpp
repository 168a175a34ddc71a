#include "app/ModeController.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sonari {
namespace {

using TLog = std::vector<std::string>;
constexpr const char* kPrompt = "Click on OK to start recording:";

// Engine and window in one, writing what they were told and what the operator was shown to one
// log, in order.
class TFakeWindow : public IModeEngine, public IModeView {
public:
    TDspMode Mode() const override { return mode_; }
    void SetMode(TDspMode mode) override { Log.push_back("mode " + std::to_string(mode_ = mode)); }
    void Stop() noexcept override { Log.push_back("stop"); }
    void StartInput() override { Start("input"); }
    void StartRecording() override { Start("recording"); }
    void StartOutput() override { Start("output"); }
    void StartOutputToFile() override { Start("output to file"); }
    void StartDuplex() override { Start("duplex"); }
    void SetDisplaysVisible(bool) override {}
    bool DevicesValid() const override { return true; }
    void RefreshDevices() override { Log.push_back("refresh"); }
    std::string MissingDevice() const override { return Missing; }
    double LatencyEstimateMs() const override { return LatencyMs; }
    bool HasVoice() const override { return false; }
    bool LoadVoice() override {
        Log.push_back("load voice");
        return true;
    }

    void ShowStep(TDspMode mode) override { Step = mode; }
    void EnableSteps(bool, bool) override { Log.push_back("steps"); }
    void ClearDisplays() override {}
    void ShowRunning(bool running) override { Running = running; }
    void ShowLowerArea(bool shown) override { LowerArea = shown; }
    void RepaintEditors() override {}
    void ShowNote(const QString& note) override { Note = note; }
    void SelectDevices() override { OnSelectDevices(); }
    bool DisplaysVisible() const override { return true; }
    void Post(std::function<void()> call) override { Posted.push_back(std::move(call)); }

    TLog Take() { return std::exchange(Log, {}); }
    void RunPosted() {
        for (auto& call : std::exchange(Posted, {}))
            call();
    }

    TLog Log;
    std::string Failing; // the start that raises
    std::string Missing;
    double LatencyMs = std::nan("");
    TDspMode Step = dmStop;
    bool Running = false, LowerArea = true;
    QString Note;
    std::function<void()> OnSelectDevices;
    std::vector<std::function<void()>> Posted;

private:
    void Start(const std::string& what) {
        Log.push_back("start " + what);
        if (what == Failing)
            throw std::runtime_error("device busy");
    }
    TDspMode mode_ = dmStop;
};

class ModeControllerTest : public ::testing::Test {
protected:
    ModeControllerTest() {
        prompts.ShowError = [this](const QString& text) {
            window.Log.push_back("error: " + text.toStdString());
        };
        prompts.ConfirmOkCancel = [this](const QString& question) {
            window.Log.push_back(question.toStdString());
            return confirm;
        };
        modes.CtrlHeld = [] { return false; };
    }

    TFakeWindow window;
    TPrompts prompts{nullptr};
    TModeController modes{window, window, prompts};
    bool confirm = true;
};

// Dialog closed, prompt cancelled or start failed: the nested stop is what the window shows.
TEST_F(ModeControllerTest, EveryChangeStopsFirstAndAStopMadeWhileStartingWins) {
    modes.SetMode(dmRecord);
    EXPECT_EQ(window.Take(),
              (TLog{"stop", "refresh", "steps", "mode 3", kPrompt, "start recording"}));
    EXPECT_FALSE(window.LowerArea);

    window.OnSelectDevices = [this] { modes.SetMode(dmStop); };
    modes.SetMode(dmSelectDevices);
    EXPECT_EQ(window.Take(),
              (TLog{"stop", "refresh", "steps", "mode 1", "stop", "steps", "mode 0"}));

    confirm = false;
    modes.SetMode(dmRecord);
    EXPECT_EQ(window.Take(),
              (TLog{"stop", "refresh", "steps", "mode 3", kPrompt, "stop", "steps", "mode 0"}));
    EXPECT_TRUE(window.LowerArea);

    window.Failing = "duplex";
    modes.SetMode(dmProcess);
    // The devices are silenced before the error box waits for the operator.
    EXPECT_EQ(window.Take(), (TLog{"stop", "refresh", "steps", "mode 6", "start duplex", "stop",
                                   "error: device busy", "stop", "steps", "mode 0"}));
    EXPECT_EQ(window.Step, dmStop);
    EXPECT_FALSE(window.Running);
}

// Reports of the streaming thread are handled later, and only for their own run: blocks past the
// recording's mark report again, and the operator may have moved on meanwhile.
TEST_F(ModeControllerTest, ReportsAreHandledLaterAndOnlyForTheirOwnRunAndTheLatencyIsShown) {
    modes.SetMode(dmRecord);
    modes.RecordingComplete();
    EXPECT_EQ(window.Mode(), dmRecord); // never inside the block handler
    window.Take();
    window.RunPosted();
    EXPECT_EQ(window.Take(), (TLog{"stop", "steps", "mode 0", "load voice", "steps"}));

    modes.SetMode(dmAdjustGain);
    modes.RecordingComplete();
    modes.StreamEnded("device gone");
    modes.SetMode(dmAdjustGain);
    window.RunPosted();
    EXPECT_EQ(window.Mode(), dmAdjustGain);

    // An output file is complete: stop, and the voice stays as it is.
    modes.SetMode(dmPlayToFile);
    modes.RecordingComplete();
    window.Take();
    window.RunPosted();
    EXPECT_EQ(window.Take(), (TLog{"stop", "steps", "mode 0"}));

    modes.SetMode(dmProcess);
    modes.StreamEnded("device gone");
    window.Take();
    window.RunPosted();
    EXPECT_EQ(window.Take(),
              (TLog{"stop", "steps", "mode 0", "error: Streaming stopped: device gone"}));
    EXPECT_EQ(window.Note, "  Streaming stopped: device gone");

    // The latency shows only once the devices have reported it, only while processing, and
    // never over the name of a missing device.
    modes.SetMode(dmProcess);
    modes.ShowLatency();
    EXPECT_EQ(window.Note, "");
    window.LatencyMs = 53.6;
    modes.ShowLatency();
    EXPECT_EQ(window.Note, "  Latency from microphone to transmitter: about 54 ms");

    window.Missing = "Sound device not found: Radio";
    window.Note.clear();
    modes.ShowLatency();
    EXPECT_EQ(window.Note, "");

    window.Missing.clear();
    modes.SetMode(dmPlay);
    modes.ShowLatency();
    EXPECT_EQ(window.Note, "");
}

} // namespace
} // namespace sonari
