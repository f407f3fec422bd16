#pragma once
// One Qt form per dialog model. The form shows the model's fields, writes the user's entries
// back when a preset is chosen, the preview starts or OK is pressed, and keeps the dialog
// open with the model's message (exclamation icon) while the fields do not validate.

class QWidget;

namespace klangor {

class LDialogModel;
class LPreviewPlayer;

inline constexpr char kPreviewText[] = "Vorschau";
inline constexpr char kPreviewStopText[] = "Stop";
inline constexpr char kNoPlayerTip[] = "Wiedergabe noch nicht verfügbar";
inline constexpr char kPresetsName[] = "presets";  // object names the tests find widgets by
inline constexpr char kPreviewName[] = "preview";

// Shows the form of `model`; true when the user confirmed with valid fields.
bool RunModelDialog(QWidget* parent, LDialogModel& model, LPreviewPlayer* preview);

}  // namespace klangor
