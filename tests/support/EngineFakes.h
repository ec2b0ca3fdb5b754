#pragma once

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

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

// Mounts as a test declares them; "/" from the start, so any real temporary folder lies on a drive.
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
        m_drives[mountPoint] = Drive{MountEntry{mountPoint, "/", fsType, source}, true, label, {}};
    }
    void Unmount(const QString& mountPoint) { m_drives.erase(mountPoint); }
    void SetReady(const QString& mountPoint, bool ready) { m_drives.at(mountPoint).Ready = ready; }
    void SetId(const QString& mountPoint, const QString& id) { m_drives.at(mountPoint).Id = id; }

    // A "//server/share/..." path matches the mount of that Source, else, as in the real table, of
    // the path with its leading "//" folded into "/".
    std::optional<MountEntry> MountOf(const QString& path) const override
    {
        if (path.startsWith(QStringLiteral("//"))) {
            if (auto share = longest(path, true))
                return share;
            return longest(path.mid(1), false);
        }
        return longest(path, false);
    }
    bool IsReady(const QString& mountPoint) const override { return drive(mountPoint).Ready; }
    QString Label(const QString& mountPoint) const override { return drive(mountPoint).Label; }
    QString FileSystemId(const QString& mountPoint) const override { return drive(mountPoint).Id; }

  private:
    Drive drive(const QString& mountPoint) const
    {
        const auto it = m_drives.find(mountPoint);
        return it == m_drives.end() ? Drive{{}, false, {}, {}} : it->second;
    }
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
        return best ? std::optional(best->Entry) : std::nullopt;
    }
    static bool within(const QString& path, const QString& folder)
    {
        return folder == "/" ? path.startsWith('/') : path == folder || path.startsWith(folder + '/');
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

// Counts the times the engine let the interface run; OnPump plays the user then.
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

// Signal(folder) signals every open handle watching that folder (or, with subtree, one above).
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
        const Watch* watch = open(handle);
        return !watch ? WaitResult::Failed : watch->Signalled ? WaitResult::Signalled : WaitResult::TimedOut;
    }
    bool Rearm(int handle) override
    {
        Watch* watch = open(handle);
        if (watch)
            watch->Signalled = false;
        return watch;
    }
    void Close(int handle) override
    {
        if (Watch* watch = open(handle))
            watch->Open = false;
    }

    void Signal(const QString& folder)
    {
        for (auto& [handle, watch] : Watches)
            if (watch.Open &&
                (watch.Folder == folder || (watch.Subtree && folder.startsWith(watch.Folder + '/'))))
                watch.Signalled = true;
        if (Tells && Handler)
            Handler();
    }
    int OpenCount() const
    {
        return int(
            std::count_if(Watches.begin(), Watches.end(), [](const auto& w) { return w.second.Open; }));
    }

  private:
    Watch* open(int handle)
    {
        const auto it = Watches.find(handle);
        return it == Watches.end() || !it->second.Open ? nullptr : &it->second;
    }
};

// One whole engine world of fakes with default options; Context is what the engine classes take.
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

    std::vector<QString> LogMessages() const { return messages(Recent); }
    std::vector<QString> PopupMessages() const { return messages(Notifiers); }
    template <class List> static std::vector<QString> messages(const List& list)
    {
        std::vector<QString> messages;
        for (const auto& entry : list)
            messages.push_back(entry.Message);
        return messages;
    }
};
