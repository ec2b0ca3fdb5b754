#include "ui/dialogs/ShellIcons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace {
constexpr int kSmall = 16;
}

QPixmap IconToPicture(const QIcon& icon)
{
    if (icon.isNull())
        return QPixmap();
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const QPixmap picked = icon.pixmap(QSize(kSmall, kSmall), ratio);
    if (picked.isNull() || picked.deviceIndependentSize() == QSizeF(kSmall, kSmall))
        return picked;
    // Icons without a 16x16 picture come back smaller; callers lay out for exactly 16x16.
    QPixmap square(QSize(kSmall, kSmall) * ratio);
    square.setDevicePixelRatio(ratio);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    const QSizeF size = picked.deviceIndependentSize().scaled(QSizeF(kSmall, kSmall), Qt::KeepAspectRatio);
    const QRectF target(QPointF((kSmall - size.width()) / 2, (kSmall - size.height()) / 2), size);
    painter.drawPixmap(target, picked, QRectF(picked.rect()));
    return square;
}

QIcon SmallFileIcon(const QString& path)
{
    const QFileInfo info(path);
    QIcon icon = QFileIconProvider().icon(info);
    if (icon.isNull() || icon.pixmap(kSmall).isNull()) {
        // Without an icon theme the provider may give nothing usable; the style always has these.
        icon = QApplication::style()->standardIcon(info.isDir() ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    return icon;
}

bool SetSmallFileIcon(QLabel* label, const QString& path)
{
    if (!label)
        return false;
    const QPixmap picture = IconToPicture(SmallFileIcon(path));
    if (picture.isNull()) {
        label->clear();
        return false;
    }
    label->setPixmap(picture);
    return true;
}
