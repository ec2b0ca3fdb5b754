#pragma once

#include "settings/Options.h"
#include "settings/OptionsForm.h"

// The record as start-up hands it to LoadOptions: everything false, 0 or
// empty except TrayNod and TrayShake. A short opts file leaves the fields past
// its end at these values.
Options OptionsStartValues();

// Fills options from opts in the data folder. When opts is absent every field
// takes its default except ShowSplash, which keeps its value. When opts cannot
// be read nothing changes; when it is short, only the lines present are taken.
void LoadOptions(Options& options);

// Writes options to opts; false when the file could not be written (it then
// keeps its previous content).
bool WriteOptions(const Options& options);

// Confirming the options dialog: options takes the values the form stands for
// (also when writing fails), then opts is written.
bool SaveOptions(const OptionsForm& form, Options& options);
