// The raw format records in the settings, the openers over them, and the raw format dialog.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings_keys.h"
#include "formats/raw_format.h"
#include "formats/vox.h"
#include "native_test_files.h"

namespace klangor {
namespace {

using namespace nativetest;  // NOLINT: test helpers

class RawFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::TempPath("-raw");
    store_ = std::make_unique<LSettingsStore>(folder_ + "/user.ini", folder_ + "/machine.ini");
  }
  std::string folder_;
  std::unique_ptr<LSettingsStore> store_;
};

TEST_F(RawFormatTest, RecordsHaveTheirDefaultsAndLiveMachineWide) {
  LRawFormat vox = LoadRawFormat(*store_, LRawRecord::kVoxAudio);
  EXPECT_EQ(vox.sampleRate, 8000u);
  EXPECT_EQ(vox.channels, 1);
  EXPECT_EQ(vox.codec, 0u);
  LRawFormat raw = LoadRawFormat(*store_, LRawRecord::kRawAudio);
  EXPECT_EQ(raw.sampleRate, 44100u);
  EXPECT_EQ(raw.channels, 1);
  EXPECT_EQ(raw.codec, 3u);

  ASSERT_TRUE(SaveRawFormat(*store_, LRawRecord::kRawAudio, {22050, 2, 6}));
  raw = LoadRawFormat(*store_, LRawRecord::kRawAudio);
  EXPECT_EQ(raw.sampleRate, 22050u);
  EXPECT_EQ(raw.channels, 2);
  EXPECT_EQ(raw.codec, 6u);
  EXPECT_EQ(LoadRawFormat(*store_, LRawRecord::kVoxAudio).sampleRate, 8000u);  // the other record
  // Written to the machine file as well: another user's store falls back to it.
  LSettingsStore otherUser(folder_ + "/other.ini", folder_ + "/machine.ini");
  EXPECT_EQ(LoadRawFormat(otherUser, LRawRecord::kRawAudio).sampleRate, 22050u);
  EXPECT_EQ(test::ReadBytes(folder_ + "/machine.ini").find("[RawAudio]") != std::string::npos, true);

  // A stored channel count of 0 reads as 1 and is written back as 1.
  ASSERT_TRUE(store_->Write(kVoxAudioChannels, 0));
  vox = LoadRawFormat(*store_, LRawRecord::kVoxAudio);
  EXPECT_EQ(vox.channels, 1);
  ASSERT_TRUE(SaveRawFormat(*store_, LRawRecord::kVoxAudio, vox));
  EXPECT_EQ(store_->Read(kVoxAudioChannels), 1);
}

TEST_F(RawFormatTest, OpenersFollowTheRecord) {
  const std::string path = TestPath("rec.raw");
  test::WriteBytes(path, std::string(40, '\x22'));
  // Dialogic ADPCM is always mono at the record's rate.
  LRef<LSoundStream> stream = OpenRawFile({11025, 2, 0}, path);
  EXPECT_TRUE(stream->Usable());
  EXPECT_EQ(stream->Channels(), 1);
  EXPECT_EQ(stream->SampleRate(), 11025);
  EXPECT_EQ(stream->Length(), 80);
  stream = OpenRawFile({11025, 2, 4}, path);
  EXPECT_EQ(stream->Channels(), 2);
  EXPECT_EQ(stream->Length(), 20);
  EXPECT_EQ(ReadFrames(*stream, 1), (std::vector<int32_t>{(0x22 - 128) * 4096, (0x22 - 128) * 4096}));
  EXPECT_EQ(OpenRawFile({11025, 1, 7}, path)->State(), LStreamState::kCorrupt);
  EXPECT_EQ(OpenRawFile({11025, 1, 3}, TestPath("missing.raw"))->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenRawFile({11025, 1, 0}, TestPath("missing.vox"))->State(), LStreamState::kCannotOpen);
  EXPECT_EQ(OpenRawFile({0, 1, 3}, path)->State(), LStreamState::kCorrupt);

  LRef<LSoundSink> sink = CreateRawFile({16000, 2, 0}, TestPath("out.vox"));
  EXPECT_FALSE(sink->Failed());
  EXPECT_EQ(sink->Channels(), 1);
  EXPECT_EQ(sink->SampleRate(), 16000);
  EXPECT_TRUE(CreateRawFile({16000, 1, 99}, TestPath("out.raw"))->Failed());
  EXPECT_TRUE(CreateRawFile({16000, 1, 3}, TestPath("no/folder/out.raw"))->Failed());
  EXPECT_TRUE(CreateRawFile({0xFFFFFFFF, 1, 3}, TestPath("out2.raw"))->Failed());
}

TEST_F(RawFormatTest, DialogChecksTheRateAndSavesTheRecord) {
  EXPECT_EQ(std::vector<std::string>(LRawDlg::EncodingTexts().begin(), LRawDlg::EncodingTexts().end()),
            (std::vector<std::string>{"Dialogic ADPCM", "G711 uLaw", "G711 aLaw", "16 bit PCM (LE)",
                                      "8 bit unsigned", "8 bit signed", "16 bit PCM (BE)"}));
  EXPECT_EQ(std::string(LRawDlg::ChannelTexts()[0]), "1 - Mono");
  EXPECT_EQ(std::string(LRawDlg::ChannelTexts()[1]), "2 - Stereo");

  LRawDlg dialog(LRawRecord::kRawAudio, LoadRawFormat(*store_, LRawRecord::kRawAudio));
  EXPECT_EQ(dialog.encodingIndex, 3);
  EXPECT_EQ(dialog.channelsIndex, 0);
  EXPECT_EQ(dialog.sampleRateText, "44100");
  dialog.encodingIndex = 2;
  dialog.channelsIndex = 1;
  for (const std::string bad : {"5999", "196001", "-8000", "", "8000x", "99999999999"}) {
    dialog.sampleRateText = bad;
    EXPECT_EQ(dialog.Ok(*store_), "Please select a sample rate between 6000 and 196000.") << bad;
    EXPECT_EQ(LoadRawFormat(*store_, LRawRecord::kRawAudio).codec, 3u) << "nothing saved yet";
  }
  for (const std::string good : {"6000", "196000", " 8000 "}) {
    dialog.sampleRateText = good;
    EXPECT_EQ(dialog.Ok(*store_), "") << good;
  }
  const LRawFormat saved = LoadRawFormat(*store_, LRawRecord::kRawAudio);
  EXPECT_EQ(saved.sampleRate, 8000u);
  EXPECT_EQ(saved.channels, 2);
  EXPECT_EQ(saved.codec, 2u);
  EXPECT_EQ(LoadRawFormat(*store_, LRawRecord::kVoxAudio).codec, 0u);

  // A stored codec or channel count the lists do not show selects nothing and stays.
  LRawDlg odd(LRawRecord::kVoxAudio, {8000, 5, 42});
  EXPECT_EQ(odd.encodingIndex, -1);
  EXPECT_EQ(odd.channelsIndex, -1);
  EXPECT_EQ(odd.Ok(*store_), "");
  EXPECT_EQ(odd.Format().codec, 42u);
  EXPECT_EQ(odd.Format().channels, 5);
}

}  // namespace
}  // namespace klangor
