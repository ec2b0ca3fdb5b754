// Idle cost of watching: many folders watched, every handle polled without
// waiting every 100 ms (what the watch timer does), nothing changing.
// Prints the CPU time used as a share of one core, and the resident memory.
//
// bench_idle [folders=1000] [seconds=20]

#include "platform/InotifyNotifier.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray StatusField(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed();
    return "?";
}

double RssMiB()
{
    // "VmRSS:	  12345 kB"
    return StatusField("VmRSS:").split(' ').first().toDouble() / 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    constexpr int kTickMs = 100;

    QTemporaryDir root;
    if (!root.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const double rssBefore = RssMiB();
    InotifyNotifier notifier;
    std::vector<int> handles;
    for (int i = 0; i < folders; ++i) {
        const QString folder = root.path() + "/folder" + QString::number(i);
        QDir().mkpath(folder + "/sub");
        // Every tenth folder with its subtree, as folder associations with sub-folders.
        const int h = notifier.Open(folder, i % 10 == 0);
        if (h <= 0) {
            std::fprintf(stderr, "cannot watch %s\n", qPrintable(folder));
            return 1;
        }
        handles.push_back(h);
    }
    for (const QString& warning : notifier.TakeWarnings())
        std::fprintf(stderr, "warning: %s\n", qPrintable(warning));

    QElapsedTimer wall;
    const double cpuStart = CpuSeconds();
    wall.start();
    qint64 polls = 0;
    int signalled = 0;
    for (qint64 next = 0; wall.elapsed() < seconds * 1000LL; next += kTickMs) {
        for (int h : handles) {
            ++polls;
            if (notifier.Wait(h, 0) == ChangeNotifier::Signalled) {
                ++signalled;
                notifier.Rearm(h);
            }
        }
        const qint64 sleep = next + kTickMs - wall.elapsed();
        if (sleep > 0)
            QThread::msleep(static_cast<unsigned long>(sleep));
    }
    const double cpu = CpuSeconds() - cpuStart;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double cpuPercent = 100.0 * cpu / elapsed;
    const double rss = RssMiB();

    std::printf("folders watched       %d (%d inotify watches, one instance)\n", folders,
                notifier.WatchCount());
    std::printf("run                   %.1f s, %lld polls, %d signalled\n", elapsed, polls, signalled);
    std::printf("cpu                   %.3f s = %.3f %% of one core   (goal <= 0.5 %%)\n", cpu, cpuPercent);
    std::printf("per poll              %.3f us\n", polls ? cpu * 1e6 / double(polls) : 0.0);
    std::printf("resident memory       %.1f MiB (%.1f MiB before watching)   (goal <= 80 MB)\n", rss,
                rssBefore);
    return cpuPercent <= 0.5 && rss <= 80.0 ? 0 : 2;
}
