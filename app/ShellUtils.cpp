#include "app/ShellUtils.h"

#include "SonariVersion.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>
#include <QWidget>

namespace sonari {

void OpenUrl(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

QString MailToUrl(const QString& address, const QString& subject) {
    // '@', '+' and ',' (several addresses) stay readable; anything else that could end the
    // address part is encoded.
    QString url = "mailto:" + QString::fromLatin1(QUrl::toPercentEncoding(address, "@+,"));
    if (!subject.isEmpty())
        url += "?subject=" + QString::fromLatin1(QUrl::toPercentEncoding(subject));
    return url;
}

void SendMail(const QString& address, const QString& subject) {
    QDesktopServices::openUrl(QUrl::fromEncoded(MailToUrl(address, subject).toLatin1()));
}

void ForceForeground(QWidget* window) {
    if (!window)
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

QString ShortVersion(const QString& fullVersion) {
    const QStringList parts = fullVersion.split('.');
    const auto number = [&](int i) {
        bool ok = false;
        const uint value = i < parts.size() ? parts[i].trimmed().toUInt(&ok) : 0;
        return ok && value <= 0xFFFF ? value : 0u;
    };
    return QString("%1.%2").arg(number(0)).arg(number(1));
}

QString VersionString() { return ShortVersion(QStringLiteral(SONARI_VERSION_STRING)); }

QString ReadmeFile() {
    const QFileInfo beside(QCoreApplication::applicationDirPath() +
                           "/../share/doc/sonari/README.md");
    if (beside.isFile())
        return beside.canonicalFilePath();
    return QStringLiteral(SONARI_DOC_INSTALL_DIR "/README.md");
}

} // namespace sonari
