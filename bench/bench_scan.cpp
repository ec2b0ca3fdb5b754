// Cost of the changed-folder scan per enumerated file: a 10 000-file tree of
// unchanged files walked by ScanFolder (pacing waits shortened to nothing
// through the Waiter seam, messages processed after every file as in the
// product), against `find DIR -newer REF` on the same tree in the same run.

#include "core/DateText.h"
#include "core/EventPump.h"
#include "core/ProgramState.h"
#include "engine/ChangedFolderScan.h"
#include "engine/EngineHooks.h"
#include "engine/colDetectedFiles.h"
#include "platform/ChangeNotifier.h"
#include "platform/LinuxDrives.h"
#include "platform/LinuxFileCopier.h"
#include "reporting/colNotifiers.h"
#include "reporting/colRecent.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class NoWaiter : public Waiter
{
  public:
    void Sleep(int) override {}
    qint64 ElapsedMs() const override { return 0; }
};

class LoopPump : public EventPump
{
  public:
    void ProcessPendingMessages() override { QCoreApplication::processEvents(); }
};

class NoNotifier : public ChangeNotifier
{
  public:
    int Open(const QString&, bool) override { return NotOpened; }
    WaitResult Wait(int, int) override { return WaitResult::Failed; }
    bool Rearm(int) override { return false; }
    void Close(int) override {}
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    constexpr int Folders = 100;
    constexpr int FilesPerFolder = 100;
    constexpr int Runs = 7;

    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/Tree");
    const QDateTime old = QDateTime::currentDateTime().addDays(-30);
    for (int f = 0; f < Folders; ++f) {
        const QString folder = root + QStringLiteral("/d%1").arg(f);
        QDir().mkpath(folder);
        for (int i = 0; i < FilesPerFolder; ++i) {
            QFile file(folder + QStringLiteral("/file%1.txt").arg(i));
            file.open(QIODevice::WriteOnly);
            file.write("x");
            file.flush();
            file.setFileTime(old, QFileDevice::FileModificationTime);
        }
    }
    const QString reference = dir.path() + QStringLiteral("/ref");
    {
        QFile ref(reference);
        ref.open(QIODevice::WriteOnly);
    }
    constexpr int Files = Folders * FilesPerFolder;

    ProgramState state;
    Options opts;
    colRecent recent(state);
    colNotifiers notifiers(state);
    LinuxDrives drives;
    LinuxFileCopier copier;
    NoNotifier notifier;
    NoWaiter waiter;
    LoopPump pump;
    EngineHooks hooks;
    EngineContext context{state, opts, recent, notifiers, drives, copier, notifier, waiter, pump, hooks};
    clsBackup backup;
    backup.SourcePath = root;
    backup.Folder = true;
    backup.Recursive = true;
    backup.Enabled = true;
    state.Backups.Add(backup, root);

    colDetectedFiles detected;
    int handedOver = 0;
    ChangedFolderScan scan(context, detected, [&](const QString&, int, const QString&) { ++handedOver; });
    const QString now = DateText::Now();

    std::vector<double> scanTimes, findTimes;
    for (int run = 0; run <= Runs; ++run) { // run 0 warms the caches
        QElapsedTimer t;
        t.start();
        scan.ScanFolder(root, 1, root, now, true, false);
        const double scanSeconds = t.nsecsElapsed() / 1e9;

        t.restart();
        QProcess find;
        find.start(QStringLiteral("find"), {root, QStringLiteral("-newer"), reference});
        find.waitForFinished(-1);
        const double findSeconds = t.nsecsElapsed() / 1e9;
        if (run > 0) {
            scanTimes.push_back(scanSeconds);
            findTimes.push_back(findSeconds);
        }
    }
    const double scanPerFile = median(scanTimes) / Files * 1e6;
    const double findPerFile = median(findTimes) / Files * 1e6;
    std::printf("scan of %d unchanged files in %d folders, median of %d runs (handed over: %d)\n", Files,
                Folders, Runs, handedOver);
    std::printf("  ScanFolder   %.1f ms  %.2f us/file\n", median(scanTimes) * 1e3, scanPerFile);
    std::printf("  find -newer  %.1f ms  %.2f us/file\n", median(findTimes) * 1e3, findPerFile);
    std::printf("  ratio %.2fx (goal <= 2x): %s\n", scanPerFile / findPerFile,
                scanPerFile <= 2 * findPerFile ? "met" : "MISSED");
    return scanPerFile <= 2 * findPerFile ? 0 : 2;
}
