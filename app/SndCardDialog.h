#pragma once

#include "SND/WDM/DeviceList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sonari {

// Device names of one direction, each with its index in the device list.
using TDeviceNameList = std::vector<std::pair<std::string, int32_t>>;

// "Soundcard Selection": picks the capture and render devices. The lists are read each time the
// dialog shows, so a device plugged in since is offered. Main thread only.
class TSndCardDialog : public QDialog {
public:
    // `devices` and `selection` must outlive the dialog; `selection` is written on OK only.
    using TNames = std::function<TDeviceNameList()>;
    TSndCardDialog(const IDeviceList& devices, TDeviceSelection& selection, TNames captureNames,
                   TNames renderNames, QWidget* parent = nullptr);

    // After OK has stored the choice (the owner updates what depends on the devices).
    std::function<void()> OnOk;
    // After every close, by OK, Cancel, Escape or the close box.
    std::function<void()> OnClosed;

    // Designer names kept as object names.
    QComboBox* ComboBox1; // capture devices
    QComboBox* ComboBox2; // render devices
    QCheckBox* CheckBox1; // "Low latency"

    // The latency choice as last accepted; the box shows it each time the dialog opens.
    bool LowLatency() const { return lowLatency_; }
    void SetLowLatency(bool on) { lowLatency_ = on; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill(QComboBox* box, const TDeviceNameList& names, int32_t deviceIndex, bool missing);

    const IDeviceList& devices_;
    TDeviceSelection& selection_;
    TNames captureNames_, renderNames_;
    bool lowLatency_ = true;
};

} // namespace sonari
