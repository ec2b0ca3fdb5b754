#pragma once

#include <QString>

// What the engine makes of a failed file operation.
// Abandoned: the caller's keepGoing said stop (the program is closing).
// SourceChanged: the source's size, time or identity moved during a copy.
// NameNotAllowed: the target's file system cannot hold the name (NTFS, FAT and
// others keep names in a character set that bytes which are not UTF-8 have no place in).
enum class FileError { None, AccessDenied, DiskFull, Other, SourceChanged, Abandoned, NameNotAllowed };

// The outcome of a copy or a durable write: the kind of failure, the errno of
// the failing call (0 when no call failed, as for SourceChanged) and the path it
// failed on, so a log line and a test can say what happened.
struct FileResult
{
    FileError Error = FileError::None;
    int Errno = 0;
    const char* Call = ""; // the failing step ("rename", "write", ...)
    QString Path;
    QString OtherPath; // the second path of a rename or a link

    bool Ok() const { return Error == FileError::None; }
    explicit operator bool() const { return Ok(); }

    // "<call> <path>[ -> <other path>]: <reason>", for a log line.
    QString Message() const;

    static FileResult Failed(int error, const char* call, const QString& path, const QString& otherPath = {});
    static FileResult Failed(FileError kind, const char* call, const QString& path);
    static FileError KindOf(int error);
};
