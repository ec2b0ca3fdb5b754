#pragma once

#include "platform/LinuxFileCopier.h"

#include <functional>

// The product's copier, telling each copy put in place.
class TellingCopier : public FileCopier
{
  public:
    LinuxFileCopier Real;
    std::function<void(const QString& target)> OnCommit;

    FileResult Stage(const QString& source, const QString& target, const std::function<bool()>& keepGoing,
                     QString& staged) override
    {
        return Real.Stage(source, target, keepGoing, staged);
    }
    FileResult Commit(const QString& staged, const QString& target,
                      const std::function<bool()>& keepGoing) override
    {
        const FileResult result = Real.Commit(staged, target, keepGoing);
        if (result && OnCommit)
            OnCommit(target);
        return result;
    }
    void Discard(const QString& staged) override { Real.Discard(staged); }
    FileSystem& Files() override { return Real.Files(); }
};
