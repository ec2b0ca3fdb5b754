#pragma once

#include <QString>

// The per-user folder that holds every store: $XDG_DATA_HOME/Savenook
// (normally ~/.local/share/Savenook).
QString DataFolder();

// Creates the data folder with every missing parent: on a fresh account even
// ~/.local/share may not exist yet. False when it cannot be made.
bool MakeDataFolder();

// The full path of a file directly inside the data folder.
QString DataFilePath(const QString& name);
