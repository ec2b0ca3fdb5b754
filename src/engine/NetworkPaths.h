#pragma once

#include "platform/Drives.h"
#include "platform/SambaShares.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

// Turns paths into their network form ("//computer/share/rest") so the adding
// commands can tell a remote source from a local one, and reads the volume name
// of a path's drive by the rule of the dialogs. Keeps no state of its own.
class NetworkPaths
{
  public:
    // The message the adding commands show when they refuse a source.
    static inline const QString RemoteSourceMessage =
        QStringLiteral("Savenook is unable to automatically back up files on remote machines.");
    // The messages of the dialogs and adding commands for GetPathVolume's failures.
    static inline const QString DriveGoneMessage = QStringLiteral("Drive no longer exists!");
    static inline const QString DriveNotReadyMessage = QStringLiteral("Drive not ready!");

    using ShareList = std::function<std::vector<SambaShare>()>;

    // shares is asked on every look-up, so shares made while the program runs count.
    NetworkPaths(const Drives& drives, ShareList shares, QString computerName);
    // This computer's Samba shares, read from their usual places.
    static ShareList SharesOf(SambaShares reader);

    // A path on a network mount becomes the mount's network form plus the rest
    // of the path; a path in one of this computer's shares becomes
    // "//ComputerName/share/rest"; any other path comes back unchanged.
    QString GetUNCName(const QString& path) const;

    static bool IsNetworkPath(const QString& path);
    // The text between the leading "//" and the next "/"; empty for other paths.
    static QString GetComputerFromPath(const QString& path);

    // True when a source whose network form is uncName lies on another
    // computer. Host names ignore case.
    static bool IsRemoteSource(const QString& uncName, const QString& computerName);
    // The adding commands' rule on a chosen path: true means refuse it with
    // RemoteSourceMessage.
    bool RefusesSource(const QString& path) const;

    // The outcome of reading the volume name of a path's drive. Only a ready
    // drive has a label, so a failure cannot be read as an empty label.
    class PathVolume
    {
      public:
        enum class Outcome { NoDrive, NotReady, Ready };
        static PathVolume NoDrive() { return PathVolume(Outcome::NoDrive, QString()); }
        static PathVolume NotReady() { return PathVolume(Outcome::NotReady, QString()); }
        static PathVolume Ready(QString label) { return PathVolume(Outcome::Ready, std::move(label)); }

        Outcome State() const { return m_outcome; }
        bool IsReady() const { return m_outcome == Outcome::Ready; }
        // The volume name of a ready drive (empty when it has none); none otherwise.
        std::optional<QString> Label() const
        {
            return IsReady() ? std::optional<QString>(m_label) : std::nullopt;
        }
        // DriveGoneMessage or DriveNotReadyMessage for a failure; empty when ready.
        QString FailureMessage() const;

      private:
        PathVolume(Outcome outcome, QString label) : m_outcome(outcome), m_label(std::move(label)) {}
        Outcome m_outcome;
        QString m_label;
    };

    // The drive of the absolute form of path (for a "//" path, the network
    // mount that holds it); none when there is none or the table cannot be read.
    PathVolume GetPathVolume(const QString& path) const;

  private:
    std::optional<QString> ShareForm(const QString& cleanPath) const;

    const Drives& m_drives;
    ShareList m_shares;
    QString m_computerName;
};
