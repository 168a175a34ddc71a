#include "app/SndCardDialog.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace sonari {
namespace {

// Three devices: a microphone, a device for both directions and a speaker.
class TFakeDevices : public IDeviceList {
public:
    int32_t DeviceCount() const override { return 3; }
    std::string DeviceName(int32_t index) const override { return names_.at(index); }
    int32_t IndexOfDevice(const std::string& name) const override {
        for (int32_t i = 0; i < 3; ++i)
            if (names_[i] == name)
                return i;
        return -1;
    }

private:
    std::vector<std::string> names_{"01  Mic", "02  Headset", "03  Speaker"};
};

const TDeviceNameList kCapture{{"01  Mic", 0}, {"02  Headset", 1}};
const TDeviceNameList kRender{{"02  Headset", 1}, {"03  Speaker", 2}};

// A sound card dialog with counters for its two callbacks, in the order they came.
struct TSndCardFixture {
    explicit TSndCardFixture(TDeviceSelection start) : selection(start) {
        dialog.OnOk = [this] { calls.push_back("ok"); };
        dialog.OnClosed = [this] { calls.push_back("closed"); };
    }
    TFakeDevices devices;
    TDeviceSelection selection;
    TDeviceNameList render = kRender;
    TSndCardDialog dialog{devices, selection, [] { return kCapture; }, [this] { return render; }};
    std::vector<std::string> calls;
};

// A device of the wrong direction (the defaults before any choice) gives way to the list's
// first; a saved device that is missing leaves its list without a selection.
TEST(SndCardDialog, UnsuitableDevicesPreselectTheFirstAndMissingOnesNothing) {
    TSndCardFixture wrongWay({2, 0}); // a speaker cannot capture, a microphone cannot play
    wrongWay.dialog.show();
    EXPECT_EQ(wrongWay.dialog.ComboBox1->currentText(), "01  Mic");
    EXPECT_EQ(wrongWay.dialog.ComboBox2->currentText(), "02  Headset");

    TDeviceSelection missing(7, -1);
    missing.MissingOutput = {"04  Radio-TX", "radio_tx"};
    TSndCardFixture f(missing);
    f.dialog.SetLowLatency(false);
    f.dialog.show();
    EXPECT_EQ(f.dialog.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(f.dialog.ComboBox2->currentIndex(), -1);
    EXPECT_FALSE(f.dialog.CheckBox1->isChecked());
    f.dialog.ComboBox2->setCurrentIndex(1);
    f.dialog.CheckBox1->setChecked(true);
    f.dialog.findChild<QPushButton*>("OkBtn")->click();
    EXPECT_EQ(f.selection.InputDeviceIndex, 0);
    EXPECT_EQ(f.selection.OutputDeviceIndex, 2);
    EXPECT_TRUE(f.dialog.LowLatency());
    EXPECT_EQ(f.calls, (std::vector<std::string>{"ok", "closed"}));
}

// Cancel, the close box and Escape all keep both devices and the latency and report the close.
// The lists are read at every showing, with their indices, and select by name.
TEST(SndCardDialog, EveryWayButOkKeepsBothDevicesAndTheListsAreReadAtEveryShowing) {
    TSndCardFixture f({1, 2});
    EXPECT_EQ(f.dialog.windowTitle(), "Soundcard Selection");
    for (const auto& close : std::vector<std::function<void(QDialog&)>>{
             [](QDialog& d) { d.findChild<QPushButton*>("CancelBtn")->click(); },
             [](QDialog& d) { d.close(); },
             [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }}) {
        f.dialog.show();
        EXPECT_EQ(f.dialog.ComboBox1->currentText(), "02  Headset");
        EXPECT_EQ(f.dialog.ComboBox2->currentText(), "03  Speaker");
        f.dialog.ComboBox1->setCurrentIndex(0);
        f.dialog.ComboBox2->setCurrentIndex(0);
        EXPECT_TRUE(f.dialog.CheckBox1->isChecked()); // low by default
        f.dialog.CheckBox1->setChecked(false);
        close(f.dialog);
        EXPECT_FALSE(f.dialog.isVisible());
    }
    EXPECT_TRUE(f.dialog.LowLatency());
    EXPECT_EQ(f.selection.InputDeviceIndex, 1);
    EXPECT_EQ(f.selection.OutputDeviceIndex, 2);
    EXPECT_EQ(f.calls, (std::vector<std::string>{"closed", "closed", "closed"}));
    EXPECT_EQ(f.dialog.ComboBox1->count(), 2);
    EXPECT_EQ(f.dialog.ComboBox2->itemData(1).toInt(), 2);
    f.render.insert(f.render.begin(), {"04  Radio-TX", 3}); // switched on since
    f.dialog.show();
    ASSERT_EQ(f.dialog.ComboBox2->count(), 3);
    EXPECT_EQ(f.dialog.ComboBox2->currentText(), "03  Speaker");
}

} // namespace
} // namespace sonari
