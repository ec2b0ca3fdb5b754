#include "engine/colDetectFolders.h"

clsDetectFolder* colDetectFolders::Add(const QString& Folder, int AutoBackup,
                                       ChangeNotifier::WaitResult Result, const QString& DetectionDate,
                                       const QString& sKey)
{
    clsDetectFolder record;
    record.Folder = Folder;
    record.AutoBackup = AutoBackup;
    record.Result = Result;
    record.DetectionDate = DetectionDate;
    return KeyedList::Add(std::move(record), sKey);
}
