#pragma once

#include "platform/FolderChanges.h"

#include <QString>
#include <functional>
#include <optional>
#include <set>

// Folder change notifications. A handle stands for one watched folder (and its
// sub-folder watches); it is always > 0, and -1 means "could not be opened".
class ChangeNotifier
{
  public:
    static constexpr int Signalled = 0;
    static constexpr int TimedOut = 258;
    static constexpr int Failed = -1;

    virtual ~ChangeNotifier() = default;
    // Signals on a file created, written, closed after writing, renamed into the
    // folder or given a new modification time; with subtree, also below it.
    virtual int Open(const QString& folder, bool subtree) = 0;
    // Signalled, TimedOut or Failed; 0 ms polls without waiting.
    virtual int Wait(int handle, int milliseconds) = 0;
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

    static constexpr int WritersUnknown = -2;
    static constexpr int WritersOpen = -1;
    // How long the handle's tree has been quiet (ms since its last event), once
    // every file written to there has been closed or renamed into place;
    // WritersOpen while one is still open for writing, WritersUnknown when the
    // notifier cannot tell. Reads what is queued.
    virtual int WritersDoneForMs(int /*handle*/) { return WritersUnknown; }
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
