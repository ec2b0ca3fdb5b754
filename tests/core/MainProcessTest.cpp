// The real program as child processes: command line, single instance and exit, as a user meets them.
#include "core/Main.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStartTimeoutMs = 20000;

// Output goes to a file, so that nobody need drain a pipe while the child runs.
struct Child
{
    Child(const QString& file, QProcess::ProcessChannel channel) : output(file)
    {
        if (channel == QProcess::StandardError)
            process.setStandardErrorFile(file);
        else
            process.setStandardOutputFile(file);
    }

    QByteArray Output() const { return ReadFile(output); }

    testing::AssertionResult Has(const QByteArray& text, int times = 1) const
    {
        const QByteArray all = Output();
        return (all.count(text) >= times ? testing::AssertionSuccess() : testing::AssertionFailure())
               << "the output:\n"
               << all.toStdString();
    }

    testing::AssertionResult WaitFor(const QByteArray& text, int times = 1, int timeoutMs = kStartTimeoutMs)
    {
        const bool timedOut = !QTest::qWaitFor([&] { return Has(text, times) || !Running(); }, timeoutMs);
        return Has(text, times) << (timedOut ? "(timed out)" : "");
    }

    testing::AssertionResult WaitForTrace(const QByteArray& line, int timeoutMs = kStartTimeoutMs)
    {
        return WaitFor("savenook: " + line + "\n", 1, timeoutMs);
    }

    // Without an event loop QProcess learns of an exit only inside a wait.
    bool Running() { return !process.waitForFinished(0) && process.state() != QProcess::NotRunning; }

    bool Finish() { return process.waitForFinished(kStartTimeoutMs); }

    // A child that never started has id 0, which would signal this whole process group.
    void Signal(int number)
    {
        if (process.processId() > 0)
            ::kill(static_cast<pid_t>(process.processId()), number);
    }

    QProcess process;
    const QString output;
};

class MainProcessTest : public ::testing::Test
{
  protected:
    MainProcessTest()
    {
        QDir().mkdir(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Private folders, the offscreen screen unless display is false, and the trace on.
    QProcessEnvironment Environment(bool display = true, const QString& dataHome = {}) const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            e.remove(name);
        if (display)
            e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.isEmpty() ? env.dataHome() : dataHome);
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), env.configHome());
        e.insert(QStringLiteral("HOME"), env.home());
        e.insert(tmp.isEmpty() ? QStringLiteral("XDG_RUNTIME_DIR") : QStringLiteral("TMPDIR"),
                 tmp.isEmpty() ? runtime : tmp);
        e.insert(QStringLiteral("SAVENOOK_TRACE"), QStringLiteral("1"));
        return e;
    }

    // The program named by SAVENOOK_BINARY, its trace in a file of its own.
    std::unique_ptr<Child> Start(const QStringList& arguments = {}, const QProcessEnvironment& e = {})
    {
        auto child = std::make_unique<Child>(env.root() + QStringLiteral("/trace%1").arg(++started),
                                             QProcess::StandardError);
        child->process.setProcessEnvironment(e.isEmpty() ? Environment() : e);
        child->process.start(qEnvironmentVariable("SAVENOOK_BINARY"), arguments);
        EXPECT_TRUE(child->process.waitForStarted(kStartTimeoutMs))
            << child->process.errorString().toStdString();
        return child;
    }

    std::unique_ptr<Child> StartAndWait(const QStringList& arguments = {})
    {
        auto child = Start(arguments);
        EXPECT_TRUE(child->WaitForTrace("started"));
        return child;
    }

    // A start that meets a running instance hands over to it and ends at once, successfully.
    std::unique_ptr<Child> StartHandingOver(const QProcessEnvironment& e = {})
    {
        auto child = Start({}, e);
        EXPECT_TRUE(child->process.waitForFinished(5000)) << "a start that hands over must end quickly";
        EXPECT_EQ(child->process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child->process.exitCode(), 0);
        EXPECT_TRUE(child->Has("handed over"));
        return child;
    }

    // The worked example: one association with two destinations, and the paused flag.
    void WriteExampleStores(const char* paused)
    {
        const QString folder = env.dataFolder();
        const QString source = env.root() + "/Work";
        // Present, or building the tree would disable it and the rewrite would differ.
        ASSERT_TRUE(QDir().mkpath(source));
        WriteFile(folder + "/usrdatab",
                  CrLf({source, "DATA", "05/12/2026 10:00:00", "Never", "05/12/2026 10:05:00", "1", "1", "1",
                        "3", "1", "0", "0", "1"}));
        WriteFile(folder + "/usrdatad", CrLf({env.root() + "/Copies/Work", source, "BACKUP1",
                                              env.root() + "/Usb/Work", source, "USB"}));
        WriteFile(folder + "/pprefs", CrLf({QString::fromLatin1(paused)}));
    }

    // Emptied after loading, so that only a rewrite can bring the content back.
    std::map<QString, QByteArray> EmptyStores() const
    {
        std::map<QString, QByteArray> before;
        for (const char* name : {"usrdatab", "usrdatad", "pprefs"}) {
            const QString path = env.dataFolder() + "/" + name;
            before[path] = ReadFile(path);
            QFile::resize(path, 0);
        }
        return before;
    }

    static void ExpectRewritten(const std::map<QString, QByteArray>& before)
    {
        for (const auto& [path, bytes] : before)
            EXPECT_EQ(ReadFile(path), bytes) << path.toStdString();
    }

    // Ended by itself, the exit having run from its request to its end.
    static void ExpectOrderlyExit(Child& child)
    {
        ASSERT_TRUE(child.Finish()) << child.Output().toStdString();
        EXPECT_EQ(child.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.process.exitCode(), 0);
        const QByteArray trace = child.Output();
        const auto requested = trace.indexOf("savenook: exit requested\n");
        EXPECT_GE(requested, 0) << trace.toStdString();
        EXPECT_GT(trace.indexOf("savenook: unloaded\n"), requested) << trace.toStdString();
    }

    TestEnvironment env;
    const QString runtime = env.root() + "/runtime";
    QString tmp; // when set, TMPDIR instead of XDG_RUNTIME_DIR
    int started = 0;
};

TEST(MainCommandLineTest, WordsAreFoundAnywhereInAnyCaseButNotInTheProgramPath)
{
    using Request = Main::CommandLine::Request;
    const std::tuple<QStringList, Request, bool> rows[] = {
        {{"savenook"}, Request::Run, false},
        {{"savenook", "nowin"}, Request::Run, true},
        {{"savenook", "-NOWINDOW"}, Request::Run, true},
        {{"savenook", "x", "/NoWin"}, Request::Run, true},
        {{"/home/nowinski/savenook"}, Request::Run, false},
        {{"savenook", "now", "in"}, Request::Run, false},
        {{"savenook", "nowin", "--help"}, Request::Help, true},
        {{"savenook", "--version"}, Request::Version, false},
        {{"savenook", "--versions", "-help"}, Request::Run, false}};
    for (const auto& [arguments, action, noWin] : rows) {
        const Main::CommandLine command = Main::ParseCommandLine(arguments);
        EXPECT_EQ(command.Action, action) << arguments.join(' ').toStdString();
        EXPECT_EQ(command.NoWin, noWin) << arguments.join(' ').toStdString();
    }
}

// Without a display only --help and --version answer; a start prints one clear line.
TEST_F(MainProcessTest, WithoutDisplayHelpAndVersionAnswerAndAStartFailsClearly)
{
    // What is expected is on stdout when the run succeeds, else in the one line of the trace.
    const std::tuple<QStringList, bool, const char*> rows[] = {
        {{"--help"}, true, "Usage: savenook [nowin]"},
        {{"--version"}, true, "Savenook " SAVENOOK_VERSION "\n"},
        {{}, false, "no display"}};
    for (const auto& [arguments, succeeds, expected] : rows) {
        SCOPED_TRACE(expected);
        auto child = Start(arguments, Environment(false));
        ASSERT_TRUE(child->Finish());
        EXPECT_EQ(child->process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child->process.exitCode() == 0, succeeds);
        if (succeeds) {
            EXPECT_TRUE(child->process.readAllStandardOutput().contains(expected));
        } else {
            EXPECT_EQ(child->Output().count('\n'), 1) << child->Output().toStdString();
            EXPECT_TRUE(child->Has(expected));
            EXPECT_TRUE(child->Has("xvfb-run -a savenook"));
        }
    }
    EXPECT_FALSE(QFileInfo::exists(env.dataFolder()));
}

// Without XDG_RUNTIME_DIR the hand-over goes through a private folder below TMPDIR, also from a text
// console; the second start loads and writes nothing.
TEST_F(MainProcessTest, SecondStartShowsTheFirstWindowThroughAPrivateFolderAndWritesNothing)
{
    tmp = env.root() + "/tmp";
    const QString folder = tmp + QStringLiteral("/savenook-%1").arg(::getuid());
    ASSERT_TRUE(QDir().mkpath(tmp));
    const QString otherData = env.root() + "/second-data";
    auto first = StartAndWait({QStringLiteral("nowin")});
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, QFileDevice::Permissions())
        << "only the owner may enter";
    EXPECT_FALSE(StartHandingOver(Environment(true, otherData))->Has("window shown"));
    EXPECT_TRUE(first->WaitForTrace("show requested"));
    StartHandingOver(Environment(false, otherData));
    EXPECT_FALSE(QFileInfo::exists(otherData));
    first->Signal(SIGTERM);
    ASSERT_TRUE(first->Finish());

    // A folder of that name that others can write to is not trusted.
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
    auto refused = Start();
    ASSERT_TRUE(refused->Finish());
    EXPECT_NE(refused->process.exitCode(), 0);
    EXPECT_TRUE(refused->Has("not a private folder"));
}

// SIGKILL leaves the socket behind, and a kill during a start its lock. Of the starts that follow at the
// same moment exactly one runs, the others hand over to it.
TEST_F(MainProcessTest, LeftoversOfAKilledInstanceAndStartsAtTheSameMomentLeaveExactlyOne)
{
    auto killed = StartAndWait();
    const QByteArray deadPid = QByteArray::number(killed->process.processId());
    killed->Signal(SIGKILL);
    killed.reset();
    ASSERT_TRUE(QFileInfo::exists(runtime + "/savenook.socket"));
    WriteFile(runtime + "/savenook.lock", deadPid + "\nsavenook\n\n");

    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 5; ++i)
        children.push_back(Start({QStringLiteral("nowin")}));
    const auto isRunning = [](auto& child) { return child->Running(); };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return std::ranges::count_if(children, isRunning) == 1; }, kStartTimeoutMs));
    for (const auto& child : children) {
        if (child->Running())
            EXPECT_TRUE(child->WaitForTrace("started") && child->WaitForTrace("show requested"));
        else
            EXPECT_TRUE(child->process.exitCode() == 0 && child->Has("handed over"));
    }
}

TEST_F(MainProcessTest, AStartDuringAnExitRunsOnceTheExitHasEnded)
{
    // Held still right after its exit began, so the next start surely meets an
    // instance that is ending (unheld, it may be gone before the next start).
    std::unique_ptr<Child> ending;
    for (int attempt = 0; attempt < 3 && !ending; ++attempt) {
        auto candidate = StartAndWait();
        candidate->Signal(SIGTERM);
        ASSERT_TRUE(candidate->WaitForTrace("exit requested"));
        candidate->Signal(SIGSTOP);
        if (candidate->Running())
            ending = std::move(candidate);
    }
    ASSERT_TRUE(ending) << "the exit always ended before it could be held";
    auto next = Start({QStringLiteral("nowin")});
    EXPECT_FALSE(next->WaitForTrace("started", 500)) << "started beside an instance still ending";

    ending->Signal(SIGCONT);
    ASSERT_TRUE(next->WaitForTrace("started")); // a start that hands over never says so
    ASSERT_TRUE(ending->Finish());
    EXPECT_EQ(ending->process.exitCode(), 0);
}

// A hidden start (nowin in any case) also runs the exit to its end.
TEST_F(MainProcessTest, SignalsRunTheExitAndRewriteTheStores)
{
    const std::tuple<int, const char*, QStringList> rows[] = {
        {SIGTERM, "0", {}}, {SIGINT, "1", {"--some", "/NoWin"}}, {SIGHUP, "0", {}}};
    for (const auto& [signal, paused, arguments] : rows) {
        SCOPED_TRACE(testing::Message() << "signal " << signal << ", paused " << paused);
        WriteExampleStores(paused);
        auto child = StartAndWait(arguments);
        // The offscreen platform has no tray: a hidden start is shown, and the trace says why.
        EXPECT_TRUE(child->Has("savenook: window shown\n"));
        EXPECT_EQ(child->Output().contains("savenook: no tray: window shown\n"), !arguments.isEmpty())
            << child->Output().toStdString();
        const auto before = EmptyStores();
        child->Signal(signal);
        ExpectOrderlyExit(*child);
        ExpectRewritten(before);
    }
}

#ifdef SAVENOOK_SESSION_MANAGER
// Session managers ask every client to save right after it registers and at each
// checkpoint; only the end of the session may end the program, and in order.
TEST_F(MainProcessTest, SessionSaveRequestsOnlySaveAndTheSessionsEndExitsInOrder)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    Child server(env.root() + "/display", QProcess::StandardOutput);
    server.process.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    ASSERT_TRUE(server.WaitFor("\n")) << "Xvfb did not start";
    Child manager(env.root() + "/manager", QProcess::StandardOutput);
    manager.process.start(QStringLiteral(SAVENOOK_SESSION_MANAGER), QStringList());
    ASSERT_TRUE(manager.WaitFor("\n"));
    const QByteArray listening = manager.Output().split('\n').first();

    WriteExampleStores("1");
    QProcessEnvironment e = Environment(false);
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    e.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(server.Output().trimmed()));
    e.insert(QStringLiteral("SESSION_MANAGER"),
             QString::fromLatin1(listening.mid(QByteArray("listening ").size())));
    auto child = Start({QStringLiteral("nowin")}, e);
    ASSERT_TRUE(child->WaitForTrace("started"));
    ASSERT_TRUE(manager.WaitFor("registered")) << "the program never joined the session";
    // Started at log-on by its start-up entry, not by the session a second time
    // (3 is XSMP's "restart never").
    EXPECT_TRUE(manager.WaitFor("restart hint 3\n"));
    ASSERT_TRUE(manager.WaitFor("save done")) << "the first save request went unanswered";

    // A checkpoint: saved, and still running well after it.
    const auto before = EmptyStores();
    manager.process.write("save\n");
    manager.process.waitForBytesWritten(5000);
    ASSERT_TRUE(manager.WaitFor("save done", 2));
    ASSERT_TRUE(child->WaitForTrace("session save"));
    EXPECT_FALSE(child->WaitForTrace("exit requested", 1500));
    ASSERT_TRUE(child->Running()) << child->Output().toStdString();
    ExpectRewritten(before);

    // The session's end runs the ordinary exit, which saves once more.
    EmptyStores();
    manager.process.write("die\n");
    manager.process.waitForBytesWritten(5000);
    ExpectOrderlyExit(*child);
    ExpectRewritten(before);
}
#endif

} // namespace
