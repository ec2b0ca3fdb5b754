// Kills the real program with SIGKILL at random moments, then checks what is on
// disk: every copy and previous version is one whole save of its source, every
// store loads whole, and crash leftovers do not pile up. Kinds of round:
//   backup  saves being copied and versions rotated
//   exit    SIGTERM, then SIGKILL while the exit writes the stores
//   scheme  a child of this driver loading schemes and saving the stores in a loop
//   savenook_crash [--rounds 20] [--seed n] [--binary path]
// Ends 0 when nothing was lost.
#include "DriveKit.h"
#include "core/ProgramState.h"
#include "core/SchemeFiles.h"
#include "core/Stores.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace DriveKit;

namespace {
constexpr int kAssociations = 4;
constexpr int kFiles = 3;
constexpr int kVersions = 3;
const QStringList kSchemes = {QStringLiteral("A.sch"), QStringLiteral("B.sch")};

// What a scheme load runs, over and over until killed.
int storeLoop(qint64 iterations)
{
    for (qint64 i = 0; i != iterations; ++i) {
        SchemeFiles::Load(kSchemes.at(i % 2));
        ProgramState state;
        LoadBackups(state);
        LoadDestinations(state);
        SaveBackups(state);
        SaveDestinations(state);
        SavePausedState(state);
    }
    return 0;
}

// XDG_DATA_HOME for as long as it lives.
class DataHome
{
  public:
    explicit DataHome(const QString& path) : m_old(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", path.toUtf8());
    }
    ~DataHome() { qputenv("XDG_DATA_HOME", m_old); }

  private:
    QByteArray m_old;
};

class Rounds
{
  public:
    explicit Rounds(const QStringList& args)
        : m_random(quint32(Option(args, QStringLiteral("--seed"), 1))), m_root(m_env.root()),
          m_program(ProgramPath(args), m_root + QStringLiteral("/runtime"))
    {
        for (int a = 0; a < kAssociations; ++a) {
            m_sources << m_root + QStringLiteral("/src/a%1").arg(a);
            QDir().mkpath(m_sources.last());
            for (int f = 0; f < kFiles; ++f) {
                m_files << m_sources.last() + QStringLiteral("/f%1.txt").arg(f);
                save(m_files.last());
            }
        }
        WriteStores(m_sources, destination(), kVersions);
        // Two schemes of different sizes, so a pair of stores from both shows.
        DataHome home(schemeHome());
        for (int s = 0; s < 2; ++s) {
            WriteStores(m_sources.mid(0, s + 2), m_root + QStringLiteral("/dst-") + kSchemes.at(s),
                        kVersions);
            ProgramState state;
            LoadBackups(state);
            LoadDestinations(state);
            SchemeFiles::Save(state, kSchemes.at(s));
        }
    }

    void Run(int rounds)
    {
        for (m_round = 1; m_round <= rounds; ++m_round) {
            const int pick = m_random.bounded(4);
            if (pick == 0)
                schemeRound();
            else
                programRound(pick == 1);
            m_mostLeftovers = std::max(m_mostLeftovers, int(Leftovers(m_root).size()));
            if (m_round % 100 == 0) {
                std::printf("after %d rounds: %d kills, %d lost\n", m_round, m_kills, int(m_lost.size()));
                std::fflush(stdout);
            }
        }
        finalRun();
    }

    int Report() const
    {
        std::printf("crash: %d rounds (backup %d, exit %d, scheme %d), %d kills (%d during an exit), "
                    "%d copies and %d stores checked\n",
                    m_round - 1, m_kinds[0], m_kinds[1], m_kinds[2], m_kills, m_exitKills, m_copies,
                    m_stores);
        std::printf("crash leftovers: at most %d at once, %d after the last clean run\n", m_mostLeftovers,
                    m_finalLeftovers);
        std::printf("lost: %d\n", int(m_lost.size()));
        for (const QString& line : m_lost)
            std::printf("  %s\n", qPrintable(line));
        return m_lost.isEmpty() && m_finalLeftovers == 0 ? 0 : 1;
    }

  private:
    QString destination() const { return m_root + QStringLiteral("/dst"); }
    QString schemeHome() const { return m_root + QStringLiteral("/scheme-data"); }
    void lose(const QString& what) { m_lost << QStringLiteral("round %1: %2").arg(m_round).arg(what); }

    // A whole new content, atomically, as an editor saves: each state of the
    // source is one whole save, so a copy must be one of them.
    void save(const QString& file)
    {
        const QByteArray bytes =
            Content(QStringLiteral("%1 #%2").arg(file).arg(++m_saves), m_random.bounded(1, 512 * 1024));
        m_history[file].insert(Digest(bytes));
        Save(Writer::Renamed, file, bytes);
    }

    void sleepUpTo(int ms) { QThread::msleep(quint64(m_random.bounded(ms + 1))); }

    void programRound(bool exit)
    {
        ++m_kinds[exit ? 1 : 0];
        if (!m_program.Start()) {
            lose(QStringLiteral("the program did not start: ") + QString::fromUtf8(m_program.Trace()));
            return;
        }
        QElapsedTimer clock;
        clock.start();
        const int writing = m_random.bounded(100, 1200);
        while (clock.elapsed() < writing) {
            save(m_files.at(m_random.bounded(int(m_files.size()))));
            sleepUpTo(80);
        }
        if (exit) {
            m_program.Signal(SIGTERM);
            sleepUpTo(300);
        } else {
            sleepUpTo(700);
        }
        if (m_program.Running()) {
            m_program.Signal(SIGKILL);
            ++m_kills;
            m_exitKills += exit;
        }
        m_program.WaitEnd(10000);
        checkCopies();
        checkProgramStores();
    }

    void schemeRound()
    {
        ++m_kinds[2];
        QProcess child;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_DATA_HOME"), schemeHome());
        child.setProcessEnvironment(e);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--store-loop")});
        child.waitForStarted();
        QThread::msleep(quint64(m_random.bounded(20, 400)));
        if (child.state() == QProcess::Running) {
            ::kill(pid_t(child.processId()), SIGKILL);
            ++m_kills;
        }
        child.waitForFinished();
        DataHome home(schemeHome());
        // Scheme A has two associations with two destinations, B three with three.
        checkStores([this](const QStringList& loaded, int destinations) {
            return (destinations == 2 || destinations == 3) && loaded == m_sources.mid(0, destinations);
        });
    }

    void checkCopies()
    {
        for (const QString& copy : FilesBelow(destination())) {
            // dst/aN/fM.txt or dst/aN/~PrevSave-k/fM.txt
            const QStringList parts = copy.mid(destination().size() + 1).split(u'/');
            const QString source = m_root + QStringLiteral("/src/") + parts.first() + u'/' + parts.last();
            ++m_copies;
            if (!m_history.value(source).contains(FileDigest(copy)))
                lose(QStringLiteral("%1 is no whole save of %2 (%3 bytes)")
                         .arg(copy, source)
                         .arg(QFileInfo(copy).size()));
        }
    }

    // The stores load whole, with what expected accepts.
    void checkStores(const std::function<bool(const QStringList&, int)>& expected)
    {
        QStringList loaded;
        int destinations = 0;
        const QString problems = LoadProblems(&loaded, &destinations);
        ++m_stores;
        if (!problems.isEmpty())
            lose(problems);
        if (!expected(loaded, destinations))
            lose(QStringLiteral("the stores hold %1 associations and %2 destinations")
                     .arg(loaded.size())
                     .arg(destinations));
    }

    void checkProgramStores()
    {
        checkStores([this](const QStringList& loaded, int destinations) {
            return loaded == m_sources && destinations == kAssociations;
        });
    }

    // A last start that must find everything and, saving every file once and
    // ending cleanly, leave no crash leftover behind.
    void finalRun()
    {
        if (!m_program.Start()) {
            lose(QStringLiteral("the program did not start for the last run"));
            return;
        }
        for (const QString& file : m_files)
            save(file);
        const bool copied = WaitFor(
            [this] {
                return std::all_of(m_files.begin(), m_files.end(), [this](const QString& file) {
                    return FileDigest(file) == FileDigest(destination() + file.mid(m_root.size() + 4));
                });
            },
            30000);
        if (!copied)
            lose(QStringLiteral("the last saves were not all backed up"));
        m_program.Signal(SIGTERM);
        if (!m_program.WaitEnd(30000) || !m_program.EndedNormally())
            lose(QStringLiteral("the last run did not end cleanly on SIGTERM"));
        checkCopies();
        checkProgramStores();
        {
            DataHome home(schemeHome());
            QProcess::execute(
                QCoreApplication::applicationFilePath(),
                {QStringLiteral("--store-loop"), QStringLiteral("--iterations"), QStringLiteral("1")});
        }
        const QStringList leftovers = Leftovers(m_root);
        m_finalLeftovers = int(leftovers.size());
        for (const QString& path : leftovers)
            lose(QStringLiteral("left over: ") + path);
    }

    QRandomGenerator m_random;
    TestEnvironment m_env;
    QString m_root;
    Program m_program;
    QStringList m_sources, m_files;
    QHash<QString, QSet<QByteArray>> m_history; // every save's digest, by source file
    QStringList m_lost;
    int m_round = 0, m_saves = 0, m_kills = 0, m_exitKills = 0, m_copies = 0, m_stores = 0;
    int m_kinds[3] = {};
    int m_mostLeftovers = 0, m_finalLeftovers = 0;
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--store-loop")))
        return storeLoop(Option(args, QStringLiteral("--iterations"), -1));
    Rounds rounds(args);
    rounds.Run(int(Option(args, QStringLiteral("--rounds"), 20)));
    return rounds.Report();
}
