#pragma once

#include <QString>
#include <QtGlobal>

// One association: a backed-up source file or folder with its settings.
// Its destinations are the entries of the program-wide colDestinations whose
// Source equals SourcePath.
struct clsBackup
{
    QString SourcePath;     // full path of the source file or folder
    bool Folder = false;    // the source is a folder
    bool Recursive = false; // a folder source includes its sub-folders
    QString DateCreated;
    QString Volume; // accepted source volume names, NUL-separated
    bool NotifyOnError = false;
    bool NotifyOnSuccess = false;
    bool Enabled = false;
    QString DateLastModified; // "Never" until the settings are first changed
    QString DateLastActivity; // "Never" until the first backup attempt
    bool KeepBackup = false;  // previous versions are kept
    qint16 Versions = 0;
    bool CopyHidden = false;

    bool operator==(const clsBackup&) const = default;
};
