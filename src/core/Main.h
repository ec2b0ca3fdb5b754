#pragma once

#include "core/MainSteps.h"
#include "core/ProgramState.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QTextStream;
class SignalRouter;
class SingleInstance;

// The program's entry: the command line, the single-instance rule and the order
// of start-up. Its first half runs before any application object exists, so
// --help, --version, the hand-over to a running instance and the missing-display
// message all work without a display.
class Main
{
  public:
    struct CommandLine
    {
        enum class Request { Run, Help, Version };
        Request Action = Request::Run;
        bool NoWin = false; // start hidden, reachable from the tray only
    };

    explicit Main(const QStringList& arguments); // arguments[0] is the program
    ~Main();
    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;

    static CommandLine ParseCommandLine(const QStringList& arguments);

    // A value means: end the process now with that exit code.
    std::optional<int> BeforeApplication(QTextStream& out, QTextStream& err);
    // Needs the application object: start-up in order, then the event loop.
    int Exec(MainSteps& steps);

    ProgramState& State() { return m_state; }
    const CommandLine& Command() const { return m_command; }

    // This computer's name, up to its first NUL and at most 255 characters.
    static QString GetLocalNames();
    static bool HasDisplay();

    // SAVENOOK_TRACE=1 prints short state lines ("window shown", "window hidden",
    // "show requested", "started", "exit requested", "unloaded", ...) to stderr so
    // that tests running the real binary can follow it from outside.
    static bool Tracing();
    static void Trace(const QString& line);

  private:
    void Run(MainSteps& steps);

    QStringList m_arguments;
    CommandLine m_command;
    ProgramState m_state;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<SignalRouter> m_signals;
};
