#pragma once
// The selection and edit commands of the "Bearbeiten" menu.

#include "frame/command_table.h"

namespace klangor {

enum LEditCommandId : int {
  kCmdDelete = 2006,
  kCmdSelectAll = 2007,
  kCmdLoopRepeat = 2009,
  kCmdTrim = 2010,
  kCmdTrimStart = 2011,
  kCmdTrimEnd = 2012,
  kCmdSilenceSelection = 2014,
  kCmdInsertSilenceStart = 2015,
  kCmdInsertSilenceCursor = 2016,
  kCmdInsertSilenceEnd = 2017,
  kCmdCopyToNew = 2021,
  kCmdSelectToStart = 2022,
  kCmdSelectToEnd = 2023,
  kCmdSelectRange = 2027,
  kCmdSaveSelectionAs = 2028,
  kCmdSplitHere = 2029,
  kCmdMarkFirst = 2030,
  kCmdMarkSecond = 2031,
  kCmdSelectMarks = 2032,
};

// The dialog texts of "Speicher markierte Region als...".
inline constexpr char kSaveSelectionTitle[] = "Audiodatei speichern als";
inline constexpr char kReplaceFileQuestion[] =
    "Es existiert bereits eine andere Datei mit dem selben Namen. Möchten sie diese erstezen?";

void AddEditCommands(LCommandTable& table);

}  // namespace klangor
