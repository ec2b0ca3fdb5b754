#pragma once

#include "settings/Options.h"

// Fills options from opts in the data folder, or from the defaults when it is absent.
void LoadOptions(Options& options);
// Writes options to opts; false when the file could not be written (it then
// keeps its previous content).
bool WriteOptions(const Options& options);
