#pragma once

#include "engine/EngineContext.h"

#include <QString>
#include <functional>

// Makes the staged copy of one file (see FileCopier), retrying about once a
// second while the source or target is busy (access denied, or the source
// changing under the copy) until the busy time-out has passed since the first
// denial. Keeps BusyWaiting and BusyTimedOut for the rest of the program; both
// are clear again when it returns. The program's exit abandons the copy, even
// in the middle of a large file.
class BusyCopy
{
  public:
    enum class Outcome { Done, Failed, Abandoned };
    struct Result
    {
        Outcome Status = Outcome::Done;
        QString CopyError; // the failure's text; empty unless Failed
        QString Staged;    // the finished copy, to commit or discard; only when Done
    };

    static inline const QString TimedOutText = QStringLiteral("Error: File was busy and timed out");
    static inline const QString DiskFullText = QStringLiteral("Error: Disk is full");
    static inline const QString OtherText = QStringLiteral("Error occurred in copy");
    // Also for a folder the destination cannot make for the same reason.
    static inline const QString NameNotAllowedText = QStringLiteral("Error: Name not allowed at destination");

    // onFirstDenial runs once, when the wait begins. stillWanted is asked after
    // every pause (the interface ran meanwhile): false abandons the copy.
    static Result Stage(EngineContext& context, const QString& source, const QString& target,
                        const std::function<void()>& onFirstDenial, const std::function<bool()>& stillWanted);

    // The result text of a failure that is not worth waiting out.
    static QString TextOf(FileError error);
};
