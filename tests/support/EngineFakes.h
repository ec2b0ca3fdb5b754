#pragma once

// Fakes for the engine's seams, shared by every engine test: drives whose state a
// test sets, the real copier over a file system that fails as a test scripts, a
// clock that never sleeps, a counting event pump and hooks that record what they
// were asked.

#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/EngineContext.h"
#include "engine/EngineHooks.h"
#include "platform/ChangeNotifier.h"
#include "platform/Drives.h"
#include "platform/LinuxFileCopier.h"
#include "platform/Waiter.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"
#include "support/FaultyFiles.h"

#include <QString>

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
    // As inotify: names the signalled handles and calls the handler on Signal.
    bool Tells = false;
    bool Vanished = false;
    std::function<void()> Handler;

    void SetEventHandler(std::function<void()> handler) override { Handler = std::move(handler); }
    std::optional<std::set<int>> SignalledHandles() override
    {
        if (!Tells)
            return std::nullopt;
        std::set<int> signalled;
        for (const auto& [handle, watch] : Watches)
            if (watch.Open && watch.Signalled)
                signalled.insert(handle);
        return signalled;
    }
    bool LookingForVanished() const override { return Vanished; }

    int Open(const QString& folder, bool subtree) override
    {
        if (FailingFolders.count(folder))
            return NotOpened;
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
    WaitResult Wait(int handle, int) override
    {
        auto it = Watches.find(handle);
        if (it == Watches.end() || !it->second.Open)
            return WaitResult::Failed;
        return it->second.Signalled ? WaitResult::Signalled : WaitResult::TimedOut;
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
        if (Tells && Handler)
            Handler();
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
    FaultyFiles Files;
    // Small chunks, so a copy of a few kilobytes already lets the interface run.
    LinuxFileCopier Copier{Files, 1024};
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

    // Copies begun: each makes its temporary file first.
    int CopiesTried() { return Files.Calls[FaultyFiles::Call::Create]; }

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
