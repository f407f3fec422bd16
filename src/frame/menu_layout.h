#pragma once
// The main menu: every entry in its order, with its text and shortcut. The entries point at
// commands of the command table by identifier; the menu shows the table's text when the table
// has the command, and an entry whose command is not in the table yet stays in its place,
// disabled. Shortcuts are listed here once; the key table binds them (app/key_table.h).

#include <cstdint>
#include <vector>

namespace klangor {

enum class LMenuKind {
  kCommand,
  kSeparator,
  kSubmenu,
  kRecentFiles,  // the recent-file entries (commands 1050..1060), when there are any
  kWindowList,   // the open wave windows
};

struct LMenuEntry {
  LMenuKind kind = LMenuKind::kCommand;
  int id = 0;                // the command (kCommand)
  const char* text = "";     // with its "&" mnemonic
  uint32_t key = 0;          // the shortcut (frame/key_code.h), 0 for none
  bool checkable = false;    // shows a check mark (the frame sets it)
  std::vector<LMenuEntry> children{};  // kSubmenu
};

// The menu bar: one kSubmenu entry per menu.
const std::vector<LMenuEntry>& MainMenu();

// Every kCommand entry of the menu, depth first (the order of the menus).
std::vector<const LMenuEntry*> MenuCommands();

// The entry of command `id`, or null.
const LMenuEntry* FindMenuCommand(int id);

// The frame's own command identifiers (the others come with their subsystems).
enum LFrameCommandId : int {
  kCmdNew = 1001,
  kCmdOpen = 1002,
  kCmdClose = 1003,
  kCmdSave = 1004,
  kCmdSaveAs = 1005,
  kCmdSettings = 1010,
  kCmdExit = 1048,
  kCmdRecentFirst = 1050,  // 1050..1060: recent files 1..11
  kCmdRecentLast = 1060,
  kCmdUndo = 2001,
  kCmdCut = 2002,
  kCmdCopy = 2003,
  kCmdPaste = 2004,
  kCmdRedo = 2033,
  kCmdRecord = 3001,
  kCmdPlay = 3002,
  kCmdPlaySlow = 3003,
  kCmdPlayNormal = 3004,
  kCmdPlayFast = 3005,
  kCmdStop = 3006,
  kCmdToStart = 3007,
  kCmdRewind = 3008,
  kCmdForward = 3009,
  kCmdToEnd = 3010,
  kCmdRepeat = 3011,
  kCmdCascade = 5009,
  kCmdArrange = 5010,
  kCmdTile = 5011,
  kCmdArrangeIcons = 5012,
  kCmdCloseAll = 5040,
  kCmdHelp = 6000,
  kCmdBatch = 7003,
  kCmdShowCommandBar = 9001,
  kCmdShowMainToolbar = 9002,
  kCmdShowEffectsBar = 9003,
  kCmdCommandBarLeft = 9004,
  kCmdCommandBarRight = 9005,
  kCmdAbout = 9090,
};

}  // namespace klangor
