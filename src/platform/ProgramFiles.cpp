#include "platform/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString kSubFolder = QStringLiteral("share/savenook/");
}

QString ProgramFiles::Locate(const QString& name)
{
    return Locate(name, QCoreApplication::applicationDirPath());
}

QString ProgramFiles::Locate(const QString& name, const QString& executableFolder)
{
    const QDir folder(executableFolder);
    // Lexical "..": the executable's folder comes canonical from the kernel.
    for (const QString& candidate : {QDir::cleanPath(folder.absoluteFilePath(QStringLiteral("../") + kSubFolder + name)),
                                     QDir::cleanPath(folder.absoluteFilePath(kSubFolder + name))}) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("savenook/") + name);
}
