#include "app/AboutDialog.h"

#include "app/AppIcons.h"
#include "app/ShellUtils.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace sonari {
namespace {

constexpr int kShadowOffset = 3; // pixels right and down

QLabel* ProductText(const char* name, const QString& text, const char* color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setPointSize(20);
    font.setBold(true);
    label->setFont(font);
    label->setStyleSheet(QString("color: %1;").arg(color));
    label->adjustSize();
    return label;
}

QLabel* Link(const char* name, const QString& text, const QString& hint, QWidget* parent) {
    auto* label =
        new QLabel(QString("<a href=\"#\" style=\"color: blue;\">%1</a>").arg(text), parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setCursor(Qt::PointingHandCursor);
    label->setToolTip(hint);
    return label;
}

} // namespace

TAboutDialog::TAboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutDialog");
    setWindowTitle(QString("About ") + kApplicationTitle);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* icon = new QLabel(frame);
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(ProgramIcon().pixmap(64, 64));

    // The shadow is drawn first and offset, so the blue text sits in front of it.
    const QString product = QString(kApplicationTitle) + " v." + VersionString();
    auto* productBox = new QWidget(frame);
    ShadowLabel = ProductText("ShadowLabel", product, "aqua", productBox);
    ProductLabel = ProductText("ProductLabel", product, "blue", productBox);
    ShadowLabel->move(kShadowOffset, kShadowOffset);
    productBox->setFixedSize(ProductLabel->size() + QSize(kShadowOffset, kShadowOffset));

    auto* author = new QLabel("The Sonari project", frame);
    author->setObjectName("AuthorLabel");
    auto* web = Link("WebLink", "README.md", ReadmeFile(), frame);
    connect(web, &QLabel::linkActivated, this, [this] { WebLinkClick(); });
    auto* freeware = new QLabel("Freeware", frame);
    freeware->setObjectName("FreewareLabel");
    freeware->setStyleSheet("color: red; font-weight: bold;");

    auto* grid = new QGridLayout(frame);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(productBox, 0, 1, 1, 2);
    grid->addWidget(new QLabel(kRightsLine, frame), 1, 1, 1, 2);
    grid->addWidget(new QLabel("Author: ", frame), 2, 1);
    grid->addWidget(author, 2, 2);
    grid->addWidget(new QLabel("Web site:", frame), 3, 1);
    grid->addWidget(web, 3, 2);
    grid->addWidget(freeware, 4, 1, 1, 2);

    auto* close = new QPushButton("&Close", this);
    close->setObjectName("CloseBtn");
    close->setDefault(true); // Escape already rejects: the button is also the cancel button
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setWindowIcon(ProgramIcon());
}

void TAboutDialog::WebLinkClick() { QDesktopServices::openUrl(QUrl::fromLocalFile(ReadmeFile())); }

} // namespace sonari
