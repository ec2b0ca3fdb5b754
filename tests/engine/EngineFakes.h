#pragma once

// Fakes for the engine's seams, shared by every engine test: drives whose state a
// test sets, a copier that really copies but can be told to fail, a clock that
// never sleeps, a counting event pump and hooks that record what they were asked.

#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/EngineContext.h"
#include "engine/EngineHooks.h"
#include "platform/ChangeNotifier.h"
#include "platform/Drives.h"
#include "platform/FileCopier.h"
#include "platform/LinuxFileSystem.h"
#include "platform/Waiter.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

// Mounts as a test declares them. "/" is mounted (ext4, ready, no label) from the
// start, so any real temporary folder lies on a drive.
class FakeDrives : public Drives
{
  public:
    struct Drive
    {
        MountEntry Entry;
        bool Ready = true;
        QString Label;
        QString Id;
    };

    FakeDrives() { AddMount(QStringLiteral("/")); }

    void AddMount(const QString& mountPoint, const QString& fsType = QStringLiteral("ext4"),
                  const QString& label = {}, const QString& source = {})
    {
        m_drives[mountPoint] =
            Drive{MountEntry{mountPoint, QStringLiteral("/"), fsType, source}, true, label, QString()};
    }
    void Unmount(const QString& mountPoint) { m_drives.erase(mountPoint); }
    void SetReady(const QString& mountPoint, bool ready) { m_drives.at(mountPoint).Ready = ready; }
    void SetId(const QString& mountPoint, const QString& id) { m_drives.at(mountPoint).Id = id; }

    // Longest whole-component prefix; a "//server/share/..." path matches the
    // mount whose Source is that share, else, as in the real mount table, the
    // mount of the path with its leading "//" folded into "/".
    std::optional<MountEntry> MountOf(const QString& path) const override
    {
        if (path.startsWith(QStringLiteral("//"))) {
            if (auto share = longest(path, true))
                return share;
            return longest(path.mid(1), false);
        }
        return longest(path, false);
    }
    bool IsReady(const QString& mountPoint) const override
    {
        auto it = m_drives.find(mountPoint);
        return it != m_drives.end() && it->second.Ready;
    }
    QString Label(const QString& mountPoint) const override
    {
        auto it = m_drives.find(mountPoint);
        return it == m_drives.end() ? QString() : it->second.Label;
    }

    QString FileSystemId(const QString& mountPoint) const override
    {
        auto it = m_drives.find(mountPoint);
        return it == m_drives.end() ? QString() : it->second.Id;
    }

  private:
    std::optional<MountEntry> longest(const QString& path, bool bySource) const
    {
        const Drive* best = nullptr;
        qsizetype bestLength = -1;
        for (const auto& [point, drive] : m_drives) {
            const QString& prefix = bySource ? drive.Entry.Source : point;
            if (prefix.isEmpty() || !within(path, prefix) || prefix.size() <= bestLength)
                continue;
            best = &drive;
            bestLength = prefix.size();
        }
        if (!best)
            return std::nullopt;
        return best->Entry;
    }
    static bool within(const QString& path, const QString& folder)
    {
        if (folder == QStringLiteral("/"))
            return path.startsWith(QLatin1Char('/'));
        return path == folder || path.startsWith(folder + QLatin1Char('/'));
    }

    std::map<QString, Drive> m_drives;
};

// Copies for real (a staged file beside the target, renamed over it on Commit;
// the source's modification time and permissions are kept), like the product's
// copier. A test queues failures, or decides per call with Decide; a queued
// failure copies nothing. An existing target without the owner's write permission
// gives AccessDenied even as root, as the product's copier does.
class FakeCopier : public FileCopier
{
  public:
    std::deque<FileError> Failures;
    std::function<FileError(const QString& source, const QString& target)> Decide;
    int Calls = 0;
    qint64 ChunkSize = 1 << 20;

    static FileResult of(FileError error)
    {
        FileResult result;
        result.Error = error;
        return result;
    }

    FileResult Stage(const QString& source, const QString& target, const std::function<bool()>& keepGoing,
                    QString& staged) override
    {
        ++Calls;
        if (Decide) {
            const FileError decided = Decide(source, target);
            if (decided != FileError::None)
                return of(decided);
        }
        if (!Failures.empty()) {
            const FileError failure = Failures.front();
            Failures.pop_front();
            if (failure != FileError::None)
                return of(failure);
        }
        const QFileInfo existing(target);
        if (existing.exists() && !(existing.permissions() & QFileDevice::WriteOwner))
            return of(FileError::AccessDenied);
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly))
            return of(in.exists() ? FileError::AccessDenied : FileError::Other);
        const QString temporary = target + QStringLiteral(".savenook-part");
        QFile out(temporary);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return of(FileError::AccessDenied);
        bool first = true;
        while (!in.atEnd()) {
            if (!first && keepGoing && !keepGoing()) {
                out.remove();
                return of(FileError::Abandoned);
            }
            first = false;
            const QByteArray chunk = in.read(ChunkSize);
            if (out.write(chunk) != chunk.size()) {
                out.remove();
                return of(FileError::DiskFull);
            }
        }
        out.close();
        std::error_code ec;
        const auto time = std::filesystem::last_write_time(source.toStdString(), ec);
        if (!ec)
            std::filesystem::last_write_time(temporary.toStdString(), time, ec);
        QFile::setPermissions(temporary, in.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                              QFileDevice::ExeUser));
        staged = temporary;
        return of(FileError::None);
    }
    FileResult Commit(const QString& staged, const QString& target, const std::function<bool()>&) override
    {
        std::error_code ec;
        std::filesystem::rename(staged.toStdString(), target.toStdString(), ec);
        return of(ec ? FileError::Other : FileError::None);
    }
    void Discard(const QString& staged) override { QFile::remove(staged); }
    FileSystem& Files() override { return m_files; }

  private:
    LinuxFileSystem m_files;
};

// A clock that never sleeps: Sleep moves virtual time on.
class FakeWaiter : public Waiter
{
  public:
    qint64 Now = 0;
    int Sleeps = 0;
    std::function<void(qint64 now)> OnSleep;

    void Sleep(int milliseconds) override
    {
        Now += milliseconds;
        ++Sleeps;
        if (OnSleep)
            OnSleep(Now);
    }
    qint64 ElapsedMs() const override { return Now; }
};

// Counts the times the engine let the interface run; OnPump plays the user
// (removing an association, pausing) at that moment.
class CountingPump : public EventPump
{
  public:
    int Calls = 0;
    std::function<void()> OnPump;

    void ProcessPendingMessages() override
    {
        ++Calls;
        if (OnPump)
            OnPump();
    }
};

class RecordingHooks : public EngineHooks
{
  public:
    std::vector<TrayAnimation> Animations;
    int ShowNotificationsCalls = 0;
    int ScanningPopups = 0;

    void StartTrayAnimation(TrayAnimation animation) override { Animations.push_back(animation); }
    void ShowNotifications() override { ++ShowNotificationsCalls; }
    void ShowScanningPopup() override { ++ScanningPopups; }
};

// Change notifications a test signals by hand: Signal(folder) signals every open
// handle watching that folder (or, with subtree, a folder above it).
class FakeChangeNotifier : public ChangeNotifier
{
  public:
    struct Watch
    {
        QString Folder;
        bool Subtree = false;
        bool Signalled = false;
        bool Open = true;
    };

    std::map<int, Watch> Watches;
    std::set<QString> FailingFolders; // Open fails for these
    int NextHandle = 1;
    bool OpenInSlices = false; // handles opened now wait for one ContinueSetup each
    std::set<int> SettingUp;

    int Open(const QString& folder, bool subtree) override
    {
        if (FailingFolders.count(folder))
            return Failed;
        const int handle = NextHandle++;
        Watches[handle] = Watch{folder, subtree, false, true};
        if (OpenInSlices)
            SettingUp.insert(handle);
        return handle;
    }
    bool WatchesInPlace(int handle) const override { return !SettingUp.count(handle); }
    bool ContinueSetup(int) override
    {
        if (!SettingUp.empty())
            SettingUp.erase(SettingUp.begin());
        return !SettingUp.empty();
    }
    int Wait(int handle, int) override
    {
        auto it = Watches.find(handle);
        if (it == Watches.end() || !it->second.Open)
            return Failed;
        return it->second.Signalled ? Signalled : TimedOut;
    }
    bool Rearm(int handle) override
    {
        auto it = Watches.find(handle);
        if (it == Watches.end() || !it->second.Open)
            return false;
        it->second.Signalled = false;
        return true;
    }
    void Close(int handle) override
    {
        auto it = Watches.find(handle);
        if (it != Watches.end())
            it->second.Open = false;
    }

    void Signal(const QString& folder)
    {
        for (auto& [handle, watch] : Watches) {
            if (!watch.Open)
                continue;
            if (watch.Folder == folder ||
                (watch.Subtree && folder.startsWith(watch.Folder + QLatin1Char('/'))))
                watch.Signalled = true;
        }
    }
    int OpenCount() const
    {
        int n = 0;
        for (const auto& [handle, watch] : Watches)
            n += watch.Open ? 1 : 0;
        return n;
    }
};

// One whole engine world of fakes with default options; Context is what the
// engine classes take.
struct EngineRig
{
    ProgramState State;
    Options Opts;
    colRecent Recent{State};
    colNotifiers Notifiers{State};
    FakeDrives DriveInfo;
    FakeCopier Copier;
    FakeChangeNotifier Notifier;
    FakeWaiter Wait;
    CountingPump Pump;
    RecordingHooks Hooks;
    EngineContext Context{State, Opts, Recent, Notifiers, DriveInfo, Copier, Notifier, Wait, Pump, Hooks};

    // Adds an association with its destinations; notifications on, versions off.
    clsBackup& AddAssociation(const QString& sourcePath, bool folder, bool recursive,
                              const std::vector<QString>& destinationPaths = {})
    {
        clsBackup backup;
        backup.SourcePath = sourcePath;
        backup.Folder = folder;
        backup.Recursive = recursive;
        backup.Enabled = true;
        backup.NotifyOnError = true;
        backup.NotifyOnSuccess = true;
        backup.Volume = QString(2, QChar(0)); // accept a drive without a label
        backup.DateLastActivity = QStringLiteral("Never");
        backup.DateLastModified = QStringLiteral("Never");
        clsBackup* added = State.Backups.Add(backup, sourcePath);
        for (const QString& path : destinationPaths)
            State.Destinations.Add(path, sourcePath, QString());
        return *added;
    }

    std::vector<QString> LogMessages() const
    {
        std::vector<QString> messages;
        for (const clsRecent& r : Recent)
            messages.push_back(r.Message);
        return messages;
    }
    std::vector<QString> PopupMessages() const
    {
        std::vector<QString> messages;
        for (const clsNotifier& n : Notifiers)
            messages.push_back(n.Message);
        return messages;
    }
};
