// "Select Wave File Format": lists that follow the format, a choice that survives a change
// of format where it can, the stored format as the start, and OK storing the choice.

#include <gtest/gtest.h>

#include <algorithm>

#include "docio/wav_codec_file.h"
#include "edit/wave_format_dialog.h"
#include "formats/wav_codec_sink.h"
#include "frame/headless_ui.h"
#include "support/test_env.h"

namespace klangor {
namespace {

TEST(WaveFormatDialogTest, ListsFollowTheFormatAndTheChoiceIsWhatGetsWritten) {
  LWaveFormatDlg dialog(MakePcmFormat(12345, 2, 24));
  // PCM offers the sound's own rate, keeps the bit depth, and names the byte rate.
  EXPECT_EQ(dialog.RateNames()[static_cast<size_t>(dialog.RateIndex())], "12.345 Hz");
  EXPECT_EQ(dialog.DetailNames()[static_cast<size_t>(dialog.DetailIndex())], "24 Bit");
  EXPECT_EQ(*dialog.Chosen(), MakePcmFormat(12345, 2, 24));
  EXPECT_EQ(dialog.Summary(), "PCM, 12.345 Hz, Stereo, 24 Bit: 72 KB/s");

  // GSM is 8000 Hz mono only; MPEG layer 3 then offers the bit rates of that rate.
  const std::vector<std::string> names = dialog.FormatNames();
  const auto index = [&](const char* name) {
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
  };
  dialog.SelectFormat(index("GSM 6.10"));
  EXPECT_EQ(dialog.RateNames(), std::vector<std::string>{"8.000 Hz"});
  EXPECT_EQ(dialog.ChannelNames(), std::vector<std::string>{"Mono"});
  EXPECT_TRUE(dialog.DetailNames().empty());
  EXPECT_EQ(dialog.Chosen()->blockAlign, 65);
  dialog.SelectFormat(index("MPEG Layer-3"));
  EXPECT_EQ(dialog.DetailNames().back(), "160 kBit/s");  // MPEG-2.5 rates end at 160
  dialog.SelectRate(static_cast<int>(dialog.RateNames().size()) - 1);
  EXPECT_EQ(dialog.DetailNames().back(), "320 kBit/s");
  EXPECT_EQ(CodecBitRate(*dialog.Chosen()), 128);
  EXPECT_TRUE(dialog.Validate().empty());

  // A stored record with an unknown tag starts at PCM; one that cannot be encoded is refused.
  LWaveFormat odd = MakePcm16Format(44100, 2);
  odd.formatTag = 0x1234;
  EXPECT_EQ(LWaveFormatDlg(odd).FormatIndex(), 0);
}

TEST(WaveFormatDialogTest, OkStoresTheChoiceAndCancelKeepsTheStoredOne) {
  const std::string file = test::TempPath(".wff");
  LHeadlessUi ui;
  ui.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LWaveFormatDlg&>(model);
    dialog.SelectFormat(1);  // the first compressed format
    return true;
  });
  ASSERT_TRUE(ChooseWaveSaveFormat(ui, file, 22050, 1));
  const std::optional<LWaveFormat> stored = ReadWavCodecFile(file);
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(*stored, *MakeCodecWaveFormat(WaveCodecs()[0].formatTag, 22050, 1));
  ui.dialogs.push_back([](LDialogModel&) { return false; });
  EXPECT_FALSE(ChooseWaveSaveFormat(ui, file, 44100, 2));
  EXPECT_EQ(*ReadWavCodecFile(file), *stored);
}

}  // namespace
}  // namespace klangor
