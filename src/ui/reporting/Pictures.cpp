#include "ui/reporting/Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {
QString source(Picture picture)
{
    switch (picture) {
    case Picture::Tray:
        return QStringLiteral(":/pictures/tray.svg");
    case Picture::TrayNod:
        return QStringLiteral(":/pictures/tray-nod.svg");
    case Picture::TrayShake:
        return QStringLiteral(":/pictures/tray-shake.svg");
    case Picture::TrayEditing:
        return QStringLiteral(":/pictures/tray-editing.svg");
    case Picture::CloseAdvance:
        return QStringLiteral(":/pictures/close-advance.svg");
    case Picture::CloseMinimise:
        return QStringLiteral(":/pictures/close-minimise.svg");
    case Picture::File:
        return QStringLiteral(":/pictures/file.svg");
    case Picture::Folder:
        return QStringLiteral(":/pictures/folder.svg");
    case Picture::Logo:
        return QStringLiteral(":/pictures/logo.svg");
    }
    return {};
}
} // namespace

QPixmap Pictures::Pixmap(Picture picture, int logicalSize, qreal ratio)
{
    const int side = qMax(1, qRound(logicalSize * ratio));
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(source(picture));
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon Pictures::Icon(Picture picture)
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(Pixmap(picture, size));
    return icon;
}
