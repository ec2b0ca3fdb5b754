#include "ui/main/ButtonPictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {
const QColor kOutline(0x3a, 0x4a, 0x60);
const QColor kBlue(0x3b, 0x7d, 0xe0);
const QColor kDarkBlue(0x1c, 0x4b, 0x9c);
const QColor kGreen(0x2e, 0xa0, 0x3c);
const QColor kRed(0xd0, 0x33, 0x2a);

void document(QPainter& p, const QRectF& r)
{
    const qreal fold = r.width() * 0.32;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(kOutline, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(0xdd, 0xe4, 0xee));
    p.drawPolygon(QPolygonF({QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                             QPointF(r.right(), r.top() + fold)}));
    p.setPen(QPen(QColor(0xa8, 0xb4, 0xc6), 1));
    for (qreal y = r.top() + fold + 3; y < r.bottom() - 2; y += 3)
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void folder(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(0x9a, 0x6b, 0x10), 1));
    p.setBrush(QColor(0xf0, 0xb8, 0x40));
    QPainterPath back;
    back.addRoundedRect(QRectF(r.left(), r.top(), r.width() * 0.45, r.height() * 0.3), 1.5, 1.5);
    back.addRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.15, r.width(), r.height() * 0.85), 1.5,
                        1.5);
    p.drawPath(back.simplified());
    p.setBrush(QColor(0xf8, 0xd0, 0x68));
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.35, r.width(), r.height() * 0.65), 1.5, 1.5);
}

void badge(QPainter& p, const QPointF& centre, const QColor& colour, bool plus)
{
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(colour);
    p.drawEllipse(centre, 5.5, 5.5);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre - QPointF(3, 0), centre + QPointF(3, 0));
    if (plus)
        p.drawLine(centre - QPointF(0, 3), centre + QPointF(0, 3));
}

void gear(QPainter& p)
{
    QPainterPath wheel;
    const QPointF c(12, 12);
    for (int tooth = 0; tooth < 8; ++tooth) {
        const qreal a = tooth * M_PI / 4;
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotateRadians(a);
        QPainterPath one;
        one.addRoundedRect(QRectF(-2.2, -10.5, 4.4, 6), 1, 1);
        wheel.addPath(t.map(one));
    }
    wheel.addEllipse(c, 7.5, 7.5);
    QPainterPath hole;
    hole.addEllipse(c, 3, 3);
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(0x8c, 0x99, 0xab));
    p.drawPath(wheel.simplified().subtracted(hole));
}

void book(QPainter& p)
{
    p.setPen(QPen(kDarkBlue, 1));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(4.5, 2.5, 15, 19), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.5, 18.5, 12, 3));
    p.setPen(QPen(Qt::white, 1.5));
    p.drawLine(QPointF(9, 7), QPointF(16, 7));
    p.drawLine(QPointF(9, 10), QPointF(14, 10));
    p.setPen(QPen(kDarkBlue, 1.5));
    p.drawLine(QPointF(6.5, 3), QPointF(6.5, 18));
}

void globe(QPainter& p)
{
    const QRectF ball(3.5, 3.5, 17, 17);
    p.setPen(QPen(kDarkBlue, 1));
    p.setBrush(QColor(0x6f, 0xa8, 0xf0));
    p.drawEllipse(ball);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(8, 3.5, 8, 17));
    p.drawLine(QPointF(3.5, 12), QPointF(20.5, 12));
    p.drawLine(QPointF(12, 3.5), QPointF(12, 20.5));
    p.drawArc(QRectF(3.5, -2, 17, 11), 200 * 16, 140 * 16);
    p.drawArc(QRectF(3.5, 15, 17, 11), 20 * 16, 140 * 16);
}

void stop(QPainter& p)
{
    QPolygonF octagon;
    for (int corner = 0; corner < 8; ++corner) {
        const qreal a = M_PI / 8 + corner * M_PI / 4;
        octagon << QPointF(12 + 10 * qCos(a), 12 + 10 * qSin(a));
    }
    p.setPen(QPen(QColor(0x80, 0x10, 0x10), 1));
    p.setBrush(kRed);
    p.drawPolygon(octagon);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(7.5, 12), QPointF(16.5, 12));
}

void logo(QPainter& p)
{
    QLinearGradient shade(0, 0, 0, 24);
    shade.setColorAt(0, kBlue);
    shade.setColorAt(1, kDarkBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(0.5, 0.5, 23, 23), 4.5, 4.5);
    document(p, QRectF(6, 3.5, 12, 15.5));
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(13.5, 13.5, 9.5, 9.5));
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(15.8, 18.3), QPointF(17.6, 20.1), QPointF(20.6, 16.4)}));
}

QPixmap draw(ButtonPictures::Kind kind, int size)
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap picture(QSize(size, size) * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0); // every drawing is made on a 24 x 24 grid
    using K = ButtonPictures::Kind;
    switch (kind) {
    case K::AddFile:
        document(p, QRectF(3.5, 1.5, 14, 19));
        badge(p, QPointF(17, 17), kGreen, true);
        break;
    case K::AddFolder:
        folder(p, QRectF(1.5, 3.5, 19, 15));
        badge(p, QPointF(17, 17), kGreen, true);
        break;
    case K::Remove:
        document(p, QRectF(3.5, 1.5, 14, 19));
        badge(p, QPointF(17, 17), kRed, false);
        break;
    case K::Options:
        gear(p);
        break;
    case K::Manual:
        book(p);
        break;
    case K::Web:
        globe(p);
        break;
    case K::Stop:
        stop(p);
        break;
    case K::Logo:
        logo(p);
        break;
    }
    return picture;
}

const char* themeName(ButtonPictures::Kind kind)
{
    using K = ButtonPictures::Kind;
    switch (kind) {
    case K::AddFile:
        return "document-new";
    case K::AddFolder:
        return "folder-new";
    case K::Remove:
        return "list-remove";
    case K::Options:
        return "preferences-system";
    case K::Manual:
        return "help-contents";
    case K::Web:
        return "applications-internet";
    case K::Stop:
        return "process-stop";
    case K::Logo:
        break;
    }
    return nullptr;
}
} // namespace

QIcon ButtonPictures::Picture(Kind kind)
{
    QIcon drawn;
    for (const int size : {16, 24, 32, 48})
        drawn.addPixmap(draw(kind, size));
    const char* name = themeName(kind);
    return name ? QIcon::fromTheme(QLatin1String(name), drawn) : drawn;
}
