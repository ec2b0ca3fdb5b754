#include "core/StoreFile.h"

#include "core/DataFolder.h"
#include "platform/DurableFile.h"
#include "platform/FileNames.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>

namespace {

// Qt's own converters know Latin-1 but not Windows-1252; these are the code
// points of bytes 0x80 to 0x9F there (0 for the five unassigned bytes, which
// then read as Latin-1).
constexpr char16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QString decodeWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        char16_t code = byte;
        if (byte >= 0x80 && byte <= 0x9F && kWindows1252High[byte - 0x80] != 0)
            code = kWindows1252High[byte - 0x80];
        *out++ = QChar(code);
    }
    return text;
}

QString decodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeWindows1252(bytes);
}

// "<store>.unloaded-YYYYMMDD-HHMMSS", then "-2", "-3"... for later ones in the same second.
QString sideName(const QString& name, int attempt)
{
    const QString base = DataFilePath(name) + QStringLiteral(".unloaded-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return attempt == 1 ? base : base + QStringLiteral("-%1").arg(attempt);
}

constexpr int kSideAttempts = 100;

// Where a write of this store lands: a link (into a synchronised folder, say)
// is followed, so it stays a link and the file it leads to gets the content.
QString writeTarget(const QString& store)
{
    QString target = store;
    // As many hops as the kernel itself follows.
    for (int hop = 0; hop < 40 && QFileInfo(target).isSymLink(); ++hop)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

// Lists the files of a group write once all their temporaries are flushed.
const QString kGroupMarker = QStringLiteral("storesTEMP");
const QString kGroupEnd = QStringLiteral("end"); // the list was written whole

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

// Completes a group write that a crash cut off between its renames, so the group
// never stays half replaced. Without a whole marker no rename had begun: the old
// files stand and the temporaries are replaced by the next write.
FileResult finishGroup()
{
    const QString marker = DataFilePath(kGroupMarker);
    if (!QFileInfo::exists(marker))
        return {};
    QFile file(marker);
    QStringList targets;
    if (file.open(QIODevice::ReadOnly))
        targets = StoreFile::DecodeLines(file.readAll());
    FileResult first;
    if (!targets.isEmpty() && targets.takeLast() == kGroupEnd)
        for (const QString& target : targets)
            if (QFileInfo::exists(target + QStringLiteral("TEMP")))
                if (FileResult result = DurableFile::RenameOver(target + QStringLiteral("TEMP"), target);
                    !result && first)
                    first = result;
    QFile::remove(marker);
    DurableFile::SyncFolder(DataFolder());
    return first;
}

} // namespace

namespace StoreFile {

QByteArray EncodeLines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

QStringList DecodeLines(const QByteArray& bytes)
{
    QStringList lines;
    const QString text = decodeText(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const bool terminated = end >= 0;
        if (!terminated)
            end = text.size();
        qsizetype lineEnd = end;
        if (terminated && lineEnd > start && text.at(lineEnd - 1) == u'\r')
            --lineEnd;
        lines.append(text.mid(start, lineEnd - start));
        start = end + 1;
    }
    return lines;
}

bool Write(const QString& name, const QStringList& lines, QString* error)
{
    finishGroup();
    // A Linux file name may hold a line break; written as it is, it would shift
    // every later value of the store onto the wrong field.
    for (const QString& line : lines)
        if (line.contains(u'\n') || line.contains(u'\r'))
            return fail(error, QStringLiteral("a value holds a line break: %1").arg(line));
    // Refused rather than written as raw bytes: a store that is not UTF-8 reads
    // back as Windows-1252 throughout, which would alter every other name in it.
    for (const QString& line : lines)
        if (FileNames::HasEscapes(line))
            return fail(error, QStringLiteral("a name is not valid UTF-8 and cannot be stored: %1")
                                   .arg(FileNames::ForDisplay(line)));
    if (!MakeDataFolder())
        return fail(error, QStringLiteral("cannot create the folder %1").arg(DataFolder()));
    const QString store = writeTarget(DataFilePath(name));
    const QString temp = store + QStringLiteral("TEMP");
    // Rename, not copy: a crash between the two leaves either the old store or the new one.
    FileResult result = DurableFile::WriteNew(temp, EncodeLines(lines));
    if (result)
        result = DurableFile::RenameOver(temp, store);
    if (!result) {
        QFile::remove(temp);
        return fail(error, result.Message());
    }
    return true;
}

bool WriteTogether(const QList<std::pair<QString, QByteArray>>& stores, QString* error)
{
    finishGroup();
    if (!MakeDataFolder())
        return fail(error, QStringLiteral("cannot create the folder %1").arg(DataFolder()));
    QStringList targets;
    auto discard = [&targets](const QString& message, QString* error) {
        for (const QString& target : targets)
            QFile::remove(target + QStringLiteral("TEMP"));
        return fail(error, message);
    };
    for (const auto& [name, bytes] : stores) {
        targets << writeTarget(DataFilePath(name));
        if (const FileResult result = DurableFile::WriteNew(targets.last() + QStringLiteral("TEMP"), bytes);
            !result)
            return discard(result.Message(), error);
    }
    // The temporaries' names must last before the marker that points to them does.
    for (const QString& target : targets)
        if (const FileResult synced = DurableFile::SyncFolder(QFileInfo(target).absolutePath()); !synced)
            return discard(synced.Message(), error);
    FileResult result = DurableFile::WriteNew(DataFilePath(kGroupMarker), EncodeLines(targets << kGroupEnd));
    targets.removeLast();
    if (result)
        result = DurableFile::SyncFolder(DataFolder());
    if (!result) {
        QFile::remove(DataFilePath(kGroupMarker));
        return discard(result.Message(), error);
    }
    result = finishGroup();
    return result ? true : fail(error, result.Message());
}

StoreContent Read(const QString& name)
{
    finishGroup();
    StoreContent content;
    QFile file(DataFilePath(name));
    if (!file.exists())
        return content;
    if (!file.open(QIODevice::ReadOnly)) {
        content.Status = StoreContent::State::Unreadable;
        content.Error = file.errorString();
        return content;
    }
    content.Bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        content.Status = StoreContent::State::Unreadable;
        content.Error = file.errorString();
        return content;
    }
    content.Status = StoreContent::State::Read;
    content.Lines = DecodeLines(content.Bytes);
    return content;
}

bool IsBrokenLink(const QString& name)
{
    const QFileInfo info(DataFilePath(name));
    return info.isSymLink() && !info.exists();
}

QString KeepCopy(const QString& name, const QByteArray& bytes)
{
    if (!MakeDataFolder())
        return {};
    for (int attempt = 1; attempt <= kSideAttempts; ++attempt) {
        const QString path = sideName(name, attempt);
        const FileResult result = DurableFile::WriteNew(path, bytes, DurableFile::Existing::Keep);
        if (result)
            return path;
        if (result.Errno != EEXIST) {
            QFile::remove(path);
            return {};
        }
    }
    return {};
}

QString MoveAside(const QString& name, QString* error)
{
    const QString store = DataFilePath(name);
    const QFileInfo info(store);
    if (!info.exists() && !info.isSymLink())
        return {};
    FileResult result;
    for (int attempt = 1; attempt <= kSideAttempts; ++attempt) {
        const QString path = sideName(name, attempt);
        result = DurableFile::RenameNoReplace(store, path);
        if (result)
            return path;
        if (result.Errno != EEXIST)
            break;
    }
    if (error)
        *error = result.Message();
    return {};
}

} // namespace StoreFile
