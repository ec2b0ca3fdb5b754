#pragma once

#include "support/TellingCopier.h"

#include <QElapsedTimer>

// The real copier, noting when the copy of the measured file is in place.
class TimingCopier : public TellingCopier
{
  public:
    QString Target;
    qint64 DoneAt = -1;
    QElapsedTimer* Clock = nullptr;

    TimingCopier()
    {
        OnCommit = [this](const QString& target) {
            if (target == Target)
                DoneAt = Clock->nsecsElapsed();
        };
    }
};
