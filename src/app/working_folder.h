#pragma once
// The working folder of the block store, chosen at start-up from the settings.
//
// With "UseDefaultWorkingDir" set (the default) it is the default working folder, the data
// folder $XDG_DATA_HOME/Tessaly Audio/Klangor. Otherwise it is "WorkingFolder"; an empty,
// relative or unusable value (one that cannot be created or written to) falls back to the
// default folder, so the program always starts with a working folder. A leading "~/" stands
// for the home folder.

#include <string>

namespace klangor {

class LSettingsStore;

// The folder the settings choose, created when missing.
std::string ChooseWorkingFolder(const LSettingsStore& settings);

// Makes the chosen folder the block store's working folder (the default folder when the store
// cannot set up there); returns the folder in use, or empty when neither works.
std::string PrepareWorkingFolder(const LSettingsStore& settings);

}  // namespace klangor
