#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

// Creates the folders above; a file that cannot be written fails the test.
inline bool WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size())
        return true;
    ADD_FAILURE() << "cannot write " << path.toStdString();
    return false;
}

// Store lines as the program writes them: each ends in CR LF.
inline QByteArray CrLf(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

inline void SetModified(const QString& path, const QDateTime& modified)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(modified, QFileDevice::FileModificationTime))
        ADD_FAILURE() << "cannot set the time of " << path.toStdString();
}

inline void WriteFile(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    if (WriteFile(path, content))
        SetModified(path, modified);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

inline bool IsReadOnly(const QString& path)
{
    return !(QFile::permissions(path) & QFileDevice::WriteOwner);
}

inline void MakeReadOnly(const QString& path)
{
    QFile::setPermissions(path,
                          QFile::permissions(path) & ~(QFileDevice::WriteOwner | QFileDevice::WriteUser |
                                                       QFileDevice::WriteGroup | QFileDevice::WriteOther));
}

// Moves the modification time on by whole seconds, so a same-size rewrite still counts as a change.
inline void Touch(const QString& path, int seconds)
{
    const std::filesystem::path p(QFile::encodeName(path).toStdString());
    std::filesystem::last_write_time(p, std::filesystem::last_write_time(p) + std::chrono::seconds(seconds));
}

inline QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Writes a file under its name's exact bytes, which need not be UTF-8.
inline void WriteRawFile(const QByteArray& path, const QByteArray& content)
{
    std::FILE* f = std::fopen(path.constData(), "wb");
    if (!f || std::fwrite(content.constData(), 1, size_t(content.size()), f) != size_t(content.size()))
        ADD_FAILURE() << "cannot write " << path.toHex().constData();
    if (f)
        std::fclose(f);
}
