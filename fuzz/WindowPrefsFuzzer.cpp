// wprefs as the windows read it at start-up, and the placements made of it.
#include "FuzzSupport.h"

#include "ui/dialogs/WindowPrefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::ClearDataFolder();
    Fuzz::WriteFile(Fuzz::DataFolder() + QStringLiteral("/wprefs"),
                    QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const std::optional<WindowPrefs> prefs = WindowPrefs::Load();
    Fuzz::Check(prefs.has_value());
    // Two screens side by side, at the densities a desktop may report.
    const QList<QRect> areas = {QRect(0, 0, 1920, 1080), QRect(1920, -200, 1280, 1024)};
    for (const qreal dpi : {96.0, 144.0, 0.5}) {
        const auto px = [dpi](qint16 twips) { return Twips::ToPixels(twips, dpi); };
        for (const auto& place : {prefs->Main, prefs->Log}) {
            const QRect placed =
                FitOnScreens(QRect(px(place[1]), px(place[0]), px(place[3]), px(place[2])), areas);
            Twips::FromPixels(placed.width(), dpi);
        }
    }
    if (!prefs->Save())
        return 0; // a scheme name holding a line break is refused
    const std::optional<WindowPrefs> again = WindowPrefs::Load();
    Fuzz::Check(again && again->Main == prefs->Main && again->Properties == prefs->Properties &&
                again->Log == prefs->Log && again->RecentScheme == prefs->RecentScheme);
    return 0;
}
