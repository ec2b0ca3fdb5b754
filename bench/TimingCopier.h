#pragma once

#include "platform/LinuxFileCopier.h"

#include <QElapsedTimer>

// The real copier, noting when the copy of the measured file is in place.
class TimingCopier : public FileCopier
{
  public:
    LinuxFileCopier Real;
    QString Target;
    qint64 DoneAt = -1;
    QElapsedTimer* Clock = nullptr;

    FileResult Stage(const QString& source, const QString& target, const std::function<bool()>& keepGoing,
                     QString& staged) override
    {
        return Real.Stage(source, target, keepGoing, staged);
    }
    FileResult Commit(const QString& staged, const QString& target,
                      const std::function<bool()>& keepGoing) override
    {
        const FileResult result = Real.Commit(staged, target, keepGoing);
        if (target == Target && result)
            DoneAt = Clock->nsecsElapsed();
        return result;
    }
    void Discard(const QString& staged) override { Real.Discard(staged); }
    FileSystem& Files() override { return Real.Files(); }
};
