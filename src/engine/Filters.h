#pragma once

#include "settings/Options.h"

#include <QString>

// The name filters of the options: false when the file must not be copied.
// Only the name is tested, never its folders; items of Prefixes and Suffixes are
// separated by "|", trimmed of blanks, and compared ignoring case.
bool PassesFilters(const QString& fileName, const Options& options);
