#pragma once
// The steps that editing commands and effects share.

#include <cstdint>
#include <string>

#include "frame/command_table.h"

namespace klangor {

// The active document; null when no wave window is active (then a command does nothing).
LSoundDocument* ActiveDocument(LCommandContext& context);

// Without a selection (start >= end, or both 0) the whole sound is selected (the cursor
// stays) and shown.
void SelectAllIfNone(LSoundDocument& document);

// The whole sound becomes visible (nothing for an empty sound).
void ShowAll(LSoundDocument& document);

// After an edit named `operation`: warns when less than 3 MB are free where the block files
// live (and stops there; the edit stays done); otherwise puts the cursor at `position`,
// refreshes the window, and when "AutoPlaybackAfterEffects" is set plays from `backOffFrames`
// before the position.
void FinishEdit(LCommandContext& context, const std::string& operation, int32_t position,
                int32_t backOffFrames);

// The low-space message for `operation`, and its caption.
std::string LowSpaceMessage(const std::string& operation);
inline constexpr char kLowSpaceCaption[] = "Geringer freier Speicher";

}  // namespace klangor
