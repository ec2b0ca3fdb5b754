#pragma once

#include <QString>

// One record of the recent-activity log.
struct clsRecent
{
    QString DateAndTime;
    QString SourcePath;
    QString SourceVolume;
    QString DestPath;
    QString DestVolume;
    QString Message;
};
