#pragma once

#include <QString>

// One record of the recent-activity log. Paths are kept exact: a name that is
// not UTF-8 holds FileNames escapes, shown to a person through FileNames::ForDisplay.
struct clsRecent
{
    QString DateAndTime;
    QString SourcePath;
    QString SourceVolume;
    QString DestPath;
    QString DestVolume;
    QString Message;
};
