#include "core/DataFolder.h"

#include "platform/DurableFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString DataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Savenook");
}

bool MakeDataFolder()
{
    const QString folder = DataFolder();
    if (QFileInfo(folder).isDir())
        return true;
    if (!QDir().mkpath(folder))
        return false;
    // The new folder's name must last too, or a crash could lose the first store written in it.
    // Best effort: the folder is there either way, and the store's own flush reports its failures.
    DurableFile::SyncFolder(QFileInfo(folder).absolutePath());
    return true;
}

QString DataFilePath(const QString& name)
{
    return DataFolder() + u'/' + name;
}
