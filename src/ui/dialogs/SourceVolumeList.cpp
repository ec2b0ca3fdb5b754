#include "ui/dialogs/SourceVolumeList.h"

namespace {
const QChar nul(0);
}

SourceVolumeList SourceVolumeList::Decode(const QString& text)
{
    SourceVolumeList list;
    list.AcceptBlank = text.contains(QString(2, nul));
    list.Names = text.split(nul, Qt::SkipEmptyParts);
    return list;
}

QString SourceVolumeList::Encode() const
{
    QString text;
    for (const QString& name : Names)
        if (!name.isEmpty())
            text += name.toUpper() + nul;
    if (AcceptBlank)
        return text.isEmpty() ? QString(2, nul) : text + nul;
    text.chop(1);
    return text;
}
