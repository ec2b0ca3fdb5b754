#pragma once

#include "platform/FileCopier.h"

#include <QFileDevice>
#include <QString>
#include <functional>

// Keeps the copy that a new backup is about to replace as the newest previous
// version: folder + "/" + baseName + "-1" holds it, "-2" the one before, and so on
// up to the association's version count.
class VersionRotation
{
  public:
    struct Result
    {
        bool NewCopy = false;                // no file of that name in the folder: nothing was due
        bool Stored = false;                 // the replaced copy now sits in version folder 1
        bool Undone = false;                 // commit said no: every version is back as it was
        FileResult Failure;                  // the step that went wrong; every version is as it was
        QFileDevice::Permissions Attributes; // the replaced copy's, when it existed

        bool Failed() const { return !Failure.Ok(); }
    };

    // betweenChunks runs during the (rare) fallback copies, see FileCopier.
    // commit puts the new copy in place once the versions have moved; when it
    // fails, the versions move back, so a copy that never arrived costs none.
    static Result Rotate(const QString& folder, const QString& fileName, const QString& baseName,
                         int versions, FileCopier& copier, const std::function<void()>& betweenChunks = {},
                         const std::function<bool()>& commit = {});

    // A file's permission bits without Qt's "current user" flags, which say what
    // this process may do (everything, for root) rather than what the file allows.
    static QFileDevice::Permissions ModeOf(const QString& path);

    // folder + "/" + baseName + "-" + k
    static QString VersionFolder(const QString& folder, const QString& baseName, int k);
};
