#pragma once

#include "platform/Drives.h"

#include <QString>

struct clsBackup;

// Whether backing up an association into a destination folder could never
// work because each copy would land where the engine refuses it as a loop: in
// the folder that holds the source, or inside a recursive source folder.
namespace DestinationLoop {
// The reason in words, for the user; empty when the destination is fine.
QString Reason(const clsBackup& association, const QString& destinationPath, const Drives& drives);
} // namespace DestinationLoop
