#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

// Window placements are kept in twips (1/1440 inch) as 16-bit numbers. One
// conversion serves both ways; values that do not fit saturate rather than wrap.
namespace Twips {
qint16 FromPixels(int pixels, qreal dotsPerInch);
int ToPixels(qint16 twips, qreal dotsPerInch);
qint16 Saturate(qint64 value);
} // namespace Twips

// The wprefs store: the placements of the main window, the properties dialog
// and the recent-activity window, and the name of the most recent scheme.
struct WindowPrefs
{
    std::array<qint16, 4> Main{};       // top, left, height, width
    std::array<qint16, 5> Properties{}; // top, left, height, width, destination column width
    std::array<qint16, 4> Log{};        // top, left, height, width
    QString RecentScheme;               // empty when there is none

    // None when wprefs does not exist or cannot be read.
    static std::optional<WindowPrefs> Load();
    bool Save() const;
};

// wanted itself when its top edge lies on one of areas; otherwise moved (and
// shrunk where it is larger) into the first area, so the window can be reached.
QRect FitOnScreens(const QRect& wanted, const QList<QRect>& areas);

// Where a window saved at wanted opens: a top or left at or beyond the edge of
// the work area opens at 0 on that axis, the size keeps within minimum and the
// work area, and the window is fitted on the screens, the work area's first.
QRect PlaceOnScreens(QRect wanted, const QRect& area, const QSize& minimum);
