// "Aufnehmen...": the recorder dialog's model over the virtual input (takes, transport, bad
// names and folders, the mixer's inputs) and the command that inserts the take at the cursor.

#include <gtest/gtest.h>

#include <chrono>

#include "app/file_commands.h"
#include "app/record_command.h"
#include "device/memory_mixer.h"
#include "frame/menu_layout.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"
#include "support/command_fixture.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using namespace std::chrono_literals;

class RecordCommandTest : public test::LCommandFixture {
 protected:
  RecordCommandTest()
      : LCommandFixture("-record"),
        source_(MakeRef<test::LFunctionStream>(8000, 1, 4000, [](int64_t f, int) {
          return static_cast<int32_t>((f % 200 - 100) * 1600);
        })),
        inputs_(Input()),
        outputs_(Output()) {
    settings_.Write(kRecorderAutotrim, false);
  }
  static LVirtualOutputOptions Output() {
    LVirtualOutputOptions options;
    options.pacing = LPacing::kAsFastAsPossible;
    return options;
  }
  LVirtualInputOptions Input() {
    LVirtualInputOptions options;
    options.pacing = LPacing::kAsFastAsPossible;
    options.source = [this] {
      source_->Seek(0);
      return LRef<LSoundStream>(source_);
    };
    return options;
  }
  std::unique_ptr<LRecordDialog> Dialog(int32_t rate = 8000, int channels = 1, std::string folder = {}) {
    return std::make_unique<LRecordDialog>(
        LRecordDialogParts{loop_, inputs_, outputs_, mixer_, settings_, folder.empty() ? folder_ + "/takes" : folder},
        rate, channels);
  }
  void WaitStopped(LRecordDialog& dialog) {
    EXPECT_TRUE(loop_.RunUntil([&] { return dialog.State() == LRecorderState::kIdle; }, 10s));
  }
  // A dialog script: one new take, recorded to the input's end.
  std::function<bool(LDialogModel&)> RecordOneTake() {
    return [this](LDialogModel& model) {
      auto& dialog = dynamic_cast<LRecordDialog&>(model);
      EXPECT_TRUE(dialog.NewTake()) << dialog.Message();
      WaitStopped(dialog);
      return true;
    };
  }
  void AddCommand() {
    AddFileCommands(table_);
    AddRecordCommand(table_, [this](int32_t rate, int channels) { return Dialog(rate, channels); });
  }

  LRunLoop loop_;
  LRef<test::LFunctionStream> source_;
  LVirtualInputDevices inputs_;
  LVirtualOutputDevices outputs_;
  LMixerOpener mixer_;
};

TEST_F(RecordCommandTest, TheTakeGoesInAtTheCursorAsOneUndoStepOrIntoANewDocument) {
  AddCommand();
  LSoundDocument& document = OpenSound(test::MakeSound(8000, 1, std::vector<int32_t>(1000, 160)));
  document.cursor = 500;
  ui_.dialogs.push_back(RecordOneTake());
  ASSERT_TRUE(table_.Dispatch(kCmdRecord, context_));
  ASSERT_EQ(document.Length(), 5000);
  EXPECT_EQ(document.selectionStart, 500);
  EXPECT_EQ(document.selectionEnd, 4500);
  EXPECT_EQ(document.cursor, 500);
  EXPECT_TRUE(document.modified);
  LSegmentStream stream(document.sound);
  std::vector<int32_t> got(5000);
  stream.Read(got.data(), 5000);
  const std::vector<int32_t> want = test::ReadAll(*source_);
  EXPECT_EQ(std::vector<int32_t>(got.begin() + 500, got.begin() + 4500), want);
  EXPECT_EQ(got[499], 160);
  EXPECT_EQ(got[4500], 160);

  // Without a document: "Neu..." first (here at 8000 Hz mono), then the take.
  frame_.CloseDocument(document);
  ui_.dialogs.push_back([](LDialogModel& model) {
    auto& dialog = dynamic_cast<LNewFileDialog&>(model);
    dialog.sampleRate = 8000;
    dialog.channels = 1;
    return true;
  });
  ui_.dialogs.push_back(RecordOneTake());
  ASSERT_TRUE(table_.Dispatch(kCmdRecord, context_));
  ASSERT_NE(frame_.ActiveDocument(), nullptr);
  EXPECT_EQ(frame_.ActiveDocument()->Length(), 4000);

  // A cancelled dialog changes nothing.
  ui_.dialogs.push_back([](LDialogModel&) { return false; });
  table_.Dispatch(kCmdRecord, context_);
  EXPECT_EQ(frame_.ActiveDocument()->Length(), 4000);
}

TEST_F(RecordCommandTest, TransportKeepsTheTakeListAndRefusesBadNamesAndFolders) {
  auto dialog = Dialog();
  EXPECT_EQ(dialog->name, "Aufnahme 1");
  ASSERT_TRUE(dialog->NewTake());
  WaitStopped(*dialog);
  ASSERT_EQ(dialog->Takes().size(), 1u);
  EXPECT_EQ(dialog->Takes()[0].frames, 4000);
  EXPECT_EQ(dialog->name, "Aufnahme 2");
  // Record again: continues at the take's end.
  ASSERT_TRUE(dialog->Record());
  WaitStopped(*dialog);
  EXPECT_EQ(dialog->Takes()[0].frames, 8000);
  // Retake: the take starts anew.
  ASSERT_TRUE(dialog->Retake());
  WaitStopped(*dialog);
  EXPECT_EQ(dialog->Takes()[0].frames, 4000);
  dialog->ToStart();
  EXPECT_TRUE(loop_.RunUntil([&] { return !dialog->Listening(); }, 5s));

  dialog->name = "a/b";
  EXPECT_FALSE(dialog->NewTake());
  EXPECT_EQ(dialog->Message(), LRecordDialog::kSlashMessage);
  EXPECT_EQ(dialog->Validate(), LRecordDialog::kSlashMessage);
  EXPECT_EQ(dialog->Takes().size(), 1u);
  EXPECT_EQ(dialog->ChosenTakePath(), dialog->Takes()[0].path);

  auto unwritable = Dialog(8000, 1, "/proc/klangor-takes");
  EXPECT_FALSE(unwritable->NewTake());
  EXPECT_NE(unwritable->Message().find("/proc/klangor-takes"), std::string::npos);
  EXPECT_TRUE(unwritable->ChosenTakePath().empty());
}

TEST_F(RecordCommandTest, TheInputListAndVolumeGoThroughTheMixer) {
  auto mixer = std::make_shared<LMemoryMixer>();
  LMixerDestination& waveIn = mixer->destinations[LDestinationKind::kWaveIn];
  waveIn.line.id = 1;
  waveIn.line.name = "Capture";
  for (int i = 0; i < 3; ++i) {
    LMixerLine line;
    line.id = 10 + i;
    line.name = i == 0 ? "Mic" : (i == 1 ? "Line" : "CD");
    line.controls.resize(1);  // one volume control
    waveIn.sources.push_back(line);
  }
  mixer_ = [mixer](int, bool) -> std::unique_ptr<LMixer> {
    struct LView final : LMixer {
      std::shared_ptr<LMemoryMixer> m;
      std::optional<LMixerDestination> Destination(LDestinationKind k) override { return m->Destination(k); }
      bool SetControl(int line, size_t index, const LMixerControl& c) override { return m->SetControl(line, index, c); }
    };
    auto view = std::make_unique<LView>();
    view->m = mixer;
    return view;
  };
  auto dialog = Dialog();
  EXPECT_EQ(dialog->InputNames(), (std::vector<std::string>{kSystemInputName, "Mic", "Line", "CD"}));
  dialog->input = 1;
  dialog->recordVolumeDb = 0;
  dialog->ApplyInput();
  EXPECT_EQ(mixer->destinations[LDestinationKind::kWaveIn].sources[1].controls[0].value, 51264u);
  EXPECT_EQ(mixer->destinations[LDestinationKind::kWaveIn].sources[0].controls[0].value, 0u);
  EXPECT_EQ(dialog->Validate(), "");
  EXPECT_EQ(settings_.Read(kRecorderChannel), 1);
}

}  // namespace
}  // namespace klangor
