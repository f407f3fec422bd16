#pragma once
// The fields of "Select Wave File Format": format, rate, channels and bit depth or bit rate,
// whose lists follow the chosen format, and a line that tells the byte rate of the choice.

class QWidget;

namespace klangor {

class LWaveFormatDlg;

// The fields, editing `model` as the user chooses (the model outlives the widget).
QWidget* MakeWaveFormatFields(QWidget* parent, LWaveFormatDlg& model);

}  // namespace klangor
