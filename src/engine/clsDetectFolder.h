#pragma once

#include "platform/ChangeNotifier.h"

#include <QString>

// One watched folder: its change-notification handle and the reference time
// from which files count as changed.
struct clsDetectFolder
{
    // Closed records (0) are removed by the next watch tick; -1 records stay
    // but are never polled.
    static constexpr int Closed = 0;
    static constexpr int NoNotification = -1;

    QString DetectionDate; // empty until the first quiet tick
    ChangeNotifier::WaitResult Result = ChangeNotifier::WaitResult::Signalled; // of the last poll
    int AutoBackup = Closed;
    QString Folder; // exactly as passed when the watch was set up

    // Closes an open notification; the record is then due for removal.
    void ClassNotifyDelete(ChangeNotifier& notifier);
    // Opens a notification on Folder (-1 when that fails).
    void ClassNotifyCreate(ChangeNotifier& notifier, bool blnSubTree);

    bool IsOpen() const { return AutoBackup != Closed && AutoBackup != NoNotification; }
};
