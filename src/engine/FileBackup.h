#pragma once

#include "engine/EngineContext.h"

#include <QDateTime>
#include <QString>
#include <map>
#include <utility>

// Backs one file of one association up to every destination of that
// association, with the checks, previous versions, copy and reporting.
class FileBackup
{
  public:
    explicit FileBackup(EngineContext& context) : m_context(context) {}

    // SourcePath: the association's source path; Position: its 1-based position
    // in colBackups (looked up again by key whenever the interface may have run).
    void BackupFile(const QString& SourcePath, int Position, const QString& FilePath);

    // The source volume rule: list holds NUL-separated names; two NULs in a row
    // accept a drive without a name.
    static bool VolumeAccepted(const QString& list, const QString& volume);

    // Result texts of this step (the copy's own are BusyCopy's).
    static inline const QString FilterSkipped =
        QStringLiteral("(File skipped due to filter option settings.)");
    static inline const QString NotApplicable = QStringLiteral("<n/a>");
    static inline const QString DelayText = QStringLiteral("Delay: Permission required...");

  private:
    class Run;
    friend class Run;

    EngineContext& m_context;
    // Size and full-precision modification time of each file when it was last
    // copied to each destination folder, so an unchanged file is not copied again.
    std::map<std::pair<QString, QString>, std::pair<qint64, qint64>> m_lastCopied;
};
