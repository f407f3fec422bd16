#pragma once
// The view of a wave window as document fields: the visible range, zoom and scroll steps,
// cursor placement, the vertical zoom and the display modes; and the commands of the "Ansicht"
// menu that change them (5001..5005, 5007, 5008, 5013). Each command redraws the window.

#include <cstdint>

#include "frame/command_table.h"

namespace klangor {

class LSoundDocument;

enum LViewCommandId : int {
  kCmdZoomIn = 5001,
  kCmdZoomOut = 5002,
  kCmdZoomSelection = 5003,
  kCmdZoomAll = 5004,
  kCmdVerticalZoom = 5005,
  kCmdDisplayCombined = 5007,
  kCmdDisplaySplit = 5008,
  kCmdDisplayLanes = 5013,
};

// The fewest frames zooming in leaves visible.
inline constexpr int32_t kMinVisibleFrames = 100;

// Start to at least 0 and end to at most the length; a range that would pass the end keeps
// its span by starting earlier. An empty sound shows one second.
void SetVisibleRange(LSoundDocument& document, int64_t start, int64_t end);
// Half the span (at least 100 frames) around the cursor.
void ZoomIn(LSoundDocument& document);
// Twice the span (at most the length), a quarter of it more to the left.
void ZoomOut(LSoundDocument& document);
// With a selection: the selection. False without one.
bool ZoomToSelection(LSoundDocument& document);
// The whole sound (nothing for an empty one).
void ZoomAll(LSoundDocument& document);
// Moves the view by `frames` (negative: to the left), keeping its span.
void ScrollView(LSoundDocument& document, int64_t frames);
// The view's span divided by `parts` (at least 1 frame): the step of one wheel notch or key.
int64_t ScrollStep(const LSoundDocument& document, int parts);
// The cursor at max(frame, 0), within the sound; a cursor outside the view pages the view to it.
void PlaceCursor(LSoundDocument& document, int64_t frame);

void AddViewCommands(LCommandTable& table);

}  // namespace klangor
