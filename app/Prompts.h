#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace sonari {

// A file dialog as the main window keeps it between uses: its title, folder, filters, default
// suffix and the file name it last held.
struct TFileDialogState {
    QString Title;
    QString Folder;
    QStringList Filters;
    QString DefaultSuffix;
    QString FileName; // full path, "" for none
    bool ForSave = false;
};

// Every question, error box and file dialog of the main window, each replaceable (tests answer
// them without a human). The defaults are modal boxes over `parent`.
struct TPrompts {
    explicit TPrompts(QWidget* parent);

    // The application's standard error box.
    std::function<void(const QString& message)> ShowError;
    // A confirmation with Yes, No and Cancel; closing the box counts as Cancel.
    std::function<QMessageBox::StandardButton(const QString& question)> AskYesNoCancel;
    // A question with OK and Cancel; true for OK.
    std::function<bool(const QString& question)> ConfirmOkCancel;
    // Shows the dialog; returns the chosen file, "" when cancelled.
    std::function<QString(const TFileDialogState& dialog)> ChooseFile;
};

} // namespace sonari
