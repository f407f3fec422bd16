#pragma once
// For reviewing the look: opens the menus and the main dialogs one after another, saves a
// picture of the screen for each into `folder`, then closes the program. Started by the
// environment variable KLANGOR_SCREENSHOTS (scripts/screenshots.sh).

#include <string>

namespace klangor {

class LMainWindow;

void StartScreenshotTour(LMainWindow& window, const std::string& folder);

}  // namespace klangor
