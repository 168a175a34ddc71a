#pragma once

#include <QDialog>
#include <QLabel>

namespace sonari {

inline constexpr char kRightsLine[] = "Copyright \u00A9 2026 The Sonari project";

// "About Sonari": icon, name and version, rights, author and a link to the README installed
// with the program (the project has no web site or mail address of its own yet). Main thread
// only.
class TAboutDialog : public QDialog {
public:
    explicit TAboutDialog(QWidget* parent = nullptr);

    // The link's handler: opens the README.
    void WebLinkClick();

    QLabel* ProductLabel; // "Sonari v.<major.minor>", large bold blue
    QLabel* ShadowLabel;  // the same text in aqua, a few pixels behind it
};

} // namespace sonari
