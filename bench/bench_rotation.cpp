// Cost of keeping previous versions: one backup step with a full set of versions
// (the rotation plus the copy of the new file) against one plain copy of the
// same file, both through the product's durable copier. The result on disk is
// checked after the run. For scale, one step that shifts the versions by
// copying them is timed too. Exits with 1 when something failed or the result
// is wrong, with 2 when the goal (at most 1.2 times the plain copy) is missed.
//
// bench_rotation [megabytes=100] [versions=10] [rounds=5] [folder=system temp]

#include "engine/VersionRotation.h"
#include "platform/LinuxFileCopier.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {
const QString Base = QStringLiteral("~PrevSave");
const QString Name = QStringLiteral("f.bin");

QByteArray Header(int save)
{
    return QByteArray("save ") + QByteArray::number(save).rightJustified(10, '0') + '\n';
}

bool WriteSource(const QString& path, qint64 bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((qint64(i) * 7919) % 251);
    for (qint64 done = 0; done < bytes; done += block.size())
        if (f.write(block.constData(), std::min<qint64>(block.size(), bytes - done)) < 0)
            return false;
    return true;
}

// A new save of the source: only its first bytes change, which is all the
// check needs to tell the versions apart.
bool StampSource(const QString& path, int save)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.write(Header(save)) == Header(save).size();
}

QByteArray HeaderOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.read(Header(0).size());
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double TimeMs(const std::function<bool()>& step, bool& ok)
{
    QElapsedTimer t;
    t.start();
    ok = step() && ok;
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const int versions = argc > 2 ? std::atoi(argv[2]) : 10;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    QTemporaryDir root(argc > 4 ? QString::fromLocal8Bit(argv[4]) + "/bench_rotation-XXXXXX"
                                : QDir::tempPath() + "/bench_rotation-XXXXXX");
    if (!root.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    const QString source = root.path() + "/src/" + Name;
    const QString plainTarget = root.path() + "/plain/" + Name;
    const QString folder = root.path() + "/dst/Work";
    QDir().mkpath(root.path() + "/src");
    QDir().mkpath(root.path() + "/plain");
    QDir().mkpath(folder);
    if (!WriteSource(source, megabytes << 20)) {
        std::fprintf(stderr, "cannot write the source\n");
        return 1;
    }

    LinuxFileCopier copier;
    bool ok = true;
    int save = 0;
    auto backupStep = [&] {
        const VersionRotation::Result r = VersionRotation::Rotate(folder, Name, Base, versions, copier);
        return !r.Failed() && copier.Copy(source, folder + "/" + Name, {}).Ok();
    };

    // Fill every version first, unmeasured.
    for (int i = 0; i <= versions; ++i) {
        ok = StampSource(source, ++save) && backupStep() && ok;
    }

    // The plain copy replaces an earlier copy, as a backup without versions does,
    // so both sides pay for freeing one old file.
    ok = copier.Copy(source, plainTarget, {}).Ok() && ok;
    std::vector<double> plain, step, rotation;
    for (int i = 0; i < rounds; ++i) {
        ok = StampSource(source, ++save) && ok;
        plain.push_back(TimeMs([&] { return copier.Copy(source, plainTarget, {}).Ok(); }, ok));
        step.push_back(TimeMs(backupStep, ok));
    }
    // The rotation alone, on the full set (its copy step done unmeasured).
    for (int i = 0; i < rounds; ++i) {
        ok = StampSource(source, ++save) && ok;
        rotation.push_back(TimeMs(
            [&] { return !VersionRotation::Rotate(folder, Name, Base, versions, copier).Failed(); }, ok));
        ok = copier.Copy(source, folder + "/" + Name, {}).Ok() && ok;
    }

    // The result on disk: the current copy, then one older save per version folder.
    bool verified = ok && HeaderOf(folder + "/" + Name) == Header(save);
    for (int k = 1; k <= std::max(versions, 1); ++k) {
        const QString file = VersionRotation::VersionFolder(folder, Base, k) + "/" + Name;
        verified =
            verified && HeaderOf(file) == Header(save - k) && QFileInfo(file).size() == (megabytes << 20);
    }
    verified = verified && !QFileInfo::exists(VersionRotation::VersionFolder(folder, Base, versions + 1)) &&
               !QFileInfo::exists(VersionRotation::VersionFolder(folder, Base, 1) + "-S");

    // For scale: the same step with the versions shifted by copying.
    ok = StampSource(source, ++save) && ok;
    const double copying = TimeMs(
        [&] {
            const QString scratch = VersionRotation::VersionFolder(folder, Base, 1) + "-S";
            QDir().mkpath(scratch);
            bool good = copier.Copy(folder + "/" + Name, scratch + "/" + Name, {}).Ok();
            for (int k = versions - 1; k >= 1; --k) {
                const QString to = VersionRotation::VersionFolder(folder, Base, k + 1) + "/" + Name;
                QFile::remove(to);
                good = good &&
                       copier.Copy(VersionRotation::VersionFolder(folder, Base, k) + "/" + Name, to, {}).Ok();
            }
            const QString first = VersionRotation::VersionFolder(folder, Base, 1) + "/" + Name;
            QFile::remove(first);
            good = good && copier.Copy(scratch + "/" + Name, first, {}).Ok();
            QDir(scratch).removeRecursively();
            return good && copier.Copy(source, folder + "/" + Name, {}).Ok();
        },
        ok);

    const double plainMs = Median(plain), stepMs = Median(step);
    std::printf("file %lld MiB, %d versions, %d rounds (medians)\n", static_cast<long long>(megabytes),
                versions, rounds);
    std::printf("plain copy                     %8.1f ms\n", plainMs);
    std::printf("backup step, rotation by rename %7.1f ms   ratio %.2f (limit 1.20)\n", stepMs,
                stepMs / plainMs);
    std::printf("rotation alone                 %8.1f ms\n", Median(rotation));
    std::printf("backup step, shifting by copies %7.1f ms   ratio %.2f (one run)\n", copying,
                copying / plainMs);
    std::printf("result on disk                 %s\n", verified ? "verified" : "WRONG");
    if (!ok || !verified)
        return 1;
    return stepMs / plainMs <= 1.2 ? 0 : 2;
}
