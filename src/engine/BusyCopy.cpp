#include "engine/BusyCopy.h"

namespace {
BusyCopy::Result attempt(EngineContext& c, const QString& source, const QString& target,
                         const std::function<void()>& onFirstDenial, const std::function<bool()>& stillWanted)
{
    const qint64 timeoutMs = qRound64(c.Opts.BusyTimeout * 1000);
    // A long copy lets the interface run between its chunks.
    const auto pump = [&c] { c.Pump.ProcessPendingMessages(); };
    bool waiting = false;
    qint64 firstDenial = 0;
    for (;;) {
        switch (c.Copier.Copy(source, target, pump)) {
        case CopyError::None:
            return {BusyCopy::Outcome::Done, QString()};
        case CopyError::DiskFull:
            return {BusyCopy::Outcome::Failed, BusyCopy::DiskFullText};
        case CopyError::Other:
            return {BusyCopy::Outcome::Failed, BusyCopy::OtherText};
        case CopyError::NameNotAllowed:
            return {BusyCopy::Outcome::Failed, BusyCopy::NameNotAllowedText};
        case CopyError::AccessDenied:
        case CopyError::SourceChanged: // still being written: as busy as a locked file
            break;
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
                return {BusyCopy::Outcome::Failed, BusyCopy::TimedOutText};
        }
        c.Wait.Sleep(1000);
        c.Pump.ProcessPendingMessages();
        if (stillWanted && !stillWanted())
            return {BusyCopy::Outcome::Abandoned, QString()};
    }
}
} // namespace

BusyCopy::Result BusyCopy::Copy(EngineContext& context, const QString& source, const QString& target,
                                const std::function<void()>& onFirstDenial,
                                const std::function<bool()>& stillWanted)
{
    const Result result = attempt(context, source, target, onFirstDenial, stillWanted);
    // Every finished copy ends the retry episode, whatever its outcome.
    context.State.BusyWaiting = false;
    context.State.BusyTimedOut = false;
    return result;
}
