#pragma once

#include <QString>

// One destination folder of an association.
struct clsDestination
{
    QString Volume; // label expected on the destination's drive
    QString Source; // SourcePath of the owning association
    QString Path;   // full path of the destination folder

    bool operator==(const clsDestination&) const = default;
};
