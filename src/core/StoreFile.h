#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A store as it was found on disk.
struct StoreContent
{
    enum class State { Missing, Read, Unreadable };
    State Status = State::Missing;
    QByteArray Bytes;  // the file exactly as read
    QStringList Lines; // decoded, without line ends
    QString Error;     // why it could not be read
};

// The one way every store in the data folder (usrdatab, usrdatad, pprefs,
// opts, wprefs, nprefs) is written and read: one value per line, CR LF, UTF-8.
namespace StoreFile {

// Writes the store through "<name>TEMP", which is flushed and then renamed over
// the store. False, with the store as it was, when any step fails or a value
// holds a line break (which the line layout cannot carry). A store that is a
// link is written where it leads, through a temporary file beside the target.
bool Write(const QString& name, const QStringList& lines, QString* error = nullptr);

// Replaces several stores (name, exact bytes) as one: after a crash at any
// moment either all hold the new bytes or all the old ones. Each goes through
// its "<name>TEMP"; a marker names them once all are flushed, and the renames a
// crash cut short are finished before the next store is read or written.
// False, with every store as it was, when a temporary file cannot be written.
bool WriteTogether(const QList<std::pair<QString, QByteArray>>& stores, QString* error = nullptr);

// True when the store is a link to nothing (its target, or the folder of it, is missing).
bool IsBrokenLink(const QString& name);

StoreContent Read(const QString& name);

QByteArray EncodeLines(const QStringList& lines);
// Splits on CR LF or a bare LF. Text that is not valid UTF-8 is taken as
// Windows-1252, the code page older files were written in.
QStringList DecodeLines(const QByteArray& bytes);

// Keeps these bytes beside the store as "<name>.unloaded-YYYYMMDD-HHMMSS",
// never replacing an earlier copy. The path of the copy, or empty on failure.
QString KeepCopy(const QString& name, const QByteArray& bytes);

// Moves the store itself (a link stays a link) to the same side name, for a
// store that cannot be read and so cannot be copied. The new path; empty, with
// error set, when it could not be moved; empty without error when there is no store.
QString MoveAside(const QString& name, QString* error = nullptr);

} // namespace StoreFile
