#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QString>

#include <functional>

namespace sonari {

// "Startup Options": autostart with the desktop session, start in the tray, start processing.
// The autostart entry is written on OK at once; the two flags go to the owner's fields, which
// reach the settings file when the program ends. Main thread only.
class TStartOptionsDialog : public QDialog {
public:
    // `startInTray` and `startProcessing` must outlive the dialog; they are written on OK only.
    TStartOptionsDialog(bool& startInTray, bool& startProcessing, QWidget* parent = nullptr);

    // Shows an error; a message box unless replaced.
    std::function<void(const QString& message)> OnError;

    QCheckBox* CheckBox1; // autostart
    QCheckBox* CheckBox2; // start in the tray
    QCheckBox* CheckBox3; // start processing

    // OK: the autostart entry first; when that fails the error is shown, the flags stay as they
    // were and the dialog stays open.
    void OkBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowError(const QString& message);

    bool& startInTray_;
    bool& startProcessing_;
};

} // namespace sonari
