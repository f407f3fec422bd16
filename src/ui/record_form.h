#pragma once
// The recorder dialog's form ("Aufnahmesteuerung") over its model, and the advanced
// settings dialog ("Erweiterte Aufnahmeeinstellungen").

class QWidget;

namespace klangor {

class LRecordDialog;

inline constexpr char kAdvancedRecordTitle[] = "Erweiterte Aufnahmeeinstellungen";

// Shows the form; true when the user confirmed (the model then names the chosen take).
bool RunRecordForm(QWidget* parent, LRecordDialog& model);

}  // namespace klangor
