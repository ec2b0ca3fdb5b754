#pragma once

#include <QString>

// The message for a path the stores cannot keep (a line break, or bytes that are
// not UTF-8: Linux allows both in names), or empty when they can. Refused when
// chosen, such a path is never half kept. what: "back up a file or folder", ...
QString UnstorableNameMessage(const QString& path, const QString& what);
