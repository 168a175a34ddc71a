#include "app/DialogButtons.h"

#include <QPushButton>

namespace sonari {

QBoxLayout* OkCancelButtons(QDialog* dialog, std::function<void()> onOk) {
    auto* ok = new QPushButton("OK", dialog);
    ok->setObjectName("OkBtn");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", dialog);
    cancel->setObjectName("CancelBtn");
    QObject::connect(ok, &QPushButton::clicked, dialog, std::move(onOk));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

} // namespace sonari
