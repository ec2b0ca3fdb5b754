#include "ui/dialogs/UnstorableName.h"

#include "core/StoreValues.h"
#include "platform/FileNames.h"

QString UnstorableNameMessage(const QString& path, const QString& what)
{
    if (StoreValues::FitsOnALine(path))
        return {};
    const bool lineBreak = path.contains(u'\n') || path.contains(u'\r');
    QString shown = FileNames::ForDisplay(path);
    shown.replace(u'\n', u'\u21b5').replace(u'\r', u'\u21b5');
    return QStringLiteral("Savenook cannot %1 whose name %2:\n\n%3\n\nRename it first.")
        .arg(what,
             lineBreak ? QStringLiteral("contains a line break") : QStringLiteral("is not valid UTF-8 text"),
             shown);
}
