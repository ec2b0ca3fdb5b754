#pragma once

#include <QString>

// One queued pop-up result. Paths as in clsRecent: exact, shown through
// FileNames::ForDisplay.
struct clsNotifier
{
    QString Source;
    QString Destination;
    QString Message;
};
