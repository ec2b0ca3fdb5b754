#include "platform/InotifyNotifier.h"

#include "platform/FileNames.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
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
constexpr quint32 kWatchMask =
    kSignalMask | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr quint32 kGoneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED;
constexpr qint64 kLostCheckIntervalMs = 1000;
// A round of polls over many handles reads the kernel queue once, not once per
// handle: a read() per handle made 1000 idle folders cost 1.7 % of a core.
constexpr qint64 kDrainReuseMs = 10;

// The coarse clock is read without a system call; its few milliseconds of
// resolution are plenty for both intervals above.
qint64 CoarseMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
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
    return true;
}

int InotifyNotifier::Open(const QString& folder, bool subtree)
{
    if (folder.isEmpty() || !EnsureInstance())
        return Failed;
    QByteArray path = FileNames::Encode(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);

    const int id = m_nextHandle++;
    Handle& handle = m_handles[id];
    handle.Folder = path;
    handle.Subtree = subtree;
    if (!AddTree(id, handle, path, true)) {
        DropAll(id, handle);
        m_handles.erase(id);
        return Failed;
    }
    return id;
}

int InotifyNotifier::AddOne(int handleId, Handle& handle, const QByteArray& path, bool isTop)
{
    // The top folder is the one the user named, so a link to it is followed; links
    // to folders below it are not (they may lead anywhere, even back up the tree).
    const int wd = AddWatch(m_fd, path, kWatchMask | (isTop ? 0 : IN_DONT_FOLLOW));
    if (wd < 0) {
        if (errno == ENOSPC)
            Warn(WatchLimitMessage(), m_reportedLimit);
        return -1;
    }
    m_watchUsers[wd].insert(handleId);
    handle.Paths[wd] = path;
    if (isTop)
        handle.TopWd = wd;
    return wd;
}

bool InotifyNotifier::AddTree(int handleId, Handle& handle, const QByteArray& path, bool isTop)
{
    const int first = AddOne(handleId, handle, path, isTop);
    if (first < 0)
        return !isTop;
    if (!handle.Subtree)
        return true;

    // Our own walk rather than QDirIterator: it needs d_type to skip links without a
    // stat per entry, and it stops at the first full watch table.
    std::set<int> visited{first};
    std::vector<QByteArray> pending{path};
    while (!pending.empty()) {
        const QByteArray folder = std::move(pending.back());
        pending.pop_back();
        DIR* dir = ::opendir(folder.constData());
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
                continue;
            const QByteArray child = Join(folder, name);
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st;
                isFolder = ::lstat(child.constData(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (!isFolder)
                continue;
            const int wd = AddOne(handleId, handle, child, false);
            if (wd < 0 && errno == ENOSPC) {
                ::closedir(dir);
                return true;
            }
            // A folder seen twice (bind mounts) is not walked again.
            if (wd >= 0 && visited.insert(wd).second)
                pending.push_back(child);
        }
        ::closedir(dir);
    }
    return true;
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
}

void InotifyNotifier::Close(int handle)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return;
    DropAll(handle, found->second);
    m_handles.erase(found);
}

bool InotifyNotifier::Rearm(int handle)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return false;
    // Only what has been read is forgotten: events still queued in the kernel are
    // read by the next Wait and signal again.
    found->second.Signalled = false;
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
    if (overflow) {
        // Events were dropped: any folder may have changed, sub-folders created
        // meanwhile lack their watch, and a top folder may have vanished or been
        // replaced without our hearing of it.
        for (auto& [id, handle] : m_handles) {
            handle.Signalled = true;
            if (handle.Lost)
                continue;
            if (!AddTree(id, handle, handle.Folder, true)) {
                DropAll(id, handle);
                handle.Lost = true;
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

        if (mask & kSignalMask)
            handle.Signalled = true;

        if (wd == handle.TopWd && (mask & kGoneMask)) {
            // Deleted, moved away or unmounted: forget the tree and look for the
            // folder again later.
            if (mask & IN_IGNORED)
                DropWatch(id, handle, wd, true);
            DropAll(id, handle);
            handle.Lost = true;
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
    if (!force && now - m_lastLostCheckMs < kLostCheckIntervalMs)
        return;
    m_lastLostCheckMs = now;
    for (auto& [id, handle] : m_handles) {
        if (!handle.Lost || !IsFolder(handle.Folder))
            continue;
        if (AddTree(id, handle, handle.Folder, true) && handle.TopWd >= 0) {
            handle.Lost = false;
            // Whatever it holds now is new to us.
            handle.Signalled = true;
        }
    }
}

int InotifyNotifier::Wait(int handle, int milliseconds)
{
    auto found = m_handles.find(handle);
    if (found == m_handles.end())
        return Failed;
    Handle& watched = found->second;
    if (watched.Signalled)
        return Signalled;
    // The queue read for the round serves every handle polled once in it; polling
    // the same handle again, or after a pause, reads the queue afresh.
    if (watched.PolledInRound == m_drainRound || CoarseMs() - m_lastDrainMs >= kDrainReuseMs) {
        Drain();
        CheckLost(false);
    }
    watched.PolledInRound = m_drainRound;
    // Draining drops watches, never handles, so the reference stays valid.
    if (watched.Signalled)
        return Signalled;
    if (milliseconds == 0)
        return TimedOut;

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int slice = int(kLostCheckIntervalMs);
        if (milliseconds > 0) {
            const qint64 left = milliseconds - clock.elapsed();
            if (left <= 0)
                return TimedOut;
            slice = int(qMin<qint64>(left, slice));
        }
        pollfd request{m_fd, POLLIN, 0};
        if (::poll(&request, 1, slice) < 0 && errno != EINTR)
            return Failed;
        Drain();
        CheckLost(false);
        watched.PolledInRound = m_drainRound;
        if (watched.Signalled)
            return Signalled;
    }
}
