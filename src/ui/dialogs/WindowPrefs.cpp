#include "ui/dialogs/WindowPrefs.h"

#include "core/StoreFile.h"
#include "core/StoreValues.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QString kStore = QStringLiteral("wprefs");
const QString kNoScheme = QStringLiteral("<n/a>");
constexpr qreal kTwipsPerInch = 1440;
} // namespace

qint16 Twips::Saturate(qint64 value)
{
    return qint16(
        std::clamp<qint64>(value, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

qint16 Twips::FromPixels(int pixels, qreal dotsPerInch)
{
    if (dotsPerInch <= 0)
        return 0;
    return Saturate(std::llround(pixels * kTwipsPerInch / dotsPerInch));
}

int Twips::ToPixels(qint16 twips, qreal dotsPerInch)
{
    return int(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

std::optional<WindowPrefs> WindowPrefs::Load()
{
    const StoreContent content = StoreFile::Read(kStore);
    if (content.Status != StoreContent::State::Read)
        return std::nullopt;
    const auto number = [&](int line) -> qint16 {
        if (line > content.Lines.size())
            return 0;
        const double value = StoreValues::ReadNumber(content.Lines.at(line - 1));
        if (std::isnan(value))
            return 0;
        return Twips::Saturate(qint64(std::nearbyint(qBound(-1e12, value, 1e12))));
    };
    WindowPrefs prefs;
    for (int i = 0; i < 4; ++i)
        prefs.Main[size_t(i)] = number(1 + i);
    for (int i = 0; i < 5; ++i)
        prefs.Properties[size_t(i)] = number(5 + i);
    for (int i = 0; i < 4; ++i)
        prefs.Log[size_t(i)] = number(10 + i);
    if (content.Lines.size() >= 14 && content.Lines.at(13) != kNoScheme)
        prefs.RecentScheme = content.Lines.at(13);
    return prefs;
}

bool WindowPrefs::Save() const
{
    QStringList lines;
    for (const qint16 value : Main)
        lines << QString::number(value);
    for (const qint16 value : Properties)
        lines << QString::number(value);
    for (const qint16 value : Log)
        lines << QString::number(value);
    lines << (RecentScheme.isEmpty() ? kNoScheme : RecentScheme);
    return StoreFile::Write(kStore, lines);
}

QRect FitOnScreens(const QRect& wanted, const QList<QRect>& areas)
{
    if (areas.isEmpty())
        return wanted;
    // The caption is what the user grabs: enough of the top edge must be on a screen.
    const QRect caption(wanted.topLeft(), QSize(wanted.width(), qMin(wanted.height(), 24)));
    for (const QRect& area : areas) {
        const QRect seen = area.intersected(caption);
        if (seen.width() >= qMin(48, wanted.width()) && seen.height() >= qMin(12, caption.height()))
            return wanted;
    }
    const QRect& area = areas.first();
    QRect placed(wanted.topLeft(), wanted.size().boundedTo(area.size()));
    placed.moveLeft(qBound(area.left(), placed.left(), area.right() - placed.width() + 1));
    placed.moveTop(qBound(area.top(), placed.top(), area.bottom() - placed.height() + 1));
    return placed;
}

QRect PlaceOnScreens(QRect wanted, const QRect& area, const QSize& minimum)
{
    if (wanted.top() - area.top() >= area.height())
        wanted.moveTop(area.top());
    if (wanted.left() - area.left() >= area.width())
        wanted.moveLeft(area.left());
    wanted.setSize(wanted.size().boundedTo(area.size()).expandedTo(minimum));
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    areas.removeAll(area);
    areas.prepend(area);
    return FitOnScreens(wanted, areas);
}
