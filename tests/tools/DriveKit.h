#pragma once

// What the crash and soak drivers share: options, stores laid out as the program
// writes them, the real program as a child process, the kinds of writers, and
// the looks at disk and process that the checks need.
#include <QByteArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace DriveKit {

// "--name value" from the command line, else fallback.
qint64 Option(const QStringList& arguments, const QString& name, qint64 fallback);
// SAVENOOK_BINARY, or "--binary path".
QString ProgramPath(const QStringList& arguments);

// One folder association per source (versions kept), all copying into destination.
void WriteStores(const QStringList& sources, const QString& destination, int versions);
// Loads usrdatab and usrdatad with the program's own loaders. Empty when both
// loaded whole; else what went wrong. sources gets the association paths loaded.
QString LoadProblems(QStringList* sources = nullptr, int* destinations = nullptr);

// Contents that tell each save apart: the label repeated to about size bytes, so a
// truncated or mixed copy matches no save.
QByteArray Content(const QString& label, int size);
QByteArray Digest(const QByteArray& bytes);
QByteArray FileDigest(const QString& path); // empty when unreadable
QByteArray ReadFile(const QString& path);

// The ways programs save a file.
enum class Writer { InPlace, Renamed, DoubleSave, Append };
constexpr int WriterKinds = 4;
// Saves bytes with that writer; the file's full content afterwards (an appender adds).
QByteArray Save(Writer writer, const QString& path, const QByteArray& bytes);

// Files of a crash's leftovers anywhere below root: copier temporaries, store
// temporaries and rotation scratch folders.
QStringList Leftovers(const QString& root);
// Every regular file below root that is not a leftover.
QStringList FilesBelow(const QString& root);

// Resident memory in KiB and open descriptors of a process; -1 when unknown.
qint64 ResidentKiB(qint64 pid);
int OpenDescriptors(qint64 pid);

// Waits, polling, until done() holds or ms have passed.
bool WaitFor(const std::function<bool()>& done, int ms);

// The real program, started hidden on the offscreen screen with its trace on.
class Program
{
  public:
    Program(QString binary, QString runtimeFolder);
    ~Program();
    // False when it did not report "started" in time.
    bool Start(const QStringList& arguments = {QStringLiteral("nowin")});
    void Signal(int number);
    // True when it ended within ms.
    bool WaitEnd(int ms);
    bool Running();
    bool EndedNormally() const;
    qint64 Pid() const { return m_pid; }
    QByteArray Trace() const;

  private:
    QString traceFile() const;

    QString m_binary, m_runtime;
    std::unique_ptr<QProcess> m_process;
    qint64 m_pid = 0;
};

} // namespace DriveKit
