#pragma once
// Opening and saving files in tests: a private settings store, temporary folder and recording
// interactions, the loaded samples, and ffmpeg's decoding of the same file for reference.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "docio/load_save.h"
#include "docio/open_audio_file.h"
#include "docio/save_audio_file.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"

namespace klangor::test {

class LRecordingInteraction final : public LOpenInteraction {
 public:
  void ShowOpenError(const std::string& text) override { openErrors.push_back(text); }
  void ShowDecoderMessage(const std::string& text) override { decoderMessages.push_back(text); }
  bool RunRawDialog(LRawDlg& /*dialog*/) override {
    ++rawDialogs;
    return acceptRawDialog;
  }
  std::vector<std::string> openErrors;
  std::vector<std::string> decoderMessages;
  int rawDialogs = 0;
  bool acceptRawDialog = true;
};

// Saving's messages, kept; the options dialogs are confirmed.
class LKeptSaveMessages final : public LSaveInteraction {
 public:
  void ShowSaveError(const std::string& text, LSaveFailure /*why*/) override { messages.push_back(text); }
  bool ShowSaveOptions(const std::string& /*extension*/, int /*channels*/) override { return true; }
  std::vector<std::string> messages;
};

// A folder of its own for each test, with settings and temporary files inside it, and the
// shipped shims named as components.
class OpenTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A path in the test's folder.
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Loads `path` through LoadAudioFile with a set prompt flag; the samples, interleaved.
  LResult Load(const std::string& path, LSoundDocument& document, LProgress* progress = nullptr);
  std::vector<int32_t> LoadSamples(const std::string& path, int32_t* rate = nullptr, int* channels = nullptr);
  // Saves `stream` through SaveAudioFile without the options dialogs; the messages go to kept_.
  LResult Save(LRef<LSoundStream> stream, const std::string& path, LProgress* progress = nullptr,
               const LTagList& tags = {});
  // Names a component's program in the settings.
  void SetComponent(const std::string& name, const std::string& program);
  // A shell script in the test's folder.
  std::string WriteScript(const std::string& name, const std::string& body);
  // True when the temporary folder holds nothing (no temporary WAV file, no lock).
  bool TemporaryFolderEmpty() const;

  std::string folder_;
  std::string temporary_;
  LSettingsStore settings_{"", ""};
  LRecordingInteraction ui_;
  LKeptSaveMessages kept_;
  LSilentProgress silent_;
  int64_t decoderTimeoutMs_ = 0;
};

// The first audio stream of `path` as ffmpeg decodes it to 16-bit samples.
std::vector<int16_t> FfmpegSamples(const std::string& path);

// Checks the decoded samples (internal scale) against ffmpeg's 16-bit decoding: exactly
// 16 x the sample, or (lossy) the same length within `frameTolerance` frames and an RMS
// difference below one 16-bit step.
void ExpectLikeFfmpeg(const std::vector<int32_t>& ours, const std::vector<int16_t>& ffmpeg, int channels,
                      bool lossless, int frameTolerance, const std::string& what);

}  // namespace klangor::test
