#pragma once
// The stored reassignment mode ("prefRadioSet1SelectedTag") and its check at
// every start.

#include "settings/SettingsKeys.h"

#include <optional>

namespace sorrelby {

class Settings;

// The mode for a stored number; none for any number that names no mode.
std::optional<ReassignMode> reassignModeFromInt(int value);

// Keeps 200 and 202; anything else, 201 included, becomes 200.
void validateReassignMode(Settings &settings);

} // namespace sorrelby
