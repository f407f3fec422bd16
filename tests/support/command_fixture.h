#pragma once
// A headless frame, user interface, private settings and a command table, for tests that run
// menu commands through LCommandTable::Dispatch.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "frame/command_table.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "platform/paths.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"
#include "support/test_env.h"

namespace klangor::test {

class LCommandFixture : public ::testing::Test {
 protected:
  explicit LCommandFixture(const std::string& suffix)
      : folder_(TempPath(suffix)),
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
  LHeadlessFrame frame_;
  LHeadlessUi ui_;
  LSettingsStore settings_;
  LCommandTable table_;
  LCommandContext context_;
};

}  // namespace klangor::test
