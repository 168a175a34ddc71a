#include "app/SndCardDialog.h"

#include "app/DialogButtons.h"

#include <QLabel>
#include <QVBoxLayout>

namespace sonari {
namespace {

QComboBox* DeviceBox(const char* name, const TDeviceNameList& names, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setMinimumWidth(320);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const auto& [text, index] : names)
        box->addItem(QString::fromStdString(text), index);
    return box;
}

} // namespace

TSndCardDialog::TSndCardDialog(const IDeviceList& devices, TDeviceSelection& selection,
                               const TDeviceNameList& captureNames,
                               const TDeviceNameList& renderNames, QWidget* parent)
    : QDialog(parent), devices_(devices), selection_(selection) {
    setObjectName("SndCardDialog");
    setWindowTitle("Soundcard Selection");
    ComboBox1 = DeviceBox("ComboBox1", captureNames, this);
    ComboBox2 = DeviceBox("ComboBox2", renderNames, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Input device", this));
    layout->addWidget(ComboBox1);
    layout->addSpacing(8);
    layout->addWidget(new QLabel("Output device", this));
    layout->addWidget(ComboBox2);
    layout->addSpacing(8);
    layout->addLayout(OkCancelButtons(this, [this] { accept(); }));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// An index outside the device list, or a device whose name is not offered, shows no selection.
void TSndCardDialog::SelectDevice(QComboBox* box, int32_t deviceIndex) {
    int item = -1;
    if (deviceIndex >= 0 && deviceIndex < devices_.DeviceCount())
        item = box->findText(QString::fromStdString(devices_.DeviceName(deviceIndex)),
                             Qt::MatchExactly | Qt::MatchCaseSensitive);
    box->setCurrentIndex(item);
}

void TSndCardDialog::showEvent(QShowEvent* event) {
    SelectDevice(ComboBox1, selection_.InputDeviceIndex);
    SelectDevice(ComboBox2, selection_.OutputDeviceIndex);
    QDialog::showEvent(event);
}

void TSndCardDialog::done(int result) {
    if (result == QDialog::Accepted) {
        // A list left without a selection keeps its device.
        if (ComboBox1->currentIndex() >= 0)
            selection_.InputDeviceIndex = ComboBox1->currentData().toInt();
        if (ComboBox2->currentIndex() >= 0)
            selection_.OutputDeviceIndex = ComboBox2->currentData().toInt();
        if (OnOk)
            OnOk();
    }
    QDialog::done(result);
    if (OnClosed)
        OnClosed();
}

} // namespace sonari
