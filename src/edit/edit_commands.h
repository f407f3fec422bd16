#pragma once
// The selection and edit commands of the "Bearbeiten" menu.

#include "frame/command_table.h"

namespace klangor {

enum class LEditCommandId : int {
  kDelete = 2006,
  kSelectAll = 2007,
  kLoopRepeat = 2009,
  kTrim = 2010,
  kTrimStart = 2011,
  kTrimEnd = 2012,
  kAutoTrim = 2013,
  kSilenceSelection = 2014,
  kInsertSilenceStart = 2015,
  kInsertSilenceCursor = 2016,
  kInsertSilenceEnd = 2017,
  kCopyToNew = 2021,
  kSelectToStart = 2022,
  kSelectToEnd = 2023,
  kSelectRange = 2027,
  kSaveSelectionAs = 2028,
  kSplitHere = 2029,
  kMarkFirst = 2030,
  kMarkSecond = 2031,
  kSelectMarks = 2032,
  kAutoSplit = 2034,
};

// The dialog texts of "Speicher markierte Region als...".
inline constexpr char kSaveSelectionTitle[] = "Audiodatei speichern als";
inline constexpr char kReplaceFileQuestion[] =
    "Es existiert bereits eine andere Datei mit dem selben Namen. Möchten sie diese erstezen?";

void AddEditCommands(LCommandTable& table);

}  // namespace klangor
