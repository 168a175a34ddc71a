#include "app/StartOptionsDialog.h"

#include "SND/Exceptions.h"
#include "app/Autostart.h"
#include "app/DialogButtons.h"
#include "app/ShellUtils.h"

#include <QMessageBox>
#include <QVBoxLayout>

namespace sonari {
namespace {

QCheckBox* CheckBox(const char* name, const char* caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

} // namespace

TStartOptionsDialog::TStartOptionsDialog(bool& startInTray, bool& startProcessing, QWidget* parent)
    : QDialog(parent), startInTray_(startInTray), startProcessing_(startProcessing) {
    setObjectName("StartOptionsDialog");
    setWindowTitle("Startup Options");
    CheckBox1 = CheckBox("CheckBox1", "Start this program when the desktop session starts", this);
    CheckBox2 = CheckBox("CheckBox2", "Start in the System Tray", this);
    CheckBox3 = CheckBox("CheckBox3", "Start audio processing on program start", this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CheckBox1);
    layout->addWidget(CheckBox2);
    layout->addWidget(CheckBox3);
    layout->addSpacing(8);
    layout->addLayout(OkCancelButtons(this, [this] { OkBtnClick(); }));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TStartOptionsDialog::ShowError(const QString& message) {
    if (OnError)
        OnError(message);
    else
        QMessageBox::critical(this, kApplicationTitle, message);
}

void TStartOptionsDialog::showEvent(QShowEvent* event) {
    bool autostart = false;
    try {
        autostart = IsAutoStartEnabled();
    } catch (const Exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
    CheckBox1->setChecked(autostart);
    CheckBox2->setChecked(startInTray_);
    CheckBox3->setChecked(startProcessing_);
    QDialog::showEvent(event);
}

void TStartOptionsDialog::OkBtnClick() {
    try {
        SetAutoStart(CheckBox1->isChecked());
    } catch (const Exception& e) {
        ShowError(QString::fromStdString(e.what()));
        return;
    }
    startInTray_ = CheckBox2->isChecked();
    startProcessing_ = CheckBox3->isChecked();
    accept();
}

} // namespace sonari
