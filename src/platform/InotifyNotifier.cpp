#include "platform/InotifyNotifier.h"

#include "platform/FileNames.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// What counts as a change: a file created, written, closed after writing,
// renamed into the folder, or given new times or permissions.
constexpr quint32 kSignalMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_ATTRIB;
// Besides the changes: sub-folders moved away and the folder itself vanishing.
// IN_DELETE tells that a file being written is gone, so nobody waits for it.
constexpr quint32 kWatchMask =
    kSignalMask | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr quint32 kGoneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;
constexpr qint64 kLostCheckIntervalMs = 1000;
// A round of polls over many handles reads the kernel queue once, not once per
// handle: a read() per handle made 1000 idle folders cost 1.7 % of a core.
constexpr qint64 kDrainReuseMs = 10;
// Folders opened and watches added at once when a tree is opened or a folder
// appears; the rest waits for ContinueSetup, so a large tree does not hold up the
// caller. A tree of a few hundred folders is still watched whole at once.
constexpr int kFirstSliceWork = 512;
constexpr int kEventSliceWork = 128;
// Modification times are whole seconds here and the file system's clock may trail ours.
constexpr qint64 kWalkStartSlackSecs = 2;
// Beyond this many folders a full look is as cheap as a list, and the list's
// memory stays bounded while nobody re-arms.
constexpr size_t kMaxNotedFolders = 10000;

// The coarse clock is read without a system call; its few milliseconds of
// resolution are plenty for both intervals above.
qint64 CoarseMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

qint64 MonotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QByteArray Join(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool IsFolder(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<dev_t> DeviceOf(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? std::optional(st.st_dev) : std::nullopt;
}

} // namespace

InotifyNotifier::InotifyNotifier(WarningSink warningSink)
    : m_warningSink(std::move(warningSink)), m_lastLostCheckMs(CoarseMs())
{
}

InotifyNotifier::~InotifyNotifier()
{
    // Closing the instance removes every watch at once.
    if (m_fd >= 0)
        ::close(m_fd);
}

QString InotifyNotifier::WatchLimitMessage()
{
    return QStringLiteral(
        "Savenook cannot watch every folder for changes: the system's limit of inotify watches "
        "is reached, so changes in some folders will not be backed up. Raise the limit in "
        "/proc/sys/fs/inotify/max_user_watches (for example: "
        "sudo sysctl fs.inotify.max_user_watches=524288) and restart Savenook.");
}

QString InotifyNotifier::InstanceFailureMessage(int error)
{
    return QStringLiteral("Savenook cannot watch folders for changes: no inotify instance could be created "
                          "(%1), so changed files will not be backed up automatically. If too many programs "
                          "use inotify, raise the limit in /proc/sys/fs/inotify/max_user_instances and "
                          "restart Savenook.")
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

int InotifyNotifier::CreateInstance()
{
    return ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

int InotifyNotifier::AddWatch(int fd, const QByteArray& path, quint32 mask)
{
    return ::inotify_add_watch(fd, path.constData(), mask);
}

void InotifyNotifier::SetWarningSink(WarningSink warningSink)
{
    m_warningSink = std::move(warningSink);
}

QStringList InotifyNotifier::TakeWarnings()
{
    QStringList warnings;
    warnings.swap(m_pendingWarnings);
    return warnings;
}

void InotifyNotifier::Warn(const QString& message, bool& alreadyReported)
{
    if (alreadyReported)
        return;
    alreadyReported = true;
    if (m_warningSink)
        m_warningSink(message);
    else
        m_pendingWarnings.append(message);
}

bool InotifyNotifier::EnsureInstance()
{
    if (m_fd >= 0)
        return true;
    m_fd = CreateInstance();
    if (m_fd < 0) {
        Warn(InstanceFailureMessage(errno), m_reportedInstance);
        return false;
    }
    WatchSocket();
    return true;
}

void InotifyNotifier::SetEventHandler(std::function<void()> handler)
{
    m_eventHandler = std::move(handler);
    WatchSocket();
}

void InotifyNotifier::WatchSocket()
{
    if (m_socket || m_fd < 0 || !m_eventHandler)
        return;
    m_socket = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_socket.get(), &QSocketNotifier::activated, [this] {
        // Level-triggered: quiet until Drain has read the queue.
        m_socket->setEnabled(false);
        m_unread = true;
        if (m_eventHandler)
            m_eventHandler();
    });
}

ChangeNotifier::Writers InotifyNotifier::WritersDone(int handle)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return {};
    Drain();
    const Handle& watched = found->second;
    if (watched.WritersLost)
        return {};
    if (!watched.Writing.empty())
        return {WritersState::Open};
    return {WritersState::Done,
            int(qMin<qint64>(CoarseMs() - watched.LastEventMs, std::numeric_limits<int>::max()))};
}

void InotifyNotifier::TrackWriter(Handle& handle, quint32 mask, const QByteArray& file)
{
    handle.LastEventMs = CoarseMs();
    if (mask & IN_MODIFY)
        handle.Writing.insert(file);
    if (mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE))
        handle.Writing.erase(file);
}

void InotifyNotifier::Signal(int handleId, Handle& handle)
{
    handle.Signalled = true;
    m_signalled.insert(handleId);
}

std::optional<std::set<int>> InotifyNotifier::SignalledHandles()
{
    // Nothing queued since the last read: the socket would have said so.
    if (!m_socket || m_unread)
        Drain();
    CheckLost(false);
    return m_signalled;
}

int InotifyNotifier::Open(const QString& folder, bool subtree)
{
    if (folder.isEmpty() || !EnsureInstance())
        return NotOpened;
    QByteArray path = FileNames::Encode(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);

    const int id = m_nextHandle++;
    Handle& handle = m_handles[id];
    handle.Folder = path;
    handle.Subtree = subtree;
    if (!AddTree(id, handle, path, true) || handle.TopWd < 0) {
        DropAll(id, handle);
        m_handles.erase(id);
        return NotOpened;
    }
    return id;
}

bool InotifyNotifier::Watch(int handleId, Handle& handle, const QByteArray& path, bool isTop)
{
    // The top folder is the one the user named, so a link to it is followed; links
    // to folders below it are not (they may lead anywhere, even back up the tree).
    errno = 0;
    const int wd = AddWatch(m_fd, path, kWatchMask | (isTop ? 0 : IN_DONT_FOLLOW));
    if (wd < 0) {
        const int error = errno;
        if (error == ENOSPC) {
            Warn(WatchLimitMessage(), m_reportedLimit);
            handle.Incomplete = true;
            // Every further folder would fail alike.
            handle.Pending.clear();
            handle.Reading.reset();
        } else if (error != ENOENT && error != ENOTDIR && error != ELOOP) {
            handle.Incomplete = true; // it exists but goes unwatched
        }
        errno = error;
        return false;
    }
    m_watchUsers[wd].insert(handleId);
    if (isTop)
        handle.TopWd = wd;
    const auto [known, added] = handle.Paths.try_emplace(wd, path);
    if (handle.Rebuilding) {
        // Reached twice by the rebuild: a bind mount or a loop.
        if (!handle.Walked.insert(wd).second)
            return false;
        known->second = path; // renamed while events were lost
        return true;
    }
    if (added)
        return true;
    if (known->second == path)
        return false; // walked already, or about to be
    // Reached under a new path before the event of its move was read: it takes the
    // new path, unless that lies inside the old one (a bind mount looping back).
    if (path.startsWith(Join(known->second, QByteArray())))
        return false;
    known->second = path;
    return true;
}

bool InotifyNotifier::AddTree(int handleId, Handle& handle, const QByteArray& path, bool isTop)
{
    const bool walk = Watch(handleId, handle, path, isTop);
    if (isTop && handle.TopWd < 0)
        return false;
    if (walk && handle.Subtree) {
        if (!Walking(handle))
            handle.WalkSinceSecs = ::time(nullptr);
        handle.Pending.push_back(path);
        Walk(handleId, handle, isTop ? kFirstSliceWork : kEventSliceWork, 0);
        handle.SetUpInSlices = handle.SetUpInSlices || Walking(handle);
    } else if (!Walking(handle)) {
        FinishWalk(handleId, handle);
    }
    return true;
}

void InotifyNotifier::Walk(int handleId, Handle& handle, int maxWork, qint64 deadlineNs)
{
    // Our own walk rather than QDirIterator: it needs d_type to skip links without a
    // stat per entry, it stops at the first full watch table, and it can stop inside
    // a folder and go on from there, however many sub-folders that folder holds.
    int work = 0;
    const auto spent = [&] {
        ++work;
        return work >= maxWork || (deadlineNs > 0 && work % 32 == 0 && MonotonicNs() >= deadlineNs);
    };
    bool stop = false;
    while (!stop && (handle.Reading || !handle.Pending.empty())) {
        if (!handle.Reading) {
            handle.ReadingPath = std::move(handle.Pending.back());
            handle.Pending.pop_back();
            handle.Reading.reset(::opendir(handle.ReadingPath.constData()));
            stop = spent();
            continue;
        }
        const dirent* entry = ::readdir(handle.Reading.get());
        if (!entry) {
            handle.Reading.reset();
            continue;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        const QByteArray child = Join(handle.ReadingPath, name);
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            isFolder = ::lstat(child.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isFolder) {
            if (handle.SetUpInSlices && (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN)) {
                // Its watch is in place by now: what changed since, we hear of.
                struct stat st;
                if (::fstatat(::dirfd(handle.Reading.get()), name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(st.st_mode) && st.st_mtim.tv_sec >= handle.WalkSinceSecs - kWalkStartSlackSecs)
                    Note(handle, handle.ReadingPath, false);
                stop = spent();
            }
            continue;
        }
        if (Watch(handleId, handle, child, false))
            handle.Pending.push_back(child);
        stop = spent(); // a full table has ended the walk already
    }
    if (!Walking(handle))
        FinishWalk(handleId, handle);
}

void InotifyNotifier::FinishWalk(int handleId, Handle& handle)
{
    if (handle.Rebuilding) {
        // Folders the rebuild did not reach left the tree while events were lost.
        std::vector<int> gone;
        for (const auto& [wd, folder] : handle.Paths)
            if (!handle.Walked.count(wd))
                gone.push_back(wd);
        for (int wd : gone)
            DropWatch(handleId, handle, wd, false);
        handle.Rebuilding = false;
        handle.Walked.clear();
    }
    if (handle.SetUpInSlices) {
        handle.SetUpInSlices = false;
        if (handle.Signalled || handle.Unknown || !handle.Changed.empty() || !handle.Created.empty()) {
            Signal(handleId, handle);
            handle.WalkEndUnserved = true;
        }
    }
}

bool InotifyNotifier::ContinueSetup(int budgetMs)
{
    if (m_inSetup)
        return true;
    m_inSetup = true;
    const qint64 deadline = MonotonicNs() + qint64(qMax(1, budgetMs)) * 1000000;
    bool left = false;
    for (auto& [id, handle] : m_handles) {
        if (!Walking(handle))
            continue;
        if (MonotonicNs() < deadline)
            Walk(id, handle, std::numeric_limits<int>::max(), deadline);
        left = left || Walking(handle);
    }
    m_inSetup = false;
    return left;
}

bool InotifyNotifier::WatchesInPlace(int handle) const
{
    auto found = m_handles.find(handle);
    return found != m_handles.end() && !Walking(found->second) && !found->second.WalkEndUnserved;
}

FolderChanges InotifyNotifier::ChangesSinceRearm(int handle) const
{
    FolderChanges changes;
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return changes;
    const Handle& watched = found->second;
    // While watches are added the folders reached late are looked at as they are
    // reached; only a rebuild after lost events cannot vouch for the tree.
    changes.Known = watched.Subtree && !watched.Unknown && !watched.Incomplete && !watched.Lost &&
                    !(watched.Rebuilding && Walking(watched));
    if (!changes.Known)
        return changes;
    for (const QByteArray& folder : watched.Changed)
        changes.Changed.insert(FileNames::Decode(folder));
    for (const QByteArray& folder : watched.Created)
        changes.Created.insert(FileNames::Decode(folder));
    return changes;
}

void InotifyNotifier::Note(Handle& handle, const QByteArray& folder, bool created)
{
    if (handle.Unknown || !handle.Subtree)
        return;
    if (handle.Changed.size() + handle.Created.size() >= kMaxNotedFolders) {
        handle.Unknown = true;
        handle.Changed.clear();
        handle.Created.clear();
        return;
    }
    (created ? handle.Created : handle.Changed).insert(folder);
}

void InotifyNotifier::DropWatch(int handleId, Handle& handle, int wd, bool kernelRemoved)
{
    handle.Paths.erase(wd);
    if (handle.TopWd == wd)
        handle.TopWd = -1;
    auto users = m_watchUsers.find(wd);
    if (users == m_watchUsers.end())
        return;
    users->second.erase(handleId);
    if (users->second.empty()) {
        m_watchUsers.erase(users);
        if (!kernelRemoved && m_fd >= 0)
            ::inotify_rm_watch(m_fd, wd);
    }
}

void InotifyNotifier::DropBelow(int handleId, Handle& handle, const QByteArray& path)
{
    const QByteArray prefix = Join(path, QByteArray());
    std::vector<int> gone;
    for (const auto& [wd, folder] : handle.Paths)
        if (wd != handle.TopWd && (folder == path || folder.startsWith(prefix)))
            gone.push_back(wd);
    for (int wd : gone)
        DropWatch(handleId, handle, wd, false);
}

void InotifyNotifier::DropAll(int handleId, Handle& handle)
{
    while (!handle.Paths.empty())
        DropWatch(handleId, handle, handle.Paths.begin()->first, false);
    handle.TopWd = -1;
    handle.Pending.clear();
    handle.Reading.reset();
    handle.Walked.clear();
    handle.Rebuilding = false;
    handle.SetUpInSlices = false;
    handle.WalkEndUnserved = false;
}

void InotifyNotifier::Close(int handle)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return;
    DropAll(handle, found->second);
    m_handles.erase(found);
    m_signalled.erase(handle);
}

bool InotifyNotifier::Rearm(int handle)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return false;
    // Only what has been read is forgotten: events still queued in the kernel are
    // read by the next Wait and signal again.
    Handle& watched = found->second;
    watched.Signalled = false;
    m_signalled.erase(handle);
    watched.Unknown = false;
    watched.WalkEndUnserved = false;
    watched.Changed.clear();
    watched.Created.clear();
    watched.WritersLost = false;
    return true;
}

void InotifyNotifier::Drain()
{
    if (m_fd < 0)
        return;
    ++m_drainRound;
    m_lastDrainMs = CoarseMs();
    alignas(inotify_event) char buffer[64 * 1024];
    bool overflow = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                continue;
            break; // EAGAIN: the queue is empty
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const QByteArray name(event->name, int(event->len ? ::strnlen(event->name, event->len) : 0));
            if (event->mask & IN_Q_OVERFLOW)
                overflow = true;
            else
                HandleEvent(event->wd, event->mask, name);
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    m_unread = false;
    if (m_socket)
        m_socket->setEnabled(true);
    if (overflow) {
        // Events were dropped: any folder may have changed, sub-folders created
        // meanwhile lack their watch, and a top folder may have vanished or been
        // replaced without our hearing of it.
        for (auto& [id, handle] : m_handles) {
            Signal(id, handle);
            handle.Unknown = true;
            handle.Changed.clear();
            handle.Created.clear();
            handle.Writing.clear();
            handle.WritersLost = true;
            if (handle.Lost)
                continue;
            handle.Rebuilding = true;
            handle.Walked.clear();
            handle.Incomplete = false;
            if (!AddTree(id, handle, handle.Folder, true) || handle.TopWd < 0) {
                DropAll(id, handle);
                handle.Lost = true;
                m_anyLost = true;
            }
        }
        CheckLost(true);
    }
}

void InotifyNotifier::HandleEvent(int wd, quint32 mask, const QByteArray& name)
{
    auto found = m_watchUsers.find(wd);
    if (found == m_watchUsers.end())
        return; // a watch already dropped; its last events may still arrive
    const std::set<int> users = found->second;
    for (int id : users) {
        auto entry = m_handles.find(id);
        if (entry == m_handles.end())
            continue;
        Handle& handle = entry->second;
        auto path = handle.Paths.find(wd);
        if (path == handle.Paths.end())
            continue;
        const QByteArray folder = path->second;
        if (!(mask & IN_ISDIR) && !name.isEmpty())
            TrackWriter(handle, mask, Join(folder, name));

        if (mask & kSignalMask) {
            Signal(id, handle);
            const bool newFolder = (mask & IN_ISDIR) && (mask & (IN_CREATE | IN_MOVED_TO)) && !name.isEmpty();
            Note(handle, newFolder ? Join(folder, name) : folder, newFolder);
        }

        if (wd == handle.TopWd && (mask & kGoneMask)) {
            // Deleted, moved away or unmounted: forget the tree and look for the
            // folder again later.
            if (mask & IN_UNMOUNT)
                handle.Underneath = DeviceOf(handle.Folder);
            if (mask & IN_IGNORED)
                DropWatch(id, handle, wd, true);
            DropAll(id, handle);
            handle.Lost = true;
            m_anyLost = true;
            continue;
        }
        if (mask & IN_IGNORED) {
            DropWatch(id, handle, wd, true);
            continue;
        }
        if (handle.Subtree && (mask & IN_ISDIR) && !name.isEmpty()) {
            const QByteArray child = Join(folder, name);
            if (mask & IN_MOVED_FROM)
                DropBelow(id, handle, child);
            else if (mask & (IN_CREATE | IN_MOVED_TO))
                AddTree(id, handle, child, false);
        }
    }
}

void InotifyNotifier::CheckLost(bool force)
{
    const qint64 now = CoarseMs();
    if (!m_anyLost || (!force && now - m_lastLostCheckMs < kLostCheckIntervalMs))
        return;
    m_lastLostCheckMs = now;
    m_anyLost = false;
    for (auto& [id, handle] : m_handles) {
        if (!handle.Lost)
            continue;
        if (!IsFolder(handle.Folder) || (handle.Underneath && DeviceOf(handle.Folder) == handle.Underneath)) {
            m_anyLost = true;
            continue;
        }
        handle.Underneath.reset();
        handle.Incomplete = false;
        if (AddTree(id, handle, handle.Folder, true) && handle.TopWd >= 0) {
            handle.Lost = false;
            // Whatever it holds now is new to us, and may have been written up to a
            // look ago: the reference time must not move past it before it is served.
            Signal(id, handle);
            handle.Unknown = true;
            handle.WalkEndUnserved = true;
        } else {
            m_anyLost = true;
        }
    }
}

ChangeNotifier::WaitResult InotifyNotifier::Wait(int handle, int milliseconds)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return WaitResult::Failed;
    Handle& watched = found->second;
    if (watched.Signalled)
        return WaitResult::Signalled;
    // The queue read for the round serves every handle polled once in it; polling
    // the same handle again, or after a pause, reads the queue afresh.
    if (m_unread || watched.PolledInRound == m_drainRound || CoarseMs() - m_lastDrainMs >= kDrainReuseMs) {
        Drain();
        CheckLost(false);
    }
    watched.PolledInRound = m_drainRound;
    // Draining drops watches, never handles, so the reference stays valid.
    if (watched.Signalled)
        return WaitResult::Signalled;
    if (milliseconds == 0)
        return WaitResult::TimedOut;

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int slice = int(kLostCheckIntervalMs);
        if (milliseconds > 0) {
            const qint64 left = milliseconds - clock.elapsed();
            if (left <= 0)
                return WaitResult::TimedOut;
            slice = int(qMin<qint64>(left, slice));
        }
        pollfd request{m_fd, POLLIN, 0};
        if (::poll(&request, 1, slice) < 0 && errno != EINTR)
            return WaitResult::Failed;
        Drain();
        CheckLost(false);
        watched.PolledInRound = m_drainRound;
        if (watched.Signalled)
            return WaitResult::Signalled;
    }
}
