#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QString>

#include "platform/LocalFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What every fuzzer shares: a private home for the program's files, and the
// bytes of one input as the files a reader is given.
namespace Fuzz {

// A fresh folder that XDG_DATA_HOME, XDG_CONFIG_HOME and HOME point at, made on
// the first call. On tmpfs when there is one: stores are flushed to disk as they
// are written, which would otherwise cost more than the parsing itself.
inline QString Home()
{
    // Never destroyed: the removal at exit still needs it.
    static const QString* folder = [] {
        const QString base =
            QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        QByteArray name = QFile::encodeName(base + QStringLiteral("/savenook-fuzz-XXXXXX"));
        if (!::mkdtemp(name.data()))
            std::abort();
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "HOME"})
            qputenv(variable, name);
        // Removed at the end of a run, names that are not UTF-8 too (QDir would
        // leave those); a crash leaves it for the finding to be looked at.
        std::atexit([] { LocalFiles::RemoveTree(*folder); });
        return new QString(QFile::decodeName(name));
    }();
    return *folder;
}

inline QString DataFolder()
{
    return Home() + QStringLiteral("/Savenook");
}

// Each input starts from an empty data folder, so nothing one input left (a
// store kept aside, say) changes how the next one reads.
inline void ClearDataFolder()
{
    QDir(DataFolder()).removeRecursively();
    QDir().mkpath(DataFolder());
}

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

// The file's bytes; empty when it is missing.
inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The input cut at form feeds into at most count files (the last takes the
// rest); missing ones are empty.
inline QByteArrayList Parts(const uint8_t* data, size_t size, int count)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QByteArrayList parts;
    qsizetype start = 0;
    while (parts.size() < count - 1) {
        const qsizetype cut = bytes.indexOf('\f', start);
        if (cut < 0)
            break;
        parts << bytes.mid(start, cut - start);
        start = cut + 1;
    }
    parts << bytes.mid(start);
    while (parts.size() < count)
        parts << QByteArray();
    return parts;
}

// A broken promise of the reader: stops the fuzzer with a finding.
inline void Check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace Fuzz
