#pragma once
// The user's settings kept between starts: what the window's commands and the analysis change,
// and what the next start finds again.
#include "app/app_state.h"

// Whether the folder exists, at any length (the "\\?\" form past 248 units).
bool IsExistingFolder(const Text& folder);

// The save folder, size and home page as they are now, kept for the next start.
void KeepSettings(AppState& app);
// The settings kept at the last start, over the defaults; a save folder that no longer exists
// is not taken.
void RestoreSettings(AppState& app);
