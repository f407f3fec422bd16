// The working folder the settings choose (and the fallbacks of unusable ones), and
// klangor-batch working there: cleaning up a crashed process's blocks, leaving nothing behind.

#include <gtest/gtest.h>
#include <sys/time.h>

#include <cstdlib>
#include <ctime>

#include "app/working_folder.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "support/test_env.h"

namespace klangor {
namespace {

class WorkingFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempPath("-working");
    setenv("XDG_DATA_HOME", (folder_ + "/data").c_str(), 1);
    defaultFolder_ = folder_ + "/data/Tessaly Audio/Klangor";
  }
  void TearDown() override { unsetenv("XDG_DATA_HOME"); }
  std::string folder_;
  std::string defaultFolder_;
};

TEST_F(WorkingFolderTest, TheSettingsChooseTheFolder) {
  LSettingsStore settings(folder_ + "/Klangor.ini", "");
  EXPECT_EQ(ChooseWorkingFolder(settings), defaultFolder_);
  EXPECT_EQ(DefaultWorkingFolder(), defaultFolder_);

  const std::string chosen = folder_ + "/deep/chosen";
  ASSERT_TRUE(settings.Write(kWorkingFolder, chosen));
  EXPECT_EQ(ChooseWorkingFolder(settings), defaultFolder_);  // the default is still in use
  ASSERT_TRUE(settings.Write(kUseDefaultWorkingDir, false));
  EXPECT_EQ(ChooseWorkingFolder(settings), chosen);
  EXPECT_TRUE(IsFolder(chosen));

  // Unusable folders fall back to the default one.
  test::WriteBytes(folder_ + "/plain", "");
  for (const std::string& bad : {std::string(), std::string("relative/folder"), folder_ + "/plain/sub"}) {
    ASSERT_TRUE(settings.Write(kWorkingFolder, bad));
    EXPECT_EQ(ChooseWorkingFolder(settings), defaultFolder_) << bad;
  }

  const char* home = std::getenv("HOME");
  const std::string oldHome = home != nullptr ? home : "";
  setenv("HOME", folder_.c_str(), 1);
  ASSERT_TRUE(settings.Write(kWorkingFolder, "~/in home"));
  EXPECT_EQ(ChooseWorkingFolder(settings), folder_ + "/in home");
  setenv("HOME", oldHome.c_str(), 1);
}

// A block folder that looks left behind by a crashed process: no lock, untouched for minutes.
// A program that works in `folder` removes it at start.
std::string PlantStaleBlockFolder(const std::string& folder) {
  const std::string stale = folder + "/klangor-blocks-stale0";
  EXPECT_TRUE(EnsureFolder(stale));
  timeval old[2] = {{::time(nullptr) - 600, 0}, {::time(nullptr) - 600, 0}};
  EXPECT_EQ(::utimes(stale.c_str(), old), 0);
  return stale;
}

std::string WaveFile(int32_t frames) {
  std::string data;
  for (int32_t i = 0; i < frames; ++i) data += test::Le16(static_cast<uint32_t>(i * 37) & 0xffff);
  return "RIFF" + test::Le32(36 + data.size()) + "WAVEfmt " + test::Le32(16) + test::Le16(1) +
         test::Le16(1) + test::Le32(8000) + test::Le32(16000) + test::Le16(2) + test::Le16(16) +
         "data" + test::Le32(data.size()) + data;
}

TEST_F(WorkingFolderTest, KlangorBatchWorksInTheFolderTheSettingsName) {
  const std::string chosen = folder_ + "/chosen";
  const std::string config = folder_ + "/config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  setenv("KLANGOR_MACHINE_SETTINGS", (folder_ + "/machine.ini").c_str(), 1);
  ASSERT_TRUE(EnsureFolder(config + "/Tessaly Audio"));
  test::WriteBytes(config + "/Tessaly Audio/Klangor.ini",
                   "[Settings]\nUseDefaultWorkingDir=0\nWorkingFolder=" + chosen + "\n");
  const std::string staleChosen = PlantStaleBlockFolder(chosen);
  ASSERT_TRUE(EnsureFolder(defaultFolder_));
  const std::string staleDefault = PlantStaleBlockFolder(defaultFolder_);
  const std::string input = folder_ + "/in.wav";
  test::WriteBytes(input, WaveFile(4000));

  ASSERT_TRUE(EnsureFolder(folder_ + "/out"));
  const test::LBatchRun run = test::RunKlangorBatch({"-q", "--output-folder", folder_ + "/out", input});
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("KLANGOR_MACHINE_SETTINGS");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string written = test::ReadBytes(folder_ + "/out/in.wav");
  const std::string samples = WaveFile(4000).substr(44);
  ASSERT_GE(written.size(), samples.size());
  EXPECT_EQ(written.substr(written.size() - samples.size()), samples);
  // The program cleaned up in the chosen folder and did not touch the default one.
  EXPECT_FALSE(IsFolder(staleChosen));
  EXPECT_TRUE(IsFolder(staleDefault));
  for (const std::string& name : ListFolder(chosen)) ADD_FAILURE() << "left behind: " << name;
}

}  // namespace
}  // namespace klangor
