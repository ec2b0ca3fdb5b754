#pragma once

#include <QString>
#include <QtGlobal>

// One file already handed to the backup during the processing of one changed
// folder. ModifiedDate is the whole-second text; a second save within the same
// second differs only in ModifiedNs or Size, so those decide whether the file
// was seen (manual synchronisation records none of the three).
struct clsDetectedFile
{
    QString ModifiedDate;
    QString Path;
    qint64 ModifiedNs = 0; // modification time, nanoseconds since the epoch
    qint64 Size = 0;
};
