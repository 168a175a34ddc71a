#include "app/Prompts.h"

#include "app/ShellUtils.h"

#include <QFileDialog>

namespace sonari {
namespace {

QString RunFileDialog(QWidget* parent, const TFileDialogState& state) {
    QFileDialog dialog(parent, state.Title, state.Folder);
    dialog.setNameFilters(state.Filters);
    dialog.setDefaultSuffix(state.DefaultSuffix);
    dialog.setAcceptMode(state.ForSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(state.ForSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!state.FileName.isEmpty())
        dialog.selectFile(state.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

TPrompts::TPrompts(QWidget* parent) {
    ShowError = [parent](const QString& message) {
        QMessageBox::critical(parent, kApplicationTitle, message);
    };
    AskYesNoCancel = [parent](const QString& question) {
        return QMessageBox::question(parent, kApplicationTitle, question,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                     QMessageBox::Yes);
    };
    ConfirmOkCancel = [parent](const QString& question) {
        return QMessageBox::question(parent, kApplicationTitle, question,
                                     QMessageBox::Ok | QMessageBox::Cancel,
                                     QMessageBox::Ok) == QMessageBox::Ok;
    };
    ChooseFile = [parent](const TFileDialogState& dialog) { return RunFileDialog(parent, dialog); };
}

} // namespace sonari
