// The file commands on a frame without windows, with a scripted user: open, save, save as,
// close, new, and what they ask and tell.

#include <gtest/gtest.h>

#include "app/command_set.h"
#include "app/file_commands.h"
#include "app/recent_files.h"
#include "frame/headless_frame.h"
#include "frame/headless_ui.h"
#include "frame/menu_layout.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "store/segment_stream.h"
#include "support/command_fixture.h"
#include "support/test_env.h"

namespace klangor {
namespace {

class FileCommandsTest : public test::LCommandFixture {
 protected:
  FileCommandsTest() : LCommandFixture("-files") {
    AddAllCommands(table_);
    settings_.Write(kPlayWhenOpen, false);
  }
  std::string MakeWave(double seconds = 0.5) {
    const std::string path = test::TempPath(".wav");
    test::RunTool({"sox", "-V1", "-n", "-b", "16", "-c", "2", "-r", "8000", path, "synth", std::to_string(seconds),
                   "sine", "440"});
    return path;
  }
  void Run(int id) { ASSERT_TRUE(table_.Dispatch(id, context_)) << id; }
};

TEST_F(FileCommandsTest, OpenLoadsEachChosenFileIntoAWindow) {
  const std::string a = MakeWave(), b = MakeWave(0.25);
  ui_.openFiles.push_back({a, b});
  Run(kCmdOpen);
  ASSERT_EQ(ui_.openRequests.size(), 1u);
  EXPECT_EQ(ui_.openRequests[0].title, "Audiodatei öffnen");
  EXPECT_EQ(ui_.openRequests[0].filters.front().name, "All Files");
  EXPECT_EQ(ui_.openRequests[0].filters.size(), 24u);
  ASSERT_EQ(frame_.Documents().size(), 2u);
  EXPECT_EQ(frame_.ActiveDocument()->fileName, b);
  EXPECT_EQ(frame_.ActiveDocument()->Length(), 2000);
  EXPECT_FALSE(frame_.ActiveDocument()->modified);
  EXPECT_EQ(settings_.Read(kOpenFileDir), test::TempDir());
  EXPECT_EQ(RecentFiles(settings_).size(), 2u);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(FileCommandsTest, FilesThatDoNotOpenAreReportedOnce) {
  const std::string garbage = test::TempPath(".wav");
  test::WriteBytes(garbage, "this is no wave file at all");
  ui_.openFiles.push_back({"/no/such/file.wav", garbage, MakeWave()});
  Run(kCmdOpen);
  EXPECT_EQ(frame_.Documents().size(), 1u);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].text.find("/no/such/file.wav"), std::string::npos);
  EXPECT_EQ(ui_.messages[0].icon, LIcon::kError);
}

TEST_F(FileCommandsTest, SaveAsWritesTheSoundAndAsksBeforeReplacing) {
  const std::string source = MakeWave();
  bool prompt = true;
  ASSERT_TRUE(OpenAudioDocument(context_, source, &prompt));
  LSoundDocument& document = *frame_.ActiveDocument();
  document.modified = true;
  const std::string existing = MakeWave(0.1);
  const std::string target = test::TempPath(".wav");
  ui_.saveFiles = {existing, target};
  ui_.answers = {LAnswer::kNo};  // not over the existing one: the dialog comes again
  Run(kCmdSaveAs);
  ASSERT_EQ(ui_.saveRequests.size(), 2u);
  EXPECT_EQ(ui_.saveRequests[0].title, "Audiodatei speichern als");
  EXPECT_EQ(ui_.saveRequests[0].filters.size(), 16u);
  EXPECT_EQ(ui_.saveRequests[0].filters[3].name, "Apple AIFF(*.aif, *.aiff)");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].buttons, LButtons::kYesNoCancel);
  EXPECT_EQ(test::SoxSamples16(target), test::SoxSamples16(source));
  EXPECT_EQ(test::SoxSamples16(existing).size(), 1600u);  // untouched
  EXPECT_EQ(document.fileName, target);
  EXPECT_FALSE(document.modified);
  EXPECT_EQ(settings_.Read(kSaveAsFormat), "wav");
}

TEST_F(FileCommandsTest, LowSpaceStopsTheSaveWithItsMessage) {
  bool prompt = true;
  ASSERT_TRUE(OpenAudioDocument(context_, MakeWave(), &prompt));
  frame_.ActiveDocument()->modified = true;
  const std::string target = test::TempPath(".wav");
  frame_.ActiveDocument()->fileName = target;
  ui_.freeBytes = 2 * 1024 * 1024;
  Run(kCmdSave);
  EXPECT_FALSE(FileExists(target));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "Geringer freier Speicher");
  EXPECT_EQ(ui_.messages[0].text.rfind("Kann die Datei nicht speichern, \"" + target + "\"", 0), 0u);
  EXPECT_TRUE(frame_.ActiveDocument()->modified);
}

TEST_F(FileCommandsTest, SavingAFormatThatCannotBeWrittenSaysSo) {
  bool prompt = true;
  ASSERT_TRUE(OpenAudioDocument(context_, MakeWave(), &prompt));
  const std::string target = test::TempPath(".xyz");
  EXPECT_FALSE(SaveDocumentAs(context_, *frame_.ActiveDocument(), target));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_NE(ui_.messages[0].text.find(target), std::string::npos);
  EXPECT_FALSE(FileExists(target));
}

TEST_F(FileCommandsTest, CloseAsksAboutUnsavedWork) {
  bool prompt = true;
  ASSERT_TRUE(OpenAudioDocument(context_, MakeWave(), &prompt));
  LSoundDocument& document = *frame_.ActiveDocument();
  document.modified = true;
  ui_.answers = {LAnswer::kCancel};
  Run(kCmdClose);
  ASSERT_EQ(frame_.Documents().size(), 1u);
  EXPECT_EQ(ui_.messages.back().text, "Speichere Änderungen in \"" + FileNameOf(document.fileName) + "\"?");
  // Yes with a save that is cancelled keeps the window too.
  document.fileName.clear();
  ui_.answers = {LAnswer::kYes};
  Run(kCmdClose);
  EXPECT_EQ(frame_.Documents().size(), 1u);
  ui_.answers = {LAnswer::kNo};
  Run(kCmdClose);
  EXPECT_TRUE(frame_.Documents().empty());
}

TEST_F(FileCommandsTest, NewSoundsAreNamedUnbenanntAndTakeTheDialogsFormat) {
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LNewFileDialog&>(model);
    dialog.sampleRate = 1000;  // refused: the dialog stays (here: is cancelled)
    return true;
  });
  Run(kCmdNew);
  EXPECT_TRUE(frame_.Documents().empty());
  EXPECT_EQ(ui_.messages.back().text, LNewFileDialog::kRateMessage);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LNewFileDialog&>(model);
    dialog.sampleRate = 22050;
    dialog.channels = 2;
    return true;
  });
  Run(kCmdNew);
  Run(kCmdNew);
  ASSERT_EQ(frame_.Documents().size(), 2u);
  EXPECT_EQ(DocumentName(*frame_.Documents()[0]), "Unbenannt 1");
  EXPECT_EQ(DocumentName(*frame_.Documents()[1]), "Unbenannt 2");
  EXPECT_EQ(frame_.Documents()[0]->sound.SampleRate(), 22050);
  EXPECT_EQ(frame_.Documents()[0]->sound.Channels(), 2);
  EXPECT_FALSE(frame_.Documents()[0]->modified);
  EXPECT_EQ(settings_.Read(kSelectedSampleRate), 22050);
}

TEST_F(FileCommandsTest, EveryCommandOfTheTableHasAMenuEntryOrIsARecentFile) {
  for (const auto& [id, command] : table_.Commands()) {
    if (RecentSlotOfCommand(id) != 0) continue;
    const LMenuEntry* entry = FindMenuCommand(id);
    ASSERT_NE(entry, nullptr) << id << " " << command.menuText;
    EXPECT_EQ(command.menuText, entry->text) << id;
  }
}

}  // namespace
}  // namespace klangor
