#pragma once

#include <QString>

// One queued pop-up result.
struct clsNotifier
{
    QString Source;
    QString Destination;
    QString Message;
};
