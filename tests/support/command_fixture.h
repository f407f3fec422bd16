#pragma once
// A headless frame, user interface, private settings and a command table, for tests that run
// menu commands through LCommandTable::Dispatch. On request the temporary folder (TMPDIR) and
// the data folder (XDG_DATA_HOME) are private to the test as well.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "frame/command_table.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "platform/paths.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor::test {

struct LFixtureFolders {
  bool privateTemp = false;  // TMPDIR is the test's folder
  bool privateData = false;  // XDG_DATA_HOME is its "data" subfolder
};

class LCommandFixture : public ::testing::Test {
 protected:
  explicit LCommandFixture(const std::string& suffix, LFixtureFolders folders = {})
      : folder_(TempPath(suffix)),
        tmp_(folders.privateTemp ? std::make_unique<LScopedEnv>("TMPDIR", folder_) : nullptr),
        data_(folders.privateData ? std::make_unique<LScopedEnv>("XDG_DATA_HOME", folder_ + "/data") : nullptr),
        settings_(folder_ + "/user.ini", folder_ + "/machine.ini"),
        context_{frame_, ui_, settings_} {
    EnsureFolder(folder_);
  }

  // Opens `sound` as the active document.
  LSoundDocument& OpenSound(LSegmentList sound, std::string fileName = {}, bool modified = false) {
    auto document = MakeRef<LSoundDocument>();
    document->sound = std::move(sound);
    document->fileName = std::move(fileName);
    document->modified = modified;
    document->LengthChanged();
    frame_.OpenDocument(document);
    return *document;
  }

  std::string folder_;
  std::unique_ptr<LScopedEnv> tmp_;
  std::unique_ptr<LScopedEnv> data_;
  LHeadlessFrame frame_;
  LHeadlessUi ui_;
  LSettingsStore settings_;
  LCommandTable table_;
  LCommandContext context_;
};

}  // namespace klangor::test
