#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures of the tray, the pop-up and the log, drawn from
// the SVG sources in src/ui/pictures at whatever size and scale they are shown.
enum class Picture {
    Tray,          // the icon at rest
    TrayNod,       // the nod frame
    TrayShake,     // the shake frame
    TrayEditing,   // while a dialog edits associations
    CloseAdvance,  // the pop-up's close picture when a click shows the next result
    CloseMinimise, // the pop-up's close picture when a click closes it
    File,          // a file whose own icon cannot be had
    Folder,
    Logo,
};

namespace Pictures {
// Every common icon size is rendered, so no size is a blurred scale of another.
QIcon Icon(Picture picture);
// logicalSize pixels square at the given device pixel ratio.
QPixmap Pixmap(Picture picture, int logicalSize, qreal ratio = 1.0);
} // namespace Pictures
