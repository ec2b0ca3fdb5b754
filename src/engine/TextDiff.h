#pragma once

#include <QString>
#include <QStringList>

// A unified view of the lines that differ between two texts. Qt has no diff
// (QTextDocument compares nothing) and Debian's diff libraries are C command-line
// tools or GPL programs, so this is the plain longest-common-subsequence line
// diff, enough for the few-thousand-line documents people restore.
class TextDiff
{
  public:
    // "--- oldName" / "+++ newName" headers, then "@@ -a,b +c,d @@" hunks with
    // context lines; empty when the texts are equal.
    static QString Unified(const QString& oldText, const QString& newText, const QString& oldName,
                           const QString& newName, int context = 3);
    // Beyond this many lines on either side only a summary is given.
    static constexpr qsizetype MaxLines = 20000;
};
