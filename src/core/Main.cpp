#include "core/Main.h"

#include "core/Stores.h"
#include "platform/SignalRouter.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>
#include <QTextStream>

#include <cstdio>

namespace {
const char kUsage[] = "Usage: savenook [nowin]\n"
                      "Backs up your files the moment you save them.\n"
                      "\n"
                      "  nowin      start hidden, reachable from the notification area only\n"
                      "             (any letter case, anywhere on the command line)\n"
                      "  --help     show this help and end\n"
                      "  --version  show the version and end\n"
                      "\n"
                      "Only one Savenook runs per user: starting it again shows the running one's window.\n";
} // namespace

Main::Main(const QStringList& arguments) : m_arguments(arguments), m_command(ParseCommandLine(arguments)) {}

Main::~Main() = default;

Main::CommandLine Main::ParseCommandLine(const QStringList& arguments)
{
    CommandLine command;
    const QStringList words = arguments.mid(1);
    if (words.contains(QStringLiteral("--help")))
        command.Action = CommandLine::Request::Help;
    else if (words.contains(QStringLiteral("--version")))
        command.Action = CommandLine::Request::Version;
    // A plain substring test of the whole line, as the startup entry has always
    // relied on: "/NOWIN" and "-nowin" match too. The program's own path is not
    // part of it, or a folder named like "nowinski" would hide the window.
    command.NoWin = words.join(QLatin1Char(' ')).contains(QLatin1String("nowin"), Qt::CaseInsensitive);
    return command;
}

std::optional<int> Main::BeforeApplication(QTextStream& out, QTextStream& err)
{
    switch (m_command.Action) {
    case CommandLine::Request::Help:
        out << kUsage;
        out.flush();
        return 0;
    case CommandLine::Request::Version:
        out << "Savenook " << SAVENOOK_VERSION << '\n';
        out.flush();
        return 0;
    case CommandLine::Request::Run:
        break;
    }

    QString error;
    const QString folder = SingleInstance::RuntimeFolder(&error);
    if (folder.isEmpty()) {
        err << "Savenook: " << error << '\n';
        err.flush();
        return 1;
    }
    m_instance = std::make_unique<SingleInstance>(folder);
    switch (m_instance->ClaimOrHandOver()) {
    case SingleInstance::Claim::HandedOver:
        Trace(QStringLiteral("handed over"));
        return 0;
    case SingleInstance::Claim::Failed:
        err << "Savenook: " << m_instance->ErrorText() << '\n';
        err.flush();
        return 1;
    case SingleInstance::Claim::First:
        break;
    }

    // After the hand-over: a second start from a text console still reaches the
    // running instance; only a first start needs a screen.
    if (!HasDisplay()) {
        err << "Savenook: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
               "to run it on a virtual screen, start it as: xvfb-run -a savenook\n";
        err.flush();
        return 1;
    }
    return std::nullopt;
}

int Main::Exec(MainSteps& steps)
{
    Run(steps);
    const int code = QCoreApplication::exec();
    // Their notifiers belong to the application object, which ends after us.
    m_signals.reset();
    m_instance.reset();
    return code;
}

void Main::Run(MainSteps& steps)
{
    if (m_instance) {
        if (!m_instance->Listen())
            std::fprintf(stderr, "Savenook: %s; a later start will not find this one\n",
                         qPrintable(m_instance->ErrorText()));
        QObject::connect(m_instance.get(), &SingleInstance::ShowRequested, [&steps] {
            Trace(QStringLiteral("show requested"));
            steps.ShowMainWindowNormal();
        });
    }
    steps.SetExitStartedHandler([this] {
        if (m_instance)
            m_instance->Retire();
    });
    m_signals = std::make_unique<SignalRouter>();
    if (m_signals->Install()) {
        QObject::connect(m_signals.get(), &SignalRouter::Signalled, [&steps](int number) {
            Trace(QStringLiteral("signal %1").arg(number));
            steps.ExitRequested();
        });
    } else {
        std::fprintf(stderr, "Savenook: %s; signals end the program without saving\n",
                     qPrintable(m_signals->ErrorText()));
    }

    QDir::setCurrent(QCoreApplication::applicationDirPath());
    m_state.ComputerName = GetLocalNames();
    steps.LoadOptions();
    steps.LoadMainWindow(m_command.NoWin);
    steps.RestorePausedState(LoadPausedState());
    steps.StartWatching();
    steps.StartupFinished();
    Trace(QStringLiteral("started"));
}

QString Main::GetLocalNames()
{
    QString name = QSysInfo::machineHostName();
    const qsizetype nul = name.indexOf(QChar(0));
    if (nul >= 0)
        name.truncate(nul);
    return name.left(255);
}

bool Main::HasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

bool Main::Tracing()
{
    static const bool on = qEnvironmentVariableIntValue("SAVENOOK_TRACE") == 1;
    return on;
}

void Main::Trace(const QString& line)
{
    if (Tracing()) {
        std::fprintf(stderr, "savenook: %s\n", qPrintable(line));
        std::fflush(stderr);
    }
}
