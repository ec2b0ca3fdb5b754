#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

class QLabel;

// Small file icons shared by the tree, the pop-up and the dialogs.

// The 16x16 picture of an icon, centred on a transparent square when the
// icon has no picture of that size; a null pixmap for a null icon.
QPixmap IconToPicture(const QIcon& icon);

// The desktop's small icon for the file or folder at path (the icon theme
// through QFileIconProvider, else the style's generic file or folder icon),
// put into label. False when no icon could be found; the label is then cleared.
bool SetSmallFileIcon(QLabel* label, const QString& path);

// The icon SetSmallFileIcon shows for path.
QIcon SmallFileIcon(const QString& path);
