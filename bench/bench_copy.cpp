// Durable copy of one large file: our copier (temporary file, flush, rename,
// folder flush) against `cp` followed by `sync` of the copy (the same durable
// work), and against plain `cp` (no flush). The source stays in the page cache
// for every run; the median of the runs is reported.
//
// bench_copy [MiB=1024] [runs=3] [folder=/tmp] [target folder=same]

#include "platform/LinuxFileCopier.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <vector>

namespace {

QString FileSystemOf(const QString& path)
{
    QProcess df;
    df.start("findmnt", {"-n", "-o", "FSTYPE", "-T", path});
    df.waitForFinished();
    return QString::fromLocal8Bit(df.readAll()).trimmed().split(QLatin1Char('\n')).first();
}

QString CpuModel()
{
    QFile info("/proc/cpuinfo");
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromLocal8Bit(line.mid(line.indexOf(':') + 1)).trimmed();
    return "?";
}

bool Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Leaves no dirty pages of earlier runs for the next run to flush.
void Settle(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const qint64 mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString base = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();
    QTemporaryDir sourceDir(base + "/bench-copy-XXXXXX");
    QTemporaryDir targetDir(argc > 4 ? QString::fromLocal8Bit(argv[4]) + "/bench-copy-XXXXXX"
                                     : base + "/bench-copy-target-XXXXXX");
    if (!sourceDir.isValid() || !targetDir.isValid()) {
        std::fprintf(stderr, "cannot create the work folders\n");
        return 1;
    }
    const QString source = sourceDir.path() + "/source.bin";
    const QString target = targetDir.path() + "/target.bin";

    {
        // Varied bytes, so that no layer can shortcut zeros.
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
            return 1;
        }
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qint64 m = 0; m < mib; ++m) {
            char* bytes = block.data();
            for (int i = 0; i < block.size(); ++i)
                bytes[i] = char((i * 31 + m * 7) ^ (i >> 9));
            if (file.write(block) != block.size()) {
                std::fprintf(stderr, "cannot write the source (disk full?)\n");
                return 1;
            }
        }
        file.flush();
        ::fsync(file.handle());
    }

    std::vector<double> ours, cpSync, cpPlain;
    LinuxFileCopier copier;
    const auto measure = [&](std::vector<double>& into, const std::function<bool()>& copy) {
        QFile::remove(target);
        Settle(targetDir.path());
        QElapsedTimer clock;
        clock.start();
        if (!copy()) {
            std::fprintf(stderr, "a copy failed\n");
            std::exit(1);
        }
        into.push_back(double(clock.nsecsElapsed()) / 1e9);
    };
    int chunks = 0;
    const std::function<bool()> copies[3] = {
        [&] {
            chunks = 0;
            return copier.Copy(source, target, [&] { ++chunks; }).Ok();
        },
        [&] {
            return Run("cp", {source, target}) && Run("sync", {target});
        },
        [&] {
            return Run("cp", {source, target});
        },
    };
    std::vector<double>* results[3] = {&ours, &cpSync, &cpPlain};
    // A warm-up round that is not counted: the first copy after writing the source
    // was up to 3x slower whichever tool made it.
    std::vector<double> ignored;
    for (const auto& copy : copies)
        measure(ignored, copy);
    // The order rotates from run to run, so no tool always follows the same one.
    for (int run = 0; run < runs; ++run) {
        for (int k = 0; k < 3; ++k)
            measure(*results[(run + k) % 3], copies[(run + k) % 3]);
        std::printf("run %d: ours %.3f s (%d chunk pauses), cp+sync %.3f s, cp %.3f s\n", run + 1,
                    ours.back(), chunks, cpSync.back(), cpPlain.back());
    }
    QFile::remove(target);
    QFile::remove(source);

    const double o = Median(ours), cs = Median(cpSync), c = Median(cpPlain);
    std::printf("\nmachine      %s, %d cores, kernel %s\n", qPrintable(CpuModel()),
                int(sysconf(_SC_NPROCESSORS_ONLN)), qPrintable(QSysInfo::kernelVersion()));
    std::printf("file         %lld MiB, %s -> %s (%s -> %s)\n", mib, qPrintable(sourceDir.path()),
                qPrintable(targetDir.path()), qPrintable(FileSystemOf(sourceDir.path())),
                qPrintable(FileSystemOf(targetDir.path())));
    std::printf("median of %d  ours %.3f s (%.0f MiB/s), cp+sync %.3f s, cp %.3f s\n", runs, o,
                double(mib) / o, cs, c);
    std::printf("speed        %.2fx of cp+sync (goal >= 0.95x), %.2fx of plain cp\n", cs / o, c / o);
    return cs / o >= 0.95 ? 0 : 2;
}
