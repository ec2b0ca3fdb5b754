#pragma once

#include <QString>
#include <QtGlobal>

// What the changed-folder scan needs to know about one directory entry, from
// a single stat call: Qt's QFileInfo spends an access() on exists() and two
// time-zone file checks on every lastModified(), which on a 10 000-file scan
// costs more than the scan itself. The time keeps full precision, so two saves
// within one second are told apart.
struct FileStamp
{
    bool Exists = false;
    bool Regular = false; // a regular file (after following a link when asked to)
    bool SymLink = false; // the entry itself is a link (only when links are not followed)
    qint64 Size = 0;
    qint64 ModifiedNs = 0; // nanoseconds since the epoch

    // Whole milliseconds, rounded down.
    qint64 ModifiedMs() const
    {
        return ModifiedNs >= 0 ? ModifiedNs / 1000000 : -((-ModifiedNs + 999999) / 1000000);
    }

    // followLinks: a link is judged by what it points to.
    static FileStamp Of(const QString& path, bool followLinks);
};
