#pragma once

#include "core/ProgramState.h"
#include "engine/DestinationMounts.h"
#include "platform/Drives.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// What Savenook holds of one source file in the destinations of its association:
// the current backup and every numbered previous version, in every destination,
// and which destinations cannot be looked into now.
class PreviousVersions
{
  public:
    struct Copy
    {
        QString Destination; // the destination's Path
        QString Path;        // the copy itself, as this machine opens it
        int Version = 0;     // 0: the current backup; k: the version folder k
        qint64 ModifiedMs = 0;
        qint64 Size = 0;
    };
    struct Unreachable
    {
        QString Destination;
        QString Reason;
    };
    struct Listing
    {
        std::vector<Copy> Copies; // newest first
        std::vector<Unreachable> Missing;
    };

    PreviousVersions(const ProgramState& state, const Drives& drives, DestinationMounts& mounts,
                     QString prevSaveName)
        : m_state(state), m_drives(drives), m_mounts(mounts), m_prevSaveName(std::move(prevSaveName))
    {
    }

    Listing List(const clsBackup& backup, const QString& filePath) const;
    // Source paths of files that a destination holds (as current copy or version)
    // but the source folder no longer does; sorted, no repeats.
    QStringList Deleted(const clsBackup& backup) const;
    // Bytes that the version folders of the association take in each destination
    // (none for an unreachable one), in the destination list's order.
    std::vector<std::pair<QString, std::optional<qint64>>> VersionBytes(const clsBackup& backup) const;

    // The folder of a destination that holds filePath's copies, as this machine
    // opens it; none with the reason when the destination cannot be reached.
    std::optional<QString> FolderFor(const clsBackup& backup, const clsDestination& destination,
                                     const QString& filePath, QString* reason = nullptr) const;

  private:
    // The version numbers found as folders named prevSaveName-k in folder.
    std::vector<std::pair<int, QString>> versionFolders(const QString& folder) const;

    const ProgramState& m_state;
    const Drives& m_drives;
    DestinationMounts& m_mounts;
    QString m_prevSaveName;
};
