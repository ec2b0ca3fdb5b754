#include "ui/dialogs/DestinationLoop.h"

#include "core/clsBackup.h"
#include "engine/DestinationFolder.h"
#include "platform/FilePath.h"

#include <QDir>

QString DestinationLoop::Reason(const clsBackup& association, const QString& destinationPath,
                                const Drives& drives)
{
    // The engine decides per file; a file directly in a folder source (or the
    // file source itself) meets the same rule as every other file would.
    const QString file = association.Folder ? FilePath::Join(association.SourcePath, QStringLiteral("x"))
                                            : association.SourcePath;
    const QString target =
        DestinationFolder::Compute(file, association.SourcePath, association.Folder, destinationPath, drives);
    const QString holder = FilePath::Parent(file);
    const QString tail =
        QStringLiteral("Savenook would refuse every copy to it, each save ending in the error "
                       "\"Would save into recursive source folder\".");
    if (QDir::cleanPath(target) == QDir::cleanPath(holder))
        return QStringLiteral("Copies made to the folder \"%1\" would go into \"%2\", the folder of the "
                              "source's own files, over the very files they copy. %3")
            .arg(destinationPath, holder, tail);
    if (association.Folder && association.Recursive &&
        FilePath::IsSameOrBelow(QDir::cleanPath(target), QDir::cleanPath(association.SourcePath)))
        return QStringLiteral("The folder \"%1\" lies inside the source folder \"%2\", whose sub-folders are "
                              "backed up too: every copy saved there would count as a new change of the "
                              "source. %3")
            .arg(destinationPath, association.SourcePath, tail);
    return QString();
}
