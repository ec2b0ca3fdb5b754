#pragma once

#include <QIcon>

// Pictures of the main window's buttons and menu items. The desktop's icon
// theme is used when it has one of the name; these drawings stand in otherwise
// (a bare X session has no theme, and the style's few icons do not fit).
namespace ButtonPictures {
enum class Kind { AddFile, AddFolder, Remove, Options, Manual, Web, Stop, Logo };
QIcon Picture(Kind kind);
} // namespace ButtonPictures
