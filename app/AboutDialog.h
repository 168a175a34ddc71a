#pragma once

#include <QDialog>
#include <QLabel>

namespace sonari {

// Where the project can be reached; shown in the about box.
inline constexpr char kContactAddress[] = "sonari@example.org";
inline constexpr char kWebAddress[] = "https://sonari.example.org/";
inline constexpr char kRightsLine[] = "Copyright \u00A9 2026 The Sonari project";

// "About Sonari": icon, name and version, rights, contact and web links. Main thread only.
class TAboutDialog : public QDialog {
public:
    explicit TAboutDialog(QWidget* parent = nullptr);

    // The link handlers: a mail with the application title as subject, the web site.
    void AuthorLinkClick();
    void WebLinkClick();

    QLabel* ProductLabel; // "Sonari v.<major.minor>", large bold blue
    QLabel* ShadowLabel;  // the same text in aqua, a few pixels behind it
};

} // namespace sonari
