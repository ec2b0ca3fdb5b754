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

// The protocol of every store write: a flushed "<target>TEMP", renamed over the target.
bool writeTemporary(const QString& target, const QByteArray& bytes, QString* error)
{
    const FileResult result = DurableFile::WriteNew(target + QStringLiteral("TEMP"), bytes);
    if (!result) {
        QFile::remove(target + QStringLiteral("TEMP"));
        return fail(error, result.Message());
    }
    return true;
}

bool renameTemporary(const QString& target, QString* error)
{
    const FileResult result = DurableFile::RenameOver(target + QStringLiteral("TEMP"), target);
    if (!result) {
        QFile::remove(target + QStringLiteral("TEMP"));
        return fail(error, result.Message());
    }
    return true;
}

// Both temporaries first, then both renames: a failure while writing leaves both files untouched.
bool replacePair(const QString& sourceA, const QString& targetA, const QString& sourceB,
                 const QString& targetB, QString* error)
{
    QByteArray a;
    QByteArray b;
    if (!readAll(sourceA, a, error) || !readAll(sourceB, b, error))
        return false;
    if (!writeTemporary(targetA, a, error))
        return false;
    if (!writeTemporary(targetB, b, error)) {
        QFile::remove(targetA + QStringLiteral("TEMP"));
        return false;
    }
    if (!renameTemporary(targetA, error)) {
        QFile::remove(targetB + QStringLiteral("TEMP"));
        return false;
    }
    return renameTemporary(targetB, error);
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
    return replacePair(DataFilePath(kBackupsStore), schemePath(fileName), DataFilePath(kDestinationsStore),
                       schemePath(fileName) + kCompanion, error);
}

LoadResult Load(const QString& fileName, QString* error)
{
    if (!Exists(fileName))
        return LoadResult::Missing;
    QByteArray backups;
    QByteArray destinations;
    if (!readAll(schemePath(fileName), backups, error) ||
        !readAll(schemePath(fileName) + kCompanion, destinations, error))
        return LoadResult::Failed;
    // Written like every store (a link stays a link); the pair must not end half replaced.
    const StoreContent before = StoreFile::Read(kBackupsStore);
    if (!StoreFile::Write(kBackupsStore, StoreFile::DecodeLines(backups), error))
        return LoadResult::Failed;
    if (!StoreFile::Write(kDestinationsStore, StoreFile::DecodeLines(destinations), error)) {
        if (before.Status == StoreContent::State::Read)
            StoreFile::Write(kBackupsStore, before.Lines);
        return LoadResult::Failed;
    }
    return LoadResult::Loaded;
}

} // namespace SchemeFiles
