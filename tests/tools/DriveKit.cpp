#include "DriveKit.h"

#include "core/DataFolder.h"
#include "core/ProgramState.h"
#include "core/StoreFile.h"
#include "core/Stores.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace DriveKit {

namespace {
bool isLeftoverFile(const QString& name)
{
    return (name.startsWith(QLatin1String(".savenook-")) && name.endsWith(QLatin1String(".tmp"))) ||
           name.endsWith(QLatin1String("TEMP"));
}

// A rotation's scratch folder: "<version base>-1-S", "-S-S" and so on.
bool isScratchFolder(const QString& name)
{
    return name.startsWith(QLatin1String("~PrevSave-")) && name.endsWith(QLatin1String("-S"));
}
} // namespace

qint64 Option(const QStringList& arguments, const QString& name, qint64 fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toLongLong() : fallback;
}

QString ProgramPath(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--binary"));
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1)
                                                : qEnvironmentVariable("SAVENOOK_BINARY");
}

void WriteStores(const QStringList& sources, const QString& destination, int versions)
{
    // A missing destination folder reads as an unplugged drive: nothing would be copied.
    QDir().mkpath(destination);
    QStringList backups, destinations;
    for (const QString& source : sources) {
        // Two NULs: a drive without a volume name is accepted.
        backups << source << QString(2, QChar(0)) << QStringLiteral("05/12/2026 10:00:00")
                << QStringLiteral("Never") << QStringLiteral("Never") << QStringLiteral("1")
                << QStringLiteral("1") << QStringLiteral("1") << QString::number(versions)
                << QStringLiteral("1") << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("1");
        destinations << destination << source << QString();
    }
    if (!StoreFile::Write(QStringLiteral("usrdatab"), backups) ||
        !StoreFile::Write(QStringLiteral("usrdatad"), destinations) ||
        !StoreFile::Write(QStringLiteral("pprefs"), {QStringLiteral("0")}))
        std::fprintf(stderr, "cannot write the stores in %s\n", qPrintable(DataFolder()));
}

QString LoadProblems(QStringList* sources, int* destinations)
{
    ProgramState state;
    LoadBackups(state);
    LoadDestinations(state);
    QStringList problems = state.PendingWarnings;
    const QStringList aside =
        QDir(DataFolder()).entryList({QStringLiteral("*.unloaded-*")}, QDir::Files | QDir::System);
    if (!aside.isEmpty() && problems.isEmpty())
        problems << QStringLiteral("side copies without a message: ") + aside.join(u' ');
    if (sources) {
        sources->clear();
        for (const clsBackup& b : state.Backups)
            sources->append(b.SourcePath);
    }
    if (destinations)
        *destinations = state.Destinations.Count();
    return problems.join(u'\n');
}

QByteArray Content(const QString& label, int size)
{
    const QByteArray line = label.toUtf8() + '\n';
    QByteArray bytes;
    bytes.reserve(size + line.size());
    do
        bytes += line;
    while (bytes.size() < size);
    return bytes;
}

QByteArray Digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray FileDigest(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? Digest(file.readAll()) : QByteArray();
}

QByteArray Save(Writer writer, const QString& path, const QByteArray& bytes)
{
    auto put = [](const QString& target, const QByteArray& data, QIODevice::OpenMode mode) {
        QFile file(target);
        if (file.open(mode))
            file.write(data);
    };
    switch (writer) {
    case Writer::InPlace:
        put(path, bytes, QIODevice::WriteOnly | QIODevice::Truncate);
        break;
    case Writer::Renamed: {
        // As editors do: a hidden file beside, renamed over the old one.
        const QFileInfo info(path);
        const QString temporary = info.absolutePath() + QStringLiteral("/.") + info.fileName() + ".swp";
        put(temporary, bytes, QIODevice::WriteOnly | QIODevice::Truncate);
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData());
        break;
    }
    case Writer::DoubleSave:
        put(path, "draft\n" + bytes, QIODevice::WriteOnly | QIODevice::Truncate);
        put(path, bytes, QIODevice::WriteOnly | QIODevice::Truncate);
        break;
    case Writer::Append:
        put(path, bytes, QIODevice::Append);
        return ReadFile(path);
    }
    return bytes;
}

QStringList Leftovers(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (info.isDir() ? isScratchFolder(info.fileName()) : isLeftoverFile(info.fileName()))
            found << info.filePath();
    }
    return found;
}

QStringList FilesBelow(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        const QStringList parts = info.filePath().split(u'/');
        if (!isLeftoverFile(info.fileName()) && std::none_of(parts.begin(), parts.end(), isScratchFolder))
            found << info.filePath();
    }
    return found;
}

qint64 ResidentKiB(qint64 pid)
{
    const QList<QByteArray> lines = ReadFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n');
    for (const QByteArray& line : lines)
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

int OpenDescriptors(qint64 pid)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    return fds.exists() ? int(fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size())
                        : -1;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

Program::Program(QString binary, QString runtimeFolder)
    : m_binary(std::move(binary)), m_runtime(std::move(runtimeFolder))
{
    QDir().mkpath(m_runtime);
    QFile::setPermissions(m_runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

Program::~Program()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool Program::Start(const QStringList& arguments)
{
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("DISPLAY"));
    e.remove(QStringLiteral("WAYLAND_DISPLAY"));
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    e.insert(QStringLiteral("SAVENOOK_TRACE"), QStringLiteral("1"));
    m_process->setProcessEnvironment(e);
    // A file, not a pipe: nobody need drain it while the program runs.
    QFile::remove(traceFile());
    m_process->setStandardErrorFile(traceFile());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->start(m_binary, arguments);
    if (!m_process->waitForStarted(10000))
        return false;
    m_pid = m_process->processId();
    return WaitFor([this] { return Trace().contains("savenook: started\n") || !Running(); }, 30000) &&
           Running();
}

QString Program::traceFile() const
{
    return m_runtime + QStringLiteral("/trace");
}

bool Program::Running()
{
    return m_process && !m_process->waitForFinished(0) && m_process->state() != QProcess::NotRunning;
}

void Program::Signal(int number)
{
    if (m_pid > 0)
        ::kill(static_cast<pid_t>(m_pid), number);
}

bool Program::WaitEnd(int ms)
{
    return !m_process || m_process->state() == QProcess::NotRunning || m_process->waitForFinished(ms);
}

bool Program::EndedNormally() const
{
    return m_process && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
}

QByteArray Program::Trace() const
{
    return ReadFile(traceFile());
}

} // namespace DriveKit
