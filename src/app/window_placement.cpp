#include "app/window_placement.h"

#include <algorithm>
#include <cstdint>

#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace klangor {
namespace {

int64_t Overlap(const LRect& a, const LRect& b) {
  const int64_t w = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width) - std::max(a.x, b.x);
  const int64_t h = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height) - std::max(a.y, b.y);
  return w > 0 && h > 0 ? w * h : 0;
}

// `start` and `length` kept within [low, low + room).
void FitSpan(int& start, int& length, int low, int room) {
  length = std::clamp(length, std::min(kMinWindowWidth, room), std::max(room, 1));
  start = static_cast<int>(std::clamp<int64_t>(start, low, int64_t{low} + room - length));
}

}  // namespace

LWindowPlacement ReadWindowPlacement(const LSettingsStore& settings) {
  LWindowPlacement placement;
  placement.normal = {settings.Read(kMainWindowX), settings.Read(kMainWindowY), settings.Read(kMainWindowWidth),
                      settings.Read(kMainWindowHeight)};
  placement.maximized = settings.Read(kMainWindowMaximized);
  return placement;
}

LRect FitOnScreens(LRect rect, const std::vector<LRect>& screens) {
  // Sizes first: a negative or zero size becomes the default one.
  if (rect.width <= 0) rect.width = kMainWindowWidth.defaultValue;
  if (rect.height <= 0) rect.height = kMainWindowHeight.defaultValue;
  rect.width = std::clamp(rect.width, kMinWindowWidth, 100000);
  rect.height = std::clamp(rect.height, kMinWindowHeight, 100000);
  if (screens.empty()) return rect;
  const LRect* best = &screens.front();
  int64_t bestOverlap = 0;
  for (const LRect& screen : screens) {
    const int64_t overlap = Overlap(rect, screen);
    if (overlap > bestOverlap) {
      bestOverlap = overlap;
      best = &screen;
    }
  }
  FitSpan(rect.x, rect.width, best->x, best->width);
  int height = rect.height;
  height = std::clamp(height, std::min(kMinWindowHeight, best->height), std::max(best->height, 1));
  rect.height = height;
  rect.y = static_cast<int>(std::clamp<int64_t>(rect.y, best->y, int64_t{best->y} + best->height - height));
  return rect;
}

void SaveWindowPlacement(LSettingsStore& settings, const LRect& normal, bool maximized, bool minimized,
                         int desktopRight) {
  if (maximized) {
    settings.Write(kMainWindowMaximized, true);
    return;
  }
  if (minimized) return;
  settings.Write(kMainWindowMaximized, false);
  settings.Write(kMainWindowX, normal.x);
  settings.Write(kMainWindowY, normal.y);
  const int right = std::min(normal.x + normal.width, desktopRight);
  settings.Write(kMainWindowWidth, std::max(right - normal.x, 0));
  settings.Write(kMainWindowHeight, normal.height);
}

}  // namespace klangor
