#pragma once

#include <QString>

namespace sonari {

// Starting with the desktop session through an XDG autostart entry
// ($XDG_CONFIG_HOME, default ~/.config, + "/autostart/<base>.desktop", <base> being the program
// file's name without folder and extension). Enabled means the entry exists, has a non-empty
// Exec and is not Hidden=true, whichever copy of the program wrote it.

// For the running program.
bool IsAutoStartEnabled();
// Writes the entry with the running program's full path, or removes it (a missing entry is no
// error). Failures raise Exception with the path and the reason; nothing is half-written.
void SetAutoStart(bool enable);

// The same for any program file (full path).
bool IsAutoStartEnabledFor(const QString& programFile);
void SetAutoStartFor(const QString& programFile, bool enable);
QString AutostartEntryPath(const QString& programFile);

// One Exec argument as it stands in the file: double-quoted when it holds a space or a reserved
// character, with '"', '`', '$' and '\' escaped inside the quotes, '%' doubled, and the
// string-value escapes applied on top.
QString DesktopExecArgument(const QString& argument);

} // namespace sonari
