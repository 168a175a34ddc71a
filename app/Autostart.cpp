#include "app/Autostart.h"

#include "SND/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace sonari {
namespace {

// Characters that make the Desktop Entry rules require quoting.
const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");

QString ConfigHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative paths are invalid there and must be ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + "/.config";
}

QString RunningProgram() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo("/proc/self/exe").canonicalFilePath();
}

QString EscapeStringValue(const QString& value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    return escaped;
}

// Key/value pairs of the [Desktop Entry] group that decide whether the entry is enabled.
struct TEntry {
    QString Exec;
    QString Hidden;
};

TEntry ReadEntry(QFile& file) {
    TEntry entry;
    QTextStream in(&file);
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || line.startsWith('#') || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == "Exec")
            entry.Exec = value;
        else if (key == "Hidden")
            entry.Hidden = value;
    }
    return entry;
}

QString EntryText(const QString& programFile) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Sonari\n"
           "Comment=Transmit-audio processor for radio amateurs\n"
           "Exec=" +
           DesktopExecArgument(programFile) +
           "\n"
           "Icon=sonari\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

void WriteEntry(const QString& path, const QString& programFile) {
    const auto fail = [&](const QString& reason) {
        throw Exception(
            QString("Cannot write the autostart entry \"%1\": %2").arg(path, reason).toStdString());
    };
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail("the folder cannot be created");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    file.write(EntryText(programFile).toUtf8());
    if (!file.commit())
        fail(file.errorString());
}

void RemoveEntry(const QString& path) {
    QFile file(path);
    if (file.exists() && !file.remove())
        throw Exception(QString("Cannot remove the autostart entry \"%1\": %2")
                            .arg(path, file.errorString())
                            .toStdString());
}

} // namespace

QString AutostartEntryPath(const QString& programFile) {
    return ConfigHome() + "/autostart/" + QFileInfo(programFile).completeBaseName() + ".desktop";
}

QString DesktopExecArgument(const QString& argument) {
    bool needsQuotes = false;
    for (const QChar c : argument)
        needsQuotes = needsQuotes || kReserved.contains(c);
    QString quoted;
    for (const QChar c : argument) {
        if (c == '%')
            quoted += "%%";
        else if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted += QString('\\') + c;
        else
            quoted += c;
    }
    if (needsQuotes)
        quoted = '"' + quoted + '"';
    return EscapeStringValue(quoted);
}

bool IsAutoStartEnabledFor(const QString& programFile) {
    QFile file(AutostartEntryPath(programFile));
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Exception(QString("Cannot read the autostart entry \"%1\": %2")
                            .arg(file.fileName(), file.errorString())
                            .toStdString());
    const TEntry entry = ReadEntry(file);
    return !entry.Exec.isEmpty() && entry.Hidden.compare("true", Qt::CaseInsensitive) != 0;
}

void SetAutoStartFor(const QString& programFile, bool enable) {
    const QString path = AutostartEntryPath(programFile);
    if (enable)
        WriteEntry(path, programFile);
    else
        RemoveEntry(path);
}

bool IsAutoStartEnabled() { return IsAutoStartEnabledFor(RunningProgram()); }

void SetAutoStart(bool enable) { SetAutoStartFor(RunningProgram(), enable); }

} // namespace sonari
