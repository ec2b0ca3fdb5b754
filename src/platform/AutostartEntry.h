#pragma once

#include <QString>
#include <QStringList>

// Starting the program at login: a desktop entry in $XDG_CONFIG_HOME/autostart
// whose command runs the program with "nowin", so it comes up in the tray.
namespace AutostartEntry {

QString Folder();
// The file the program creates: Savenook.desktop, or a free variant of that
// name when a Savenook.desktop of another program is there already.
QString NewEntryPath();

// The entries in the folder that start program (hidden ones do not start
// anything and do not count).
QStringList EntriesStarting(const QString& program);
bool IsPresent(const QString& program);

// Makes the folder agree with wanted: creates an entry when none starts the
// program, removes every entry that does when it is not wanted. Entries of
// other programs are never touched. False when a file could not be written or removed.
bool Apply(bool wanted, const QString& program);

// The program a desktop entry's Exec line starts (its first word, unquoted and
// unescaped), empty when there is none.
QString ExecProgram(const QString& entryText);
// The Exec value that runs program with the single argument "nowin".
QString ExecLine(const QString& program);

} // namespace AutostartEntry
