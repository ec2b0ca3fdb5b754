#include "engine/clsDetectFolder.h"

#include "platform/ChangeNotifier.h"

void clsDetectFolder::ClassNotifyDelete(ChangeNotifier& notifier)
{
    if (IsOpen())
        notifier.Close(AutoBackup);
    AutoBackup = Closed;
}

void clsDetectFolder::ClassNotifyCreate(ChangeNotifier& notifier, bool blnSubTree)
{
    const int handle = notifier.Open(Folder, blnSubTree);
    // A notifier never hands out 0; should one do so, treat it as a failure so
    // the record is not mistaken for a closed one.
    AutoBackup = handle > 0 ? handle : NoNotification;
}
