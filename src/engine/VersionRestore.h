#pragma once

#include "platform/FileCopier.h"
#include "reporting/colRecent.h"

#include <QDateTime>
#include <QString>
#include <functional>

// Puts a held copy back in place of a file, keeping the file as it is now first,
// through the copier's stage-and-rename steps so a failure leaves it untouched.
class VersionRestore
{
  public:
    struct Result
    {
        bool Restored = false;
        QString KeptBeside; // where the replaced file was kept, when not as a backup version
        QString Error;      // empty on success
    };

    // keepAsVersion backs the file at target up as usual and says whether a
    // destination now holds it; when it is null or says no, the file is kept
    // beside itself (see BesideName). keepCurrent false: target is overwritten
    // without keeping (the user chose to, in "Restore to...").
    static Result Restore(const QString& copyPath, const QString& target, FileCopier& copier,
                          bool keepCurrent, const std::function<bool(const QString& target)>& keepAsVersion,
                          const QDateTime& now = QDateTime::currentDateTime());

    // "name (before restore YYYY-MM-DD HHMMSS).ext" beside path.
    static QString BesideName(const QString& path, const QDateTime& now);

    // One record of the restore in the recent-activity list.
    static void Log(colRecent& recent, const QString& target, const QString& copyPath, const Result& result);
};
