// SIGKILLs the real program while it backs saves up or exits, or a child loading schemes and saving
// stores; then every copy must be one whole save, every store whole and no crash leftover stay.
//   savenook_crash [--rounds 20] [--seed n] [--binary path]; 0: none lost.
#include "DriveKit.h"
#include "core/SchemeFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <algorithm>

using namespace DriveKit;

namespace {
constexpr int kVersions = 3;
const QStringList kSchemes = {"A.sch", "B.sch"};

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

// The program's stores and the schemes' live in two data homes; children inherit the one set.
void useDataHome(const QString& path)
{
    qputenv("XDG_DATA_HOME", path.toUtf8());
}

class Rounds
{
  public:
    explicit Rounds(const QStringList& args)
        : m_random(Option(args, "--seed", "1").toUInt()), m_rig(args, 4, 3, kVersions),
          m_schemeHome(m_rig.Root + "/scheme-data")
    {
        for (const QString& file : m_rig.Files)
            save(file);
        // Two schemes of different sizes, so a pair of stores from both shows.
        useDataHome(m_schemeHome);
        for (int s = 0; s < 2; ++s) {
            WriteStores(m_rig.Sources.mid(0, s + 2), m_rig.Root + "/dst-" + kSchemes.at(s), kVersions);
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
            m_mostLeftovers = std::max(m_mostLeftovers, int(Leftovers(m_rig.Root).size()));
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
                    "%d copies and %d stores checked\ncrash leftovers: at most %d at once, %d after the "
                    "last clean run\nlost: %d\n",
                    m_round - 1, m_kinds[0], m_kinds[1], m_kinds[2], m_kills, m_exitKills, m_copies, m_stores,
                    m_mostLeftovers, m_finalLeftovers, int(m_lost.size()));
        for (const QString& line : m_lost)
            std::printf("  %s\n", qPrintable(line));
        return m_lost.isEmpty() && m_finalLeftovers == 0 ? 0 : 1;
    }

  private:
    void lose(const QString& what) { m_lost << QStringLiteral("round %1: %2").arg(m_round).arg(what); }
    void sleepUpTo(int ms) { QThread::msleep(quint64(m_random.bounded(ms + 1))); }

    // Atomically, as an editor saves: a copy must be one of the saves.
    void save(const QString& file)
    {
        const QByteArray bytes =
            Content(QStringLiteral("%1 #%2").arg(file).arg(++m_saves), m_random.bounded(1, 512 * 1024));
        m_history[file].insert(Digest(bytes));
        Save(Writer::Renamed, file, bytes);
    }

    void programRound(bool exit)
    {
        ++m_kinds[exit ? 1 : 0];
        useDataHome(m_rig.Env.dataHome());
        if (!m_rig.Start()) {
            lose("the program did not start: " + QString::fromUtf8(m_rig.Trace()));
            return;
        }
        QElapsedTimer clock;
        clock.start();
        const int writing = m_random.bounded(100, 1200);
        while (clock.elapsed() < writing) {
            save(m_rig.Files.at(m_random.bounded(int(m_rig.Files.size()))));
            sleepUpTo(80);
        }
        if (exit)
            m_rig.Signal(SIGTERM);
        sleepUpTo(exit ? 300 : 700);
        if (m_rig.Running()) {
            m_rig.Signal(SIGKILL);
            ++m_kills;
            m_exitKills += exit;
        }
        m_rig.WaitEnd(10000);
        checkCopies();
        checkStores({m_rig.Sources});
    }

    void schemeRound()
    {
        ++m_kinds[2];
        useDataHome(m_schemeHome);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--store-loop"});
        child.waitForStarted();
        QThread::msleep(quint64(m_random.bounded(20, 400)));
        if (child.state() == QProcess::Running) {
            child.kill(); // SIGKILL
            ++m_kills;
        }
        child.waitForFinished();
        // Scheme A has two associations with two destinations, B three with three.
        checkStores({m_rig.Sources.mid(0, 2), m_rig.Sources.mid(0, 3)});
    }

    void checkCopies()
    {
        for (const QString& copy : FilesBelow(m_rig.Destination)) {
            // dst/aN/fM.txt or dst/aN/~PrevSave-k/fM.txt
            const QStringList parts = copy.mid(m_rig.Destination.size() + 1).split(u'/');
            const QString source = m_rig.Root + "/src/" + parts.first() + u'/' + parts.last();
            ++m_copies;
            if (!m_history.value(source).contains(Digest(ReadFile(copy))))
                lose(QStringLiteral("%1 is no whole save of %2").arg(copy, source));
        }
    }

    void checkStores(const QList<QStringList>& expected)
    {
        ++m_stores;
        if (const QString problems = StoreProblems(expected); !problems.isEmpty())
            lose(problems);
    }

    // A last start must back every file up and, ending cleanly, leave no crash leftover.
    void finalRun()
    {
        useDataHome(m_rig.Env.dataHome());
        if (!m_rig.Start()) {
            lose(QStringLiteral("the program did not start for the last run"));
            return;
        }
        for (const QString& file : m_rig.Files)
            save(file);
        if (!QTest::qWaitFor([this] { return m_rig.Missed().isEmpty(); }, 30000))
            lose(QStringLiteral("the last saves were not all backed up"));
        if (!m_rig.EndsCleanly())
            lose(QStringLiteral("the last run did not end cleanly on SIGTERM"));
        checkCopies();
        checkStores({m_rig.Sources});
        // One whole scheme load finishes a pair of scheme stores that a kill cut off.
        useDataHome(m_schemeHome);
        QProcess::execute(QCoreApplication::applicationFilePath(), {"--store-loop", "--iterations", "1"});
        const QStringList leftovers = Leftovers(m_rig.Root);
        m_finalLeftovers = int(leftovers.size());
        for (const QString& path : leftovers)
            lose("left over: " + path);
    }

    QRandomGenerator m_random;
    Rig m_rig;
    const QString m_schemeHome;
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
        return storeLoop(Option(args, "--iterations", "-1").toLongLong());
    Rounds rounds(args);
    rounds.Run(Option(args, "--rounds", "20").toInt());
    return rounds.Report();
}
