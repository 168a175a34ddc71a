#pragma once

#include <QBoxLayout>
#include <QDialog>

#include <functional>

namespace sonari {

// A right-aligned row with "OK" (the default button, object name OkBtn) and "Cancel"
// (CancelBtn, rejects). `onOk` runs on OK; it decides whether the dialog closes.
QBoxLayout* OkCancelButtons(QDialog* dialog, std::function<void()> onOk);

} // namespace sonari
