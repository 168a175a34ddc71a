#pragma once

#include <QString>

class QWidget;

namespace sonari {

// The application title, which is also the main window's caption.
inline constexpr char kApplicationTitle[] = "Sonari";

// Asks the desktop to open a web address (or any URL) with its default handler.
void OpenUrl(const QString& url);
// "mailto:" + address, plus "?subject=" + the percent-encoded subject when it is not empty.
QString MailToUrl(const QString& address, const QString& subject);
// Starts a mail message to `address` in the desktop's mail program.
void SendMail(const QString& address, const QString& subject);
// Shows `window` restored (not minimized), raised and active. Null is ignored.
void ForceForeground(QWidget* window);
// "major.minor" of a dotted version ("1.0.0.10" -> "1.0"); "0.0" when there is none.
QString ShortVersion(const QString& fullVersion);
// The program's version as shown to the operator, from the build's project version.
QString VersionString();
// The README installed with the program: in the documentation folder beside its bin folder
// (as a package and the build tree have it), else under the configured prefix.
QString ReadmeFile();

} // namespace sonari
