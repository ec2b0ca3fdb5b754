#pragma once

#include <QString>
#include <QStringList>

// The accepted volume names of an association's source, as kept in its Volume
// text: upper-cased names, each followed by a NUL, and one more NUL when a drive
// without a name is accepted too; without that, the final NUL is dropped.
struct SourceVolumeList
{
    QStringList Names;        // the non-empty names, in order
    bool AcceptBlank = false; // a drive without a volume name passes too

    static SourceVolumeList Decode(const QString& text);
    // With no name and blanks not accepted there is no separator to drop: the
    // empty text, which no drive passes.
    QString Encode() const;
};
