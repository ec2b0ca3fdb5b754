#include "platform/DisplayPlatform.h"

#include <QDir>
#include <QLibraryInfo>

QByteArray DisplayPlatform::Preferred(const QByteArray& chosen, const QByteArray& waylandDisplay,
                                      const QByteArray& display, bool xcbPluginPresent)
{
    if (!chosen.isEmpty() || waylandDisplay.isEmpty() || display.isEmpty() || !xcbPluginPresent)
        return {};
    return QByteArrayLiteral("xcb");
}

void DisplayPlatform::PreferXWayland()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    const bool xcb = !platforms.entryList({QStringLiteral("libqxcb*")}, QDir::Files).isEmpty();
    const QByteArray choice =
        Preferred(qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"), xcb);
    if (!choice.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice);
}
