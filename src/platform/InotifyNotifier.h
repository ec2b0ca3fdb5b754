#pragma once

#include "platform/ChangeNotifier.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sys/types.h>
#include <vector>

// Folder change notifications over inotify.
//
// One inotify instance serves every handle: the per-user limit is 128 instances,
// while watches are counted in the hundred thousands. A handle stands for one top
// folder and, with subtree, a watch on every sub-folder below it (symbolic links
// are not followed). The kernel gives two watches on the same folder the same
// watch descriptor, so each descriptor remembers which handles use it and is
// removed only when the last of them closes.
//
// A handle is signalled once its events have been read from the kernel; Rearm
// forgets only what has been read, so a change still queued signals again. Until
// then the handle also keeps which folders changed and which were created or
// moved in; it cannot vouch for them after lost events, while watches are being
// added, or while some folder of the tree has none.
//
// A tree's watches are added in slices (ContinueSetup) once the first slice, in
// Open or when a folder appears, is spent. A folder reached by a later slice may
// have changed before its watch was in place: its files are looked at once, and
// it counts as changed when one of them was modified since the walk began.
//
// Polling every handle in turn (Wait with 0 ms) reads the kernel's queue once
// for the round: the queue is read again when a handle is polled a second time
// or when the last read is more than 10 ms old. A
// queue overflow signals every handle. A top folder that vanishes is looked for
// again (at most once a second, during Wait) and watched, and signalled, when it
// is back.
//
// Problems that the user should fix (no inotify instance, the watch limit
// reached) are reported once each, through the warning sink when one is set,
// otherwise kept for TakeWarnings.
class InotifyNotifier : public ChangeNotifier
{
  public:
    using WarningSink = std::function<void(const QString&)>;

    explicit InotifyNotifier(WarningSink warningSink = {});
    ~InotifyNotifier() override;
    InotifyNotifier(const InotifyNotifier&) = delete;
    InotifyNotifier& operator=(const InotifyNotifier&) = delete;

    int Open(const QString& folder, bool subtree) override;
    WaitResult Wait(int handle, int milliseconds) override;
    bool Rearm(int handle) override;
    void Close(int handle) override;
    FolderChanges ChangesSinceRearm(int handle) const override;
    bool WatchesInPlace(int handle) const override;
    bool ContinueSetup(int budgetMs) override;
    Writers WritersDone(int handle) override;
    std::optional<std::set<int>> SignalledHandles() override;
    void SetEventHandler(std::function<void()> handler) override;
    bool LookingForVanished() const override { return m_anyLost; }

    void SetWarningSink(WarningSink warningSink);
    // Warnings raised while no sink was set; each is handed out once.
    QStringList TakeWarnings();

    // Watch descriptors held, over all handles (shared ones count once).
    int WatchCount() const { return int(m_watchUsers.size()); }

    static QString WatchLimitMessage();
    static QString InstanceFailureMessage(int error);

  protected:
    // Seams over the two calls that can hit a system limit; they return what the
    // system calls return and leave errno set on failure.
    virtual int CreateInstance();
    virtual int AddWatch(int fd, const QByteArray& path, quint32 mask);

  private:
    struct Handle
    {
        QByteArray Folder;
        bool Subtree = false;
        bool Signalled = false;
        bool Lost = false; // the top folder vanished; looked for again during Wait
        // Its drive was unmounted: the device of the folder left behind, which is
        // another drive's and not watched until something is mounted there again.
        std::optional<dev_t> Underneath;
        // Changed and Created say nothing until the next re-arm: a new watch, lost
        // events, or too many folders to keep.
        bool Unknown = true;
        bool Incomplete = false;    // some folder of the tree could not be watched
        bool Rebuilding = false;    // walking the whole tree again after lost events
        bool SetUpInSlices = false; // the walk outlived its first slice
        // Signalled by the end of such a walk, or by the folder found again after it
        // vanished: the reference time must wait for this signal to be served.
        bool WalkEndUnserved = false;
        qint64 WalkSinceSecs = 0; // wall-clock start of the walk under way
        quint64 PolledInRound = 0;
        int TopWd = -1;
        std::map<int, QByteArray> Paths; // watch descriptor -> folder it stands for here
        std::vector<QByteArray> Pending; // folders whose sub-folders still need watches
        std::unique_ptr<DIR, int (*)(DIR*)> Reading{nullptr, ::closedir}; // the folder being walked
        QByteArray ReadingPath;
        std::set<int> Walked;         // during a rebuild: folders reached again so far
        std::set<QByteArray> Changed; // since the last re-arm
        std::set<QByteArray> Created;
        // Files modified and not yet closed or renamed into place. Kept across
        // re-arms: a writer outlives the signal its first write gave.
        std::set<QByteArray> Writing;
        bool WritersLost = false; // events were lost since the last re-arm
        qint64 LastEventMs = 0;
    };

    bool EnsureInstance();
    bool Watch(int handleId, Handle& handle, const QByteArray& path, bool isTop);
    bool AddTree(int handleId, Handle& handle, const QByteArray& path, bool isTop);
    static bool Walking(const Handle& handle) { return handle.Reading || !handle.Pending.empty(); }
    void Walk(int handleId, Handle& handle, int maxWork, qint64 deadlineNs);
    void FinishWalk(int handleId, Handle& handle);
    void Note(Handle& handle, const QByteArray& folder, bool created);
    void DropWatch(int handleId, Handle& handle, int wd, bool kernelRemoved);
    void DropBelow(int handleId, Handle& handle, const QByteArray& path);
    void DropAll(int handleId, Handle& handle);
    void Drain();
    void HandleEvent(int wd, quint32 mask, const QByteArray& name);
    void CheckLost(bool force);
    void Warn(const QString& message, bool& alreadyReported);
    void TrackWriter(Handle& handle, quint32 mask, const QByteArray& file);
    void WatchSocket();
    void Signal(int handleId, Handle& handle);

    int m_fd = -1;
    int m_nextHandle = 1;
    std::map<int, Handle> m_handles;
    std::map<int, std::set<int>> m_watchUsers; // watch descriptor -> handles that use it
    WarningSink m_warningSink;
    QStringList m_pendingWarnings;
    bool m_reportedLimit = false;
    bool m_reportedInstance = false;
    qint64 m_lastLostCheckMs = 0;
    qint64 m_lastDrainMs = 0;
    quint64 m_drainRound = 1;
    bool m_inSetup = false;
    std::function<void()> m_eventHandler;
    std::unique_ptr<QSocketNotifier> m_socket;
    std::set<int> m_signalled;
    bool m_anyLost = false;
    bool m_unread = false; // the socket saw events that no Drain has read yet
};
