#include "frame/view_commands.h"

#include <algorithm>
#include <limits>

#include "frame/command_steps.h"
#include "frame/menu_layout.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

int32_t Frames(int64_t frames) {
  return static_cast<int32_t>(std::clamp<int64_t>(frames, 0, std::numeric_limits<int32_t>::max()));
}

int64_t Span(const LSoundDocument& document) {
  return std::max<int64_t>(int64_t{document.visibleEnd} - document.visibleStart, 1);
}

}  // namespace

void SetVisibleRange(LSoundDocument& document, int64_t start, int64_t end) {
  const int64_t length = document.Length();
  if (length == 0) {
    document.visibleStart = 0;
    document.visibleEnd = document.sound.SampleRate();
    return;
  }
  const int64_t span = std::clamp<int64_t>(end - start, 1, length);
  start = std::clamp<int64_t>(start, 0, length - span);
  document.visibleStart = Frames(start);
  document.visibleEnd = Frames(start + span);
}

void ZoomIn(LSoundDocument& document) {
  const int64_t half = std::max<int64_t>(Span(document) / 2, kMinVisibleFrames);
  const int64_t start = std::max<int64_t>(0, document.cursor - half / 2);
  SetVisibleRange(document, start, start + half);
}

void ZoomOut(LSoundDocument& document) {
  const int64_t span = std::min<int64_t>(2 * Span(document), document.Length());
  const int64_t start = std::max<int64_t>(0, document.visibleStart - static_cast<int64_t>(static_cast<double>(span) * 0.25));
  SetVisibleRange(document, start, start + span);
}

bool ZoomToSelection(LSoundDocument& document) {
  if (!document.HasSelection()) return false;
  SetVisibleRange(document, document.selectionStart, document.selectionEnd);
  return true;
}

void ZoomAll(LSoundDocument& document) {
  if (document.Length() > 0) SetVisibleRange(document, 0, document.Length());
}

void ScrollView(LSoundDocument& document, int64_t frames) {
  const int64_t span = Span(document);
  const int64_t start = int64_t{document.visibleStart} + frames;
  SetVisibleRange(document, start, start + span);
}

int64_t ScrollStep(const LSoundDocument& document, int parts) {
  return std::max<int64_t>(Span(document) / std::max(parts, 1), 1);
}

void PlaceCursor(LSoundDocument& document, int64_t frame) {
  const int64_t cursor = std::clamp<int64_t>(frame, 0, document.Length());
  document.cursor = Frames(cursor);
  if (cursor >= document.visibleStart && cursor < document.visibleEnd) return;
  if (cursor == document.Length() && cursor == document.visibleEnd) return;  // the end is on view
  const int64_t span = Span(document);
  // Forward a page starts at the cursor, backward a page ends just after it.
  const int64_t start = cursor >= document.visibleEnd ? cursor : cursor + 1 - span;
  SetVisibleRange(document, start, start + span);
}

void AddViewCommands(LCommandTable& table) {
  auto add = [&table](int id, void (*change)(LSoundDocument&)) {
    const LMenuEntry* entry = FindMenuCommand(id);
    table.Add({id, entry != nullptr ? entry->text : "", [change](LCommandContext& context) {
                 LSoundDocument* document = ActiveDocument(context);
                 if (document == nullptr) return;
                 change(*document);
                 context.frame.RedrawActiveDocument();
                 context.frame.RefreshBars();
               }});
  };
  add(kCmdZoomIn, &ZoomIn);
  add(kCmdZoomOut, &ZoomOut);
  add(kCmdZoomSelection, [](LSoundDocument& d) { ZoomToSelection(d); });
  add(kCmdZoomAll, &ZoomAll);
  add(kCmdVerticalZoom, [](LSoundDocument& d) { d.verticalZoom = !d.verticalZoom; });
  add(kCmdDisplayCombined, [](LSoundDocument& d) { d.displayMode = 0; });
  add(kCmdDisplaySplit, [](LSoundDocument& d) { d.displayMode = 1; });
  add(kCmdDisplayLanes, [](LSoundDocument& d) { d.displayMode = 2; });
}

}  // namespace klangor
