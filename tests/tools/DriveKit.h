#pragma once

// What the crash and soak drivers share: stores, the real program as a child, the ways to save.
#include "core/DataFolder.h"
#include "core/ProgramState.h"
#include "core/StoreFile.h"
#include "core/Stores.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QtCore/qtestsupport_core.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace DriveKit {

inline QString Option(const QStringList& arguments, const QString& name, const QString& fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

// One folder association per source (versions kept), all copying into destination.
inline void WriteStores(const QStringList& sources, const QString& destination, int versions)
{
    QDir().mkpath(destination); // a missing one reads as an unplugged drive
    QStringList backups, destinations;
    for (const QString& source : sources) {
        backups
            << source << QString(2, QChar(0)) // any drive, with or without a volume name
            << QStringLiteral("05/12/2026 10:00:00|Never|Never|1|1|1|%1|1|0|0|1").arg(versions).split(u'|');
        destinations << destination << source << QString();
    }
    if (!StoreFile::Write("usrdatab", backups) || !StoreFile::Write("usrdatad", destinations) ||
        !StoreFile::Write("pprefs", {"0"}))
        std::fprintf(stderr, "cannot write the stores in %s\n", qPrintable(DataFolder()));
}

// What is wrong, if anything, with usrdatab and usrdatad against the expected lists of associations.
inline QString StoreProblems(const QList<QStringList>& expected)
{
    ProgramState state;
    LoadBackups(state);
    LoadDestinations(state);
    QStringList problems = state.PendingWarnings;
    const QStringList aside = QDir(DataFolder()).entryList({"*.unloaded-*"}, QDir::Files | QDir::System);
    if (!aside.isEmpty() && problems.isEmpty())
        problems << "side copies without a message: " + aside.join(u' ');
    QStringList loaded;
    for (const clsBackup& b : state.Backups)
        loaded << b.SourcePath;
    if (!expected.contains(loaded) || state.Destinations.Count() != loaded.size())
        problems << QStringLiteral("the stores hold %1 associations and %2 destinations")
                        .arg(loaded.size())
                        .arg(state.Destinations.Count());
    return problems.join(u'\n');
}

// The label repeated to about size bytes: a cut or mixed copy matches no save.
inline QByteArray Content(const QString& label, int size)
{
    const QByteArray line = label.toUtf8() + '\n';
    return line.repeated(size / line.size() + 1);
}

inline QByteArray Digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

enum class Writer { InPlace, Renamed, DoubleSave, Append };
constexpr int WriterKinds = 4;

inline void Save(Writer writer, const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    // As editors do: a hidden file beside, renamed over the old one.
    const QString temporary = info.path() + "/." + info.fileName() + ".swp";
    if (writer == Writer::Renamed && WriteFile(temporary, bytes))
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData());
    if (writer == Writer::DoubleSave)
        WriteFile(path, "draft\n" + bytes);
    if (writer == Writer::InPlace || writer == Writer::DoubleSave)
        WriteFile(path, bytes);
    QFile appended(path);
    if (writer == Writer::Append && appended.open(QIODevice::Append))
        appended.write(bytes);
}

// Every regular file below root but the crash leftovers, which go to leftovers.
inline QStringList FilesBelow(const QString& root, QStringList* leftovers = nullptr)
{
    QStringList files;
    for (const QFileInfo& info :
         QDir(root).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString name = info.fileName();
        const bool leftover =
            info.isDir() ? name.startsWith("~PrevSave-") && name.endsWith("-S")
                         : (name.startsWith(".savenook-") && name.endsWith(".tmp")) || name.endsWith("TEMP");
        if (leftover && leftovers)
            *leftovers << info.filePath();
        else if (!leftover && (info.isDir() || info.isFile()))
            files << (info.isDir() ? FilesBelow(info.filePath(), leftovers) : QStringList{info.filePath()});
    }
    return files;
}

inline QStringList Leftovers(const QString& root)
{
    QStringList leftovers;
    FilesBelow(root, &leftovers);
    return leftovers;
}

// A private home whose associations src/aN (files fM.txt) go to dst, and the real program, offscreen.
class Rig
{
  public:
    Rig(const QStringList& arguments, int associations, int filesEach, int versions)
        : m_binary(Option(arguments, "--binary", qEnvironmentVariable("SAVENOOK_BINARY")))
    {
        for (int a = 0; a < associations; ++a) {
            Sources << Root + QStringLiteral("/src/a%1").arg(a);
            for (int f = 0; f < filesEach; ++f)
                Files << Sources.last() + QStringLiteral("/f%1.txt").arg(f);
        }
        WriteStores(Sources, Destination, versions);
        QDir().mkdir(m_runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QStringList Missed() const
    {
        QStringList missed;
        for (const QString& file : Files)
            if (ReadFile(file) != ReadFile(Destination + file.mid(Root.size() + 4)))
                missed << file;
        return missed;
    }

    // False when it did not report "started" in time.
    bool Start()
    {
        m_process = std::make_unique<QProcess>();
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove("DISPLAY");
        e.remove("WAYLAND_DISPLAY");
        e.insert("QT_QPA_PLATFORM", "offscreen");
        e.insert("XDG_RUNTIME_DIR", m_runtime);
        e.insert("SAVENOOK_TRACE", "1");
        m_process->setProcessEnvironment(e);
        // A file, not a pipe: nobody need drain it while the program runs.
        QFile::remove(traceFile());
        m_process->setStandardErrorFile(traceFile());
        m_process->setStandardOutputFile(QProcess::nullDevice());
        m_process->start(m_binary, {QStringLiteral("nowin")});
        return m_process->waitForStarted(10000) &&
               QTest::qWaitFor([this] { return Trace().contains("savenook: started\n") || !Running(); },
                               30000) &&
               Running();
    }
    void Signal(int number)
    {
        // Never kill(0): that would signal this driver's whole process group.
        if (const qint64 pid = m_process->processId(); pid > 0)
            ::kill(pid_t(pid), number);
    }
    bool Running() { return !m_process->waitForFinished(0) && m_process->state() != QProcess::NotRunning; }
    bool WaitEnd(int ms)
    {
        return m_process->state() == QProcess::NotRunning || m_process->waitForFinished(ms);
    }
    bool EndsCleanly()
    {
        Signal(SIGTERM);
        return WaitEnd(30000) && m_process->exitStatus() == QProcess::NormalExit &&
               m_process->exitCode() == 0;
    }
    QByteArray Trace() const { return ReadFile(traceFile()); }

    // Resident memory in KiB and open descriptors of the program; -1 when unknown.
    struct Usage
    {
        qint64 Rss = -1;
        int Fds = -1;
    };
    Usage Sample() const
    {
        Usage usage;
        const QString proc = QStringLiteral("/proc/%1/").arg(m_process->processId());
        for (const QByteArray& line : ReadFile(proc + "status").split('\n'))
            if (line.startsWith("VmRSS:"))
                usage.Rss = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        if (const QDir fds(proc + "fd"); fds.exists())
            usage.Fds = int(fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
        return usage;
    }

    TestEnvironment Env;
    const QString Root = Env.root(), Destination = Root + "/dst";
    QStringList Sources, Files;

  private:
    QString traceFile() const { return m_runtime + "/trace"; }

    const QString m_binary, m_runtime = Root + "/runtime";
    std::unique_ptr<QProcess> m_process;
};

} // namespace DriveKit
