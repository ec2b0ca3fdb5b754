#include "core/DataFolder.h"

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
    return QDir().mkpath(folder);
}

QString DataFilePath(const QString& name)
{
    return DataFolder() + u'/' + name;
}
