#include "app/SndCardDialog.h"

#include "app/DialogButtons.h"

#include <QLabel>
#include <QVBoxLayout>

namespace sonari {
namespace {

QComboBox* DeviceBox(const char* name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setMinimumWidth(320);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

} // namespace

TSndCardDialog::TSndCardDialog(const IDeviceList& devices, TDeviceSelection& selection,
                               TNames captureNames, TNames renderNames, QWidget* parent)
    : QDialog(parent), devices_(devices), selection_(selection),
      captureNames_(std::move(captureNames)), renderNames_(std::move(renderNames)) {
    setObjectName("SndCardDialog");
    setWindowTitle("Soundcard Selection");
    ComboBox1 = DeviceBox("ComboBox1", this);
    ComboBox2 = DeviceBox("ComboBox2", this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Input device", this));
    layout->addWidget(ComboBox1);
    layout->addSpacing(8);
    layout->addWidget(new QLabel("Output device", this));
    layout->addWidget(ComboBox2);
    layout->addSpacing(8);
    CheckBox1 = new QCheckBox("Low latency", this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setToolTip("Short blocks from microphone to transmitter; applies from the next "
                          "start of processing");
    layout->addWidget(CheckBox1);
    layout->addSpacing(8);
    layout->addLayout(OkCancelButtons(this, [this] { accept(); }));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// The chosen device, or the list's first one when the index names none of this direction (the
// defaults before any choice); a saved device that is missing shows no selection, so nothing
// else is chosen without the operator seeing it.
void TSndCardDialog::Fill(QComboBox* box, const TDeviceNameList& names, int32_t deviceIndex,
                          bool missing) {
    box->clear();
    for (const auto& [text, index] : names)
        box->addItem(QString::fromStdString(text), index);
    int item = -1;
    if (deviceIndex >= 0 && deviceIndex < devices_.DeviceCount())
        item = box->findText(QString::fromStdString(devices_.DeviceName(deviceIndex)),
                             Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (item < 0 && !missing && box->count() > 0)
        item = 0;
    box->setCurrentIndex(item);
}

void TSndCardDialog::showEvent(QShowEvent* event) {
    Fill(ComboBox1, captureNames_(), selection_.InputDeviceIndex,
         !selection_.MissingInput.Caption.empty());
    Fill(ComboBox2, renderNames_(), selection_.OutputDeviceIndex,
         !selection_.MissingOutput.Caption.empty());
    CheckBox1->setChecked(lowLatency_);
    QDialog::showEvent(event);
}

void TSndCardDialog::done(int result) {
    if (result == QDialog::Accepted) {
        // A list left without a selection keeps its device.
        if (ComboBox1->currentIndex() >= 0)
            selection_.InputDeviceIndex = ComboBox1->currentData().toInt();
        if (ComboBox2->currentIndex() >= 0)
            selection_.OutputDeviceIndex = ComboBox2->currentData().toInt();
        lowLatency_ = CheckBox1->isChecked();
        if (OnOk)
            OnOk();
    }
    QDialog::done(result);
    if (OnClosed)
        OnClosed();
}

} // namespace sonari
