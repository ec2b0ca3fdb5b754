#include "engine/BusyCopy.h"

namespace {
BusyCopy::Result attempt(EngineContext& c, const QString& source, const QString& target,
                         const std::function<void()>& onFirstDenial, const std::function<bool()>& stillWanted)
{
    const qint64 timeoutMs = qRound64(c.Opts.BusyTimeout * 1000);
    // A long copy lets the interface run between its chunks, and stops at once
    // when that starts the exit: the old copy stays, the exit need not wait.
    const auto keepGoing = [&c] {
        c.Pump.ProcessPendingMessages();
        return !c.State.Exiting;
    };
    bool waiting = false;
    qint64 firstDenial = 0;
    for (;;) {
        QString staged;
        const FileResult result = c.Copier.Stage(source, target, keepGoing, staged);
        switch (result.Error) {
        case FileError::None:
            return {BusyCopy::Outcome::Done, QString(), staged};
        case FileError::Abandoned:
            return {BusyCopy::Outcome::Abandoned, QString(), QString()};
        case FileError::AccessDenied:
        case FileError::SourceChanged: // still being written: as busy as a locked file
            break;
        default:
            return {BusyCopy::Outcome::Failed, BusyCopy::TextOf(result.Error), QString()};
        }
        if (!waiting) {
            waiting = true;
            c.State.BusyWaiting = true;
            c.State.BusyTimedOut = false;
            // Measured on the clock rather than by a timer, so a time-out of any
            // length works.
            firstDenial = c.Wait.ElapsedMs();
            if (onFirstDenial)
                onFirstDenial();
        } else {
            if (c.Wait.ElapsedMs() - firstDenial >= timeoutMs)
                c.State.BusyTimedOut = true;
            if (c.State.BusyTimedOut)
                return {BusyCopy::Outcome::Failed, BusyCopy::TimedOutText, QString()};
        }
        c.Wait.Sleep(1000);
        c.Pump.ProcessPendingMessages();
        if (stillWanted && !stillWanted())
            return {BusyCopy::Outcome::Abandoned, QString(), QString()};
    }
}
} // namespace

QString BusyCopy::TextOf(FileError error)
{
    switch (error) {
    case FileError::DiskFull:
        return DiskFullText;
    case FileError::NameNotAllowed:
        return NameNotAllowedText;
    default:
        return OtherText;
    }
}

BusyCopy::Result BusyCopy::Stage(EngineContext& context, const QString& source, const QString& target,
                                 const std::function<void()>& onFirstDenial,
                                 const std::function<bool()>& stillWanted)
{
    const Result result = attempt(context, source, target, onFirstDenial, stillWanted);
    // Every finished copy ends the retry episode, whatever its outcome.
    context.State.BusyWaiting = false;
    context.State.BusyTimedOut = false;
    return result;
}
