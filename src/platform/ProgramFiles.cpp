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
    for (const QString& candidate :
         {QDir::cleanPath(folder.absoluteFilePath(QStringLiteral("../") + kSubFolder + name)),
          QDir::cleanPath(folder.absoluteFilePath(kSubFolder + name))}) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("savenook/") + name);
}

QString ProgramFiles::Executable()
{
    return Executable(QCoreApplication::applicationFilePath(), qEnvironmentVariable("PATH"));
}

QString ProgramFiles::Executable(const QString& runningExecutable, const QString& pathVariable)
{
    const QString onPath =
        QStandardPaths::findExecutable(QStringLiteral("savenook"), pathVariable.split(QLatin1Char(':')));
    // Only an installed tree counts: its share/savenook lies beside its bin folder.
    if (!onPath.isEmpty() &&
        QFileInfo(QFileInfo(onPath).absolutePath() + QStringLiteral("/../") + kSubFolder).isDir())
        return QFileInfo(onPath).absoluteFilePath();
    return runningExecutable;
}
