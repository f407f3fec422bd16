// The frame's parts without windows: recent files, window placement, the key table.

#include <gtest/gtest.h>

#include "app/key_table.h"
#include "app/recent_files.h"
#include "app/window_placement.h"
#include "frame/menu_layout.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"
#include "support/test_env.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

LSettingsStore PrivateSettings() { return LSettingsStore(test::TempPath(".ini"), test::TempPath(".ini")); }

TEST(RecentFilesTest, TwelfthFileReplacesTheOldestAndReopeningRefreshesTheDate) {
  LSettingsStore settings = PrivateSettings();
  for (int i = 1; i <= 11; ++i) EXPECT_EQ(AddRecentFile(settings, "/f" + std::to_string(i), 1000 + i), i);
  // Slot 4 is made the newest; slot 1 is now the oldest.
  EXPECT_EQ(AddRecentFile(settings, "/f4", 5000), 4);
  EXPECT_EQ(settings.Read(kRecentFileDate[3]), 5000);
  EXPECT_EQ(AddRecentFile(settings, "/f12", 6000), 1);
  EXPECT_EQ(AddRecentFile(settings, "/f13", 7000), 2);
  const std::vector<LRecentFile> files = RecentFiles(settings);
  ASSERT_EQ(files.size(), 11u);
  EXPECT_EQ(files[0].path, "/f12");
  EXPECT_EQ(RecentMenuText(files[0]), "&1./f12");
  EXPECT_EQ(RecentCommand(11), 1060);
  EXPECT_EQ(RecentSlotOfCommand(1050), 1);
  EXPECT_EQ(RecentSlotOfCommand(1061), 0);
  EXPECT_EQ(AddRecentFile(settings, "", 1), 0);
}

TEST(WindowPlacementTest, AbsurdPlacementsLandOnAScreen) {
  const std::vector<LRect> screens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  struct {
    LRect stored;
    LRect placed;
  } cases[] = {
      {{160, 80, 740, 627}, {160, 80, 740, 627}},             // the defaults, unchanged
      {{-50000, -50000, 740, 627}, {0, 0, 740, 627}},         // off every screen: onto the first
      {{100, 100, -5, -7}, {100, 100, 740, 627}},             // negative sizes: the defaults
      {{0, 0, 100000, 100000}, {0, 0, 1920, 1080}},           // larger than the screen
      {{3000, 900, 800, 600}, {2400, 424, 800, 600}},         // mostly on the second screen
      {{10, 10, 10, 10}, {10, 10, kMinWindowWidth, kMinWindowHeight}},
  };
  for (const auto& c : cases) EXPECT_EQ(FitOnScreens(c.stored, screens), c.placed) << c.stored.x << "," << c.stored.y;
  EXPECT_EQ(FitOnScreens({5, 5, 0, 0}, {}), (LRect{5, 5, 740, 627}));
}

TEST(WindowPlacementTest, AMaximisedWindowKeepsItsNormalSizeOnDisk) {
  LSettingsStore settings = PrivateSettings();
  SaveWindowPlacement(settings, {10, 20, 800, 600}, /*maximized=*/false, false, 1920);
  SaveWindowPlacement(settings, {0, 0, 1920, 1080}, /*maximized=*/true, false, 1920);
  LWindowPlacement placement = ReadWindowPlacement(settings);
  EXPECT_TRUE(placement.maximized);
  EXPECT_EQ(placement.normal, (LRect{10, 20, 800, 600}));
  // The right edge is clamped to the desktop's; a minimised window writes nothing.
  SaveWindowPlacement(settings, {1500, 20, 800, 600}, false, false, 1920);
  SaveWindowPlacement(settings, {1, 1, 1, 1}, false, /*minimized=*/true, 1920);
  placement = ReadWindowPlacement(settings);
  EXPECT_FALSE(placement.maximized);
  EXPECT_EQ(placement.normal, (LRect{1500, 20, 420, 600}));
}

TEST(KeyTableTest, UserBindingsWinOverTheMenuShortcuts) {
  LKeyTable keys({{kKeyCtrl | KeyChar('Z'), {2007, 2010}}});
  std::vector<int> ran;
  auto run = [&](int id) { ran.push_back(id); };
  EXPECT_EQ(keys.KeyDown(kKeyCtrl | KeyChar('Z'), false, nullptr, run), LKeyTable::LKeyResult::kConsumed);
  EXPECT_EQ(ran, (std::vector<int>{2007, 2010}));
  ran.clear();
  EXPECT_EQ(keys.KeyDown(kKeyCtrl | KeyChar('Y'), false, nullptr, run), LKeyTable::LKeyResult::kConsumed);
  EXPECT_EQ(keys.KeyDown(kKeyCtrl | kVkAdd, false, nullptr, run), LKeyTable::LKeyResult::kConsumed);
  EXPECT_EQ(keys.KeyDown(KeyChar('Q'), false, nullptr, run), LKeyTable::LKeyResult::kUnused);
  EXPECT_EQ(ran, (std::vector<int>{2033, 5001}));
  // A held cue key does not repeat; other keys do.
  ran.clear();
  keys.KeyDown(KeyF(7), false, nullptr, run);
  keys.KeyDown(KeyF(7), true, nullptr, run);
  keys.KeyDown(kVkDelete, true, nullptr, run);
  EXPECT_EQ(ran, (std::vector<int>{3008, 2006}));
}

TEST(KeyTableTest, EveryMenuShortcutIsBound) {
  LKeyTable keys;
  for (const LMenuEntry* entry : MenuCommands()) {
    if (entry->key != 0) {
      EXPECT_EQ(keys.CommandsOf(entry->key), (std::vector<int32_t>{entry->id})) << entry->text;
    }
  }
}

TEST(KeyTableTest, ShiftSelectsFromWhereItWentDown) {
  auto document = MakeRef<LSoundDocument>();
  document->sound = test::MakeSound(8000, 1, std::vector<int32_t>(1000, 1));
  document->cursor = 300;
  LKeyTable keys;
  std::vector<int> ran;
  auto run = [&](int id) { ran.push_back(id); };
  keys.KeyDown(kKeyShift | kVkShift, false, document.Get(), run);
  EXPECT_TRUE(keys.KeySelecting());
  EXPECT_EQ(keys.KeyDown(kKeyShift | kVkEnd, false, document.Get(), run), LKeyTable::LKeyResult::kSelected);
  EXPECT_EQ(document->selectionStart, 300);
  EXPECT_EQ(document->selectionEnd, 1000);
  EXPECT_EQ(document->cursor, 1000);
  EXPECT_EQ(keys.KeyDown(kKeyShift | kVkHome, false, document.Get(), run), LKeyTable::LKeyResult::kSelected);
  EXPECT_EQ(document->selectionStart, 0);
  EXPECT_EQ(document->selectionEnd, 300);
  EXPECT_EQ(document->cursor, 0);
  keys.KeyUp(kVkShift);
  EXPECT_FALSE(keys.KeySelecting());
  EXPECT_TRUE(ran.empty());
  // Without key selection Shift+Home is the menu's "Anfang markieren".
  keys.KeyDown(kKeyShift | kVkHome, false, nullptr, run);
  EXPECT_EQ(ran, (std::vector<int>{2022}));
}

}  // namespace
}  // namespace klangor
