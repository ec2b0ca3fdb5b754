#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names and paths between the bytes Linux keeps and the QString the rest of
// the program works with, without loss. Linux allows any bytes but '/' and NUL in
// a name; Qt 6.4 decodes names as UTF-8 and turns every byte that is not valid
// UTF-8 into U+FFFD (QFile::decodeName("caf\xe9") encodes back as "caf\xef\xbf\xbd",
// and QDirIterator leaves such names out altogether), so a name like that could be
// neither listed nor opened.
//
// Here valid UTF-8 decodes as usual; each byte of an invalid sequence becomes the
// lone surrogate U+DC00 + byte (U+DC80..U+DCFF, as Python's "surrogateescape"),
// which valid UTF-8 can never produce, and encodes back to that very byte. Every
// path that reaches the system goes through Encode; every name read from it
// through Decode. Text that holds no escapes encodes exactly like QFile::encodeName.
namespace FileNames {

QString Decode(QByteArrayView bytes);
QByteArray Encode(const QString& path);

// The path holds bytes that are not valid UTF-8 (it came from Decode).
bool HasEscapes(const QString& path);

// For a person to read: each undecodable byte shown as U+FFFD.
QString ForDisplay(const QString& path);

} // namespace FileNames
