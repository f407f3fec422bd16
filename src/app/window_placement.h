#pragma once
// Where the main window goes: section "MainWindow" ("X" 160, "Y" 80, "Width" 740, "Height"
// 627, "Maximized" 1). The stored rectangle is brought onto a screen before it is used, so
// values that are absurd (off every screen, negative or huge sizes) still give a usable window.

#include <vector>

namespace klangor {

class LSettingsStore;

struct LRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const LRect&, const LRect&) = default;
};

struct LWindowPlacement {
  LRect normal;  // the window rectangle when neither maximised nor minimised
  bool maximized = true;
};

inline constexpr int kMinWindowWidth = 320;
inline constexpr int kMinWindowHeight = 240;

LWindowPlacement ReadWindowPlacement(const LSettingsStore& settings);

// `rect` moved and shrunk so that it lies on the screen it overlaps most (the first screen
// when it overlaps none), at least kMinWindowWidth x kMinWindowHeight where the screen allows.
// `screens` are the screens' available areas; without any the rectangle is only sized.
LRect FitOnScreens(LRect rect, const std::vector<LRect>& screens);

// On close: a maximised window writes only "Maximized" = 1 (the normal rectangle on disk
// stays); a normal one writes "Maximized" = 0 and its rectangle, the right edge clamped to the
// desktop's right edge (`desktopRight`); a minimised one writes nothing.
void SaveWindowPlacement(LSettingsStore& settings, const LRect& normal, bool maximized, bool minimized,
                         int desktopRight);

}  // namespace klangor
