#pragma once

#include "core/ProgramState.h"

#include <QString>
#include <QStringList>

// Schemes: named copies of the two association stores in the "sch" folder of
// the data folder. A scheme file N holds usrdatab, its companion "N.dst" usrdatad.
namespace SchemeFiles {

QString Folder();
// Creates the data folder and the scheme folder when missing.
bool MakeFolder();

// The scheme file name for a name typed by the user: trimmed, with ".sch"
// appended unless it already ends so. Empty when the name is empty or could
// leave the scheme folder or break a store line (a separator, a line break,
// one of the characters the name box drops).
QString FileName(const QString& typedName);
// True when fileName is a plain name inside the scheme folder.
bool IsSafeFileName(const QString& fileName);

// The scheme files in the folder, sorted by name.
QStringList List();
// Both the scheme file and its companion exist.
bool Exists(const QString& fileName);
bool Delete(const QString& fileName);

// Writes the current stores, then copies them to the scheme's two files, which
// are replaced together (StoreFile::WriteTogether). False, with a reason, when
// anything failed; the scheme and the stores are then whole, old or new.
bool Save(ProgramState& state, const QString& fileName, QString* error = nullptr);

enum class LoadResult { Loaded, Missing, Failed };
// Replaces usrdatab and usrdatad by the scheme's two files, together: a failure
// or a crash never leaves one store from the scheme beside the other from before.
LoadResult Load(const QString& fileName, QString* error = nullptr);

} // namespace SchemeFiles
