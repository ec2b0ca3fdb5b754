#pragma once

#include "platform/FolderChanges.h"

#include <QString>
#include <functional>
#include <optional>
#include <set>

// Folder change notifications. A handle stands for one watched folder (and its
// sub-folder watches); it is always > 0.
class ChangeNotifier
{
  public:
    static constexpr int NotOpened = -1; // the handle Open gives when it fails
    enum class WaitResult { Signalled, TimedOut, Failed };

    virtual ~ChangeNotifier() = default;
    // Signals on a file created, written, closed after writing, renamed into the
    // folder or given a new modification time; with subtree, also below it.
    virtual int Open(const QString& folder, bool subtree) = 0; // NotOpened on failure
    // 0 ms polls without waiting.
    virtual WaitResult Wait(int handle, int milliseconds) = 0;
    // Clears what has been seen so far; a later change signals again.
    virtual bool Rearm(int handle) = 0;
    virtual void Close(int handle) = 0;

    // Where the handle's tree changed since it was last re-armed; read it just
    // before Rearm. A notifier that cannot tell says it does not know.
    virtual FolderChanges ChangesSinceRearm(int /*handle*/) const { return {}; }
    // Every folder of the handle's tree has its watch, and what changed before a
    // late one was in place has been handed out; until then a change in a folder
    // without its watch is reported only when the watch is added.
    virtual bool WatchesInPlace(int /*handle*/) const { return true; }
    // Adding watches to large trees goes on in slices, so that the interface keeps
    // running: true while work is left for another slice of about budgetMs.
    virtual bool ContinueSetup(int /*budgetMs*/) { return false; }

    // Open: a file written to in the tree is still open for writing.
    enum class WritersState { Unknown, Open, Done };
    struct Writers
    {
        WritersState State = WritersState::Unknown;
        int QuietMs = 0; // when Done: ms since the tree's last event
    };
    // Whether every file written to in the handle's tree has been closed or
    // renamed into place, and for how long the tree has been quiet since;
    // Unknown when the notifier cannot tell. Reads what is queued.
    virtual Writers WritersDone(int /*handle*/) { return {}; }
    // Called on the GUI thread as soon as events wait to be read, so that the
    // watch tick need not wait out its interval. Not called again until they are read.
    virtual void SetEventHandler(std::function<void()> /*handler*/) {}
    // The handles signalled now, after reading what is queued, so that an idle
    // tick need not poll every handle; nullopt when the notifier cannot tell. One
    // that names them calls the event handler too: the watch tick sleeps on that.
    virtual std::optional<std::set<int>> SignalledHandles() { return std::nullopt; }
    // A top folder vanished and is looked for again, at most once a second, by
    // SignalledHandles and Wait: nothing tells when it is back, so keep asking.
    virtual bool LookingForVanished() const { return false; }
};
