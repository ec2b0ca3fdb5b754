#pragma once

// The engine as the program runs it on real folders, only with shorter waits.

#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/Engine.h"
#include "engine/EngineHooks.h"
#include "platform/FileNames.h"
#include "platform/InotifyNotifier.h"
#include "platform/LinuxDrives.h"
#include "platform/LocalFiles.h"
#include "platform/Waiter.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"
#include "support/EngineFakes.h"
#include "support/TellingCopier.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtCore/qtestsupport_core.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

// A tenth of the product's pacing unless a test asks for the real thing.
class ShortWaiter : public Waiter
{
  public:
    ShortWaiter() { m_clock.start(); }
    int Divisor = 10;
    void Sleep(int milliseconds) override
    {
        QThread::msleep(static_cast<unsigned long>(milliseconds / Divisor));
    }
    qint64 ElapsedMs() const override { return m_clock.elapsed(); }

  private:
    QElapsedTimer m_clock;
};

// Lets the event loop run, as the window's pump does; OnPump plays the user.
class LoopPump : public EventPump
{
  public:
    std::function<void()> OnPump;
    void ProcessPendingMessages() override
    {
        QCoreApplication::processEvents();
        if (OnPump)
            OnPump();
    }
};

// A hang fails the test instead of blocking it.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    return QTest::qWaitFor(done, timeoutMs);
}

struct LiveEngine
{
    QTemporaryDir Tmp;
    QString Root = Tmp.path() + "/Work";
    QString Backup = Tmp.path() + "/Backup";
    ProgramState State;
    Options Opts;
    colRecent Recent{State};
    colNotifiers Notifiers{State};
    LinuxDrives DriveInfo;
    TellingCopier Copier;
    InotifyNotifier Notifier;
    ShortWaiter Wait;
    LoopPump Pump;
    EngineHooks Hooks;
    EngineContext Context{State, Opts, Recent, Notifiers, DriveInfo, Copier, Notifier, Wait, Pump, Hooks};
    Engine Run{Context};

    LiveEngine()
    {
        QDir().mkpath(Root);
        QDir().mkpath(Backup);
    }
    // QTemporaryDir cannot remove names that are not UTF-8.
    ~LiveEngine()
    {
        Run.CloseAllNotifications();
        LocalFiles::RemoveTree(Tmp.path());
    }

    void AssociateFolder(const QString& source, bool recursive, const QString& destination)
    {
        const auto labelOf = [&](const QString& path) {
            const auto mount = DriveInfo.MountOf(path);
            return mount ? DriveInfo.Label(mount->MountPoint) : QString();
        };
        clsBackup b;
        b.SourcePath = source;
        b.Recursive = recursive;
        b.Folder = b.Enabled = b.KeepBackup = true;
        b.Versions = 2;
        b.Volume = labelOf(source) + QString(2, QChar(0));
        b.DateLastActivity = b.DateLastModified = QStringLiteral("Never");
        State.Backups.Add(b, source);
        State.Destinations.Add(destination, source, labelOf(destination));
    }
    bool WatchRoot(bool recursive = true)
    {
        AssociateFolder(Root, recursive, Backup);
        return Start();
    }
    // Sets up the watches as loading does and waits for the first quiet tick.
    bool Start()
    {
        for (const clsBackup& b : State.Backups)
            Run.WatchSourceFolder(b.SourcePath, b.Recursive);
        Run.StartWatching();
        return runUntil([&] {
            return Run.DetectFolders().Count() > 0 && !Run.DetectFolders().Item(1)->DetectionDate.isEmpty();
        });
    }
    void Save(const QString& name, const QByteArray& content) const { WriteFile(Root + '/' + name, content); }
    QByteArray CopyOf(const QString& name) const { return ReadFile(Backup + "/Work/" + name); }
    std::vector<QString> Log() const { return EngineRig::messages(Recent); }
    int Count(const QString& prefix) const
    {
        return int(std::count_if(Recent.begin(), Recent.end(),
                                 [&](const clsRecent& r) { return r.Message.startsWith(prefix); }));
    }
};

using Files = std::map<QByteArray, QByteArray>;

// Every file below folder with its content, by its path relative to it, all as bytes: names are never
// decoded here.
inline Files filesBelow(const QString& folder)
{
    const std::filesystem::path top(FileNames::Encode(folder).toStdString());
    Files files;
    std::error_code missing;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top, missing))
        if (!entry.is_directory()) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[QByteArray::fromStdString(entry.path().lexically_relative(top).string())] =
                QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
        }
    return files;
}
