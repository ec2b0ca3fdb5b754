#include "ui/main/TreeImages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
constexpr int kSize = 16;

qreal pixelRatio()
{
    return qApp ? qApp->devicePixelRatio() : 1.0;
}

QPixmap blank()
{
    QPixmap picture(QSize(kSize, kSize) * pixelRatio());
    picture.setDevicePixelRatio(pixelRatio());
    picture.fill(Qt::transparent);
    return picture;
}

// A disc in the lower right corner, with a white sign on it.
QPixmap disc(const QColor& colour, bool tick)
{
    QPixmap picture = blank();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    p.drawEllipse(QRectF(7.5, 7.5, 8, 8));
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (tick)
        p.drawPolyline(QPolygonF({QPointF(9.6, 11.6), QPointF(11.1, 13.1), QPointF(13.6, 9.9)}));
    else
        p.drawLine(QPointF(9.5, 11.5), QPointF(13.5, 11.5));
    return picture;
}

// A warning triangle in the lower right corner: the source is missing.
QPixmap warning()
{
    QPixmap picture = blank();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xff, 0xd0, 0x20));
    p.drawPolygon(QPolygonF({QPointF(11.5, 6.5), QPointF(15.5, 15.5), QPointF(7.5, 15.5)}));
    p.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11.5, 9.8), QPointF(11.5, 12.4));
    p.drawPoint(QPointF(11.5, 14.2));
    return picture;
}

// An open hand in the lower left corner: a shared folder.
QPixmap hand()
{
    QPixmap picture = blank();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(1.5, 10.5, 6, 5), 1.5, 1.5);
    for (int finger = 0; finger < 4; ++finger)
        shape.addRoundedRect(QRectF(1.6 + finger * 1.5, 7.0 + (finger == 0 || finger == 3 ? 1 : 0), 1.3, 5),
                             0.6, 0.6);
    shape.addRoundedRect(QRectF(6.5, 11.0, 3, 1.4), 0.6, 0.6);
    p.setPen(QPen(QColor(0x6a, 0x3e, 0x1c), 0.8));
    p.setBrush(QColor(0xf4, 0xc8, 0x98));
    p.drawPath(shape.simplified());
    return picture;
}
} // namespace

TreeImages::TreeImages()
{
    m_images.Add(QIcon(warning()), Yellow);
    m_images.Add(QIcon(disc(QColor(0x2e, 0xa0, 0x3c), true)), Green);
    m_images.Add(QIcon(disc(QColor(0xc8, 0x28, 0xb4), false)), Magenta);
    m_images.Add(QIcon(hand()), Hand);
}

void TreeImages::Add(const QString& key, const QIcon& icon)
{
    m_images.Add(icon, key);
}

void TreeImages::AddOverlay(const QString& key, const QString& baseKey, const QString& markKey)
{
    if (Exists(key))
        return;
    const QIcon base = Icon(baseKey);
    const auto drawn = m_overlays.constFind(qMakePair(base.cacheKey(), markKey));
    if (drawn != m_overlays.constEnd()) {
        m_images.Add(*drawn, key);
        return;
    }
    QPixmap picture = blank();
    {
        QPainter p(&picture);
        p.drawPixmap(QRect(0, 0, kSize, kSize), base.pixmap(QSize(kSize, kSize), pixelRatio()));
        p.drawPixmap(QRect(0, 0, kSize, kSize), Icon(markKey).pixmap(QSize(kSize, kSize), pixelRatio()));
    }
    const QIcon overlay(picture);
    m_overlays.insert(qMakePair(base.cacheKey(), markKey), overlay);
    m_images.Add(overlay, key);
}

QIcon TreeImages::Icon(const QString& key) const
{
    const QIcon* icon = m_images.Item(key);
    return icon ? *icon : QIcon();
}
