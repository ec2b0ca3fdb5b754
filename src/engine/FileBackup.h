#pragma once

#include "engine/DestinationMounts.h"
#include "engine/EngineContext.h"

#include <QCache>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <utility>

// Backs one file of one association up to every destination of that
// association, with the checks, previous versions, copy and reporting.
class FileBackup
{
  public:
    static constexpr int RememberedCopies = 4096;

    // rememberedCopies: how many copied files the unchanged-file check remembers.
    explicit FileBackup(EngineContext& context, int rememberedCopies = RememberedCopies)
        : m_context(context), m_lastCopied(rememberedCopies)
    {
    }

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
    // "Remove" for "Remote" is intended: the log keeps the program's own wording.
    static inline const QString RemoteNotReadyLog =
        QStringLiteral("Error: Remove destination drive is not ready");
    // "unsuccesful" is intended: the log keeps the program's own spelling.
    static inline const QString VersionNotStoredLog =
        QStringLiteral("Success: Copy saved... Error: Previous version store unsuccesful");

    // Which drive each destination was found on; the destination list ties a
    // destination the user adds again to the drive it now lies on.
    DestinationMounts& Mounts() { return m_mounts; }

  private:
    class Run;
    friend class Run;

    EngineContext& m_context;
    // Size and full-precision modification time of each file when it was last
    // copied to each destination folder, so an unchanged file is not copied again.
    // Only files saved lately come back unchanged, so the most recently used
    // entries are enough and the memory stays bounded over a long run.
    QCache<std::pair<QString, QString>, std::pair<qint64, qint64>> m_lastCopied;
    // Destination folders already rid of earlier runs' temporary files.
    static constexpr int RememberedFolders = 4096;
    QSet<QString> m_cleanedFolders;
    DestinationMounts m_mounts;
};
