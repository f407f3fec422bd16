// The save options dialogs: the stored values they start from and store, their
// checks, and Save As through a scripted user who cancels or changes the FLAC options.

#include <gtest/gtest.h>

#include "docio/encoder_settings.h"
#include "edit/save_option_dialogs.h"
#include "edit/save_options.h"
#include "edit/save_sound.h"
#include "platform/file.h"
#include "settings/settings_keys.h"
#include "support/command_fixture.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {

class SaveOptionsTest : public test::LCommandFixture {
 protected:
  SaveOptionsTest() : LCommandFixture("-saveopts") {}
};

TEST_F(SaveOptionsTest, DialogsStartFromTheStoredValuesAndStoreThemOnOk) {
  settings_.Write(kMp3CbrBitRate, 192);
  settings_.Write(kMp3ChannelMode, 2);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& mp3 = dynamic_cast<LMp3EncodeDlg&>(model);
    EXPECT_EQ(mp3.Title(), LMp3EncodeDlg::kTitle);
    EXPECT_EQ(LMp3EncodeDlg::BitRates()[mp3.cbrIndex], 192);
    EXPECT_EQ(mp3.channelModeIndex, 2);
    EXPECT_FALSE(mp3.ChannelModeEnabled());  // a mono sound
    EXPECT_FALSE(mp3.VariableRateEnabled());
    mp3.constantBitRate = false;
    mp3.vbrMinIndex = 0;   // 16
    mp3.vbrMaxIndex = 13;  // 192
    EXPECT_EQ(mp3.Validate(), LMp3EncodeDlg::kMinTooLowMessage);
    mp3.vbrMinIndex = 2;  // 32
    mp3.qualityIndex = 7;
    return true;
  });
  EXPECT_TRUE(ShowSaveOptions(context_, ".mp3", 1, 44100));
  const LMp3EncoderSettings mp3 = LoadMp3Settings(settings_);
  EXPECT_FALSE(mp3.constantBitRate);
  EXPECT_EQ(mp3.vbrMinBitRate, 32);
  EXPECT_EQ(mp3.vbrMaxBitRate, 192);
  EXPECT_EQ(mp3.vbrQuality, 7);

  LOggEncodeDlg ogg(LoadOggSettings(settings_), 2);
  ogg.qualityMode = false;
  ogg.minIndex = 5;
  ogg.maxIndex = 2;
  EXPECT_EQ(ogg.Validate(), std::string(LOggEncodeDlg::kMinAboveMaxMessage));
  EXPECT_TRUE(ogg.ChannelsEnabled());

  LFlacEncodeDlg flac(LoadFlacSettings(settings_));
  flac.sampleRateText = "0";
  EXPECT_EQ(flac.Validate(), LFlacEncodeDlg::RateMessage());
  flac.sampleRateText = "abc";
  EXPECT_EQ(flac.Validate(), LFlacEncodeDlg::RateMessage());

  LAACEncodeDlg aac(LoadAacSettings(settings_));
  aac.bitRateText = "9999";  // not used in quality mode
  EXPECT_EQ(aac.Validate(), "");
  aac.averageBitRate = true;
  EXPECT_EQ(aac.Validate(), LAACEncodeDlg::BitRateMessage());

  LPlaylistEncodeDlg list(true, "", LoadMp3Settings(settings_), 2);
  for (const char* bad : {"www.example.org", "file:///tmp", "http://", "http://a b"}) {
    list.rootUrl = bad;
    EXPECT_EQ(list.Validate(), LPlaylistEncodeDlg::kUrlMessage) << bad;
  }
  list.rootUrl = "HTTPS://example.org/casts/";
  EXPECT_EQ(list.Validate(), "");
  list.Store(settings_);
  EXPECT_EQ(LoadRootUrl(settings_), "HTTPS://example.org/casts/");
}

TEST_F(SaveOptionsTest, FormatsWithoutOptionsShowNothing) {
  for (const char* ext : {".au", ".aif", ".aiff", ".gsm", ".xyz"}) {
    EXPECT_TRUE(ShowSaveOptions(context_, ext, 2, 44100)) << ext;
  }
  EXPECT_TRUE(ui_.dialogTitles.empty());
}

TEST_F(SaveOptionsTest, CancellingTheOptionsWritesNothing) {
  const std::string target = test::TempPath(".flac");
  ui_.dialogs.push_back([](LDialogModel&) { return false; });
  const LSegmentList sound = test::Document(44100, 1, test::TestSamples(1, 4410))->sound;
  EXPECT_EQ(SaveSoundAs(context_, sound, target, {}, true), LResult::kCancelled);
  EXPECT_FALSE(FileExists(target));
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(ui_.dialogTitles.size(), 1u);
}

TEST_F(SaveOptionsTest, OkStoresTheFlacOptionsAndTheFileIsWrittenWithThem) {
  if (!test::HaveProgram("flac") || !test::HaveProgram("ffprobe")) GTEST_SKIP() << "flac or ffprobe missing";
  const std::string target = test::TempPath(".flac");
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& flac = dynamic_cast<LFlacEncodeDlg&>(model);
    flac.channelsIndex = 1;
    flac.sampleRateText = "48000";
    flac.compressionIndex = 8;
    return true;
  });
  const LSegmentList sound = test::Document(44100, 1, test::TestSamples(1, 44100))->sound;
  ASSERT_EQ(SaveSoundAs(context_, sound, target, {}, true), LResult::kDone);
  EXPECT_TRUE(ui_.messages.empty());
  const LFlacEncoderSettings stored = LoadFlacSettings(settings_);
  EXPECT_EQ(stored.channels, 2);
  EXPECT_EQ(stored.sampleRate, 48000);
  EXPECT_EQ(stored.compression, 8);
  const std::string probe = test::RunTool({"ffprobe", "-v", "error", "-show_entries", "stream=sample_rate,channels",
                                           "-of", "csv=p=0", target});
  EXPECT_EQ(probe, "48000,2\n");
}

}  // namespace
}  // namespace klangor
