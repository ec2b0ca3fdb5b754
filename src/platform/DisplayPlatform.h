#pragma once

#include <QByteArray>

// Under Wayland a window cannot place, raise or keep itself on top, and a
// notification pop-up needs all three; XWayland lets it.
namespace DisplayPlatform {
// "xcb" when a Wayland session has an X server beside it, Qt's xcb plugin is
// present and the user chose no platform (QT_QPA_PLATFORM); otherwise empty.
QByteArray Preferred(const QByteArray& chosen, const QByteArray& waylandDisplay, const QByteArray& display,
                     bool xcbPluginPresent);
// Sets QT_QPA_PLATFORM accordingly; call before the application object exists.
void PreferXWayland();
} // namespace DisplayPlatform
