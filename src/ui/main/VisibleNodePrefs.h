#pragma once

#include <QStringList>

// The nprefs store: the paths of the tree's nodes that were visible (every
// branch above them open) when it was written, one a line in tree order.
namespace VisibleNodePrefs {

// The paths in file order; none when nprefs is missing or cannot be read.
QStringList Load();
bool Save(const QStringList& paths);

} // namespace VisibleNodePrefs
