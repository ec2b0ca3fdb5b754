#include "core/SchemeFiles.h"

#include "core/DataFolder.h"
#include "core/StoreFile.h"
#include "core/Stores.h"
#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kExtension = QStringLiteral(".sch");
const QString kCompanion = QStringLiteral(".dst");
const QString kBackupsStore = QStringLiteral("usrdatab");
const QString kDestinationsStore = QStringLiteral("usrdatad");
// The characters the name box drops as they are typed; pasted text must not bring them in either.
const QString kForbidden = QStringLiteral("\"*/:<>?\\|");

QString schemePath(const QString& fileName)
{
    return SchemeFiles::Folder() + u'/' + fileName;
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool readAll(const QString& path, QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    return true;
}

// Both files of a pair as one: a pair from two different saves would tie one
// set of associations to another's destinations.
bool replacePair(const QString& sourceA, const QString& nameA, const QString& sourceB, const QString& nameB,
                 QString* error)
{
    QByteArray a;
    QByteArray b;
    return readAll(sourceA, a, error) && readAll(sourceB, b, error) &&
           StoreFile::WriteTogether({{nameA, a}, {nameB, b}}, error);
}

} // namespace

namespace SchemeFiles {

QString Folder()
{
    return DataFilePath(QStringLiteral("sch"));
}

bool MakeFolder()
{
    return MakeDataFolder() && QDir().mkpath(Folder());
}

bool IsSafeFileName(const QString& fileName)
{
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return false;
    for (const QChar c : fileName)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || kForbidden.contains(c))
            return false;
    return true;
}

QString FileName(const QString& typedName)
{
    const QString name = typedName.trimmed();
    if (name.isEmpty())
        return {};
    const QString fileName = name.endsWith(kExtension) ? name : name + kExtension;
    return IsSafeFileName(fileName) ? fileName : QString();
}

QStringList List()
{
    return QDir(Folder()).entryList({QStringLiteral("*") + kExtension}, QDir::Files | QDir::Hidden,
                                    QDir::Name);
}

bool Exists(const QString& fileName)
{
    return IsSafeFileName(fileName) && QFileInfo(schemePath(fileName)).isFile() &&
           QFileInfo(schemePath(fileName) + kCompanion).isFile();
}

bool Delete(const QString& fileName)
{
    if (!IsSafeFileName(fileName))
        return false;
    const bool scheme = QFile::remove(schemePath(fileName)) || !QFileInfo::exists(schemePath(fileName));
    const bool companion = QFile::remove(schemePath(fileName) + kCompanion) ||
                           !QFileInfo::exists(schemePath(fileName) + kCompanion);
    return scheme && companion;
}

bool Save(ProgramState& state, const QString& fileName, QString* error)
{
    if (!IsSafeFileName(fileName))
        return fail(error, QStringLiteral("\"%1\" is not a valid scheme name").arg(fileName));
    // Remove All and Enable/Disable change the model without writing it: the scheme is what the user sees.
    if (!SaveBackups(state) || !SaveDestinations(state))
        return fail(error, QStringLiteral("the associations could not be written to %1").arg(DataFolder()));
    if (!MakeFolder())
        return fail(error, QStringLiteral("cannot create the folder %1").arg(Folder()));
    const QString name = QStringLiteral("sch/") + fileName;
    return replacePair(DataFilePath(kBackupsStore), name, DataFilePath(kDestinationsStore), name + kCompanion,
                       error);
}

LoadResult Load(const QString& fileName, QString* error)
{
    if (!Exists(fileName))
        return LoadResult::Missing;
    // Written like every store (a link stays a link), in the store's own text form.
    QByteArray backups;
    QByteArray destinations;
    if (!readAll(schemePath(fileName), backups, error) ||
        !readAll(schemePath(fileName) + kCompanion, destinations, error))
        return LoadResult::Failed;
    if (!StoreFile::WriteTogether(
            {{kBackupsStore, StoreFile::EncodeLines(StoreFile::DecodeLines(backups))},
             {kDestinationsStore, StoreFile::EncodeLines(StoreFile::DecodeLines(destinations))}},
            error))
        return LoadResult::Failed;
    return LoadResult::Loaded;
}

} // namespace SchemeFiles
