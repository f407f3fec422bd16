// The play commands over the frame model with the virtual device: what each command plays
// (captured), where it leaves the cursor, the speeds, repeat, go to start and end, cueing,
// the device message, and the frame model's player interface.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "device/volume.h"
#include "effects/cue_stream.h"
#include "effects/grain_stretch.h"
#include "frame/frame_model.h"
#include "frame/headless_ui.h"
#include "player/loop_stream.h"
#include "player/playback.h"
#include "player_test_util.h"
#include "platform/paths.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"
#include "support/test_streams.h"

namespace klangor {
namespace {

using namespace std::chrono_literals;

LPlayStreams EffectStreams() { return {MakeTimeStretch, MakeCueStream}; }

struct LQuietView final : LFrameView {
  void DocumentOpened(LSoundDocument&) override {}
  void DocumentClosed(LSoundDocument&) override {}
  void ArrangeWindows() override {}
  void RefreshBars() override { ++refreshes; }
  void EnableSave(bool) override {}
  void RefreshUndoMenu(const LUndoMenuState&) override {}
  void RedrawDocument(LSoundDocument&) override { ++redraws; }
  int refreshes = 0;
  int redraws = 0;
};

class PlaybackTest : public ::testing::Test {
 protected:
  explicit PlaybackTest(LPacing pacing = LPacing::kAsFastAsPossible)
      : folder_(test::TempPath("-play")),
        settings_(folder_ + "/user.ini", folder_ + "/machine.ini"),
        capture_(folder_ + "/capture.wav"),
        devices_({pacing, capture_}),
        playback_(loop_, devices_, settings_, EffectStreams()),
        frame_(view_, playback_),
        context_{frame_, ui_, settings_} {
    EnsureFolder(folder_);
    playback_.Attach(&frame_, &ui_);
    playback_.SetDisplay(&display_);
    AddPlayCommands(table_, playback_);
  }

  // A stereo document at 22050 Hz whose frames are all different.
  LSoundDocument& Open(int32_t frames) {
    std::vector<int32_t> samples(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int32_t>(std::lround(std::sin(static_cast<double>(i) * 0.003) * 30000.0)) * 16;
    }
    auto document = MakeRef<LSoundDocument>();
    document->sound = test::MakeSound(22050, 2, samples);
    document->LengthChanged();
    frame_.OpenDocument(document);
    return *document;
  }
  void Run(int id) { ASSERT_TRUE(table_.Dispatch(id, context_)); }
  void RunToEnd() { ASSERT_TRUE(loop_.RunUntil([this] { return !playback_.IsPlaying(); }, 20s)); }
  // The document from `from` to `to` as the player must play it.
  std::vector<int16_t> Expected(const LSoundDocument& document, int32_t from, int32_t to) {
    LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
    reader->Seek(from);
    return test::Expected16(reader, to - from);
  }

  std::string folder_;
  LSettingsStore settings_;
  std::string capture_;
  LRunLoop loop_;
  LVirtualOutputDevices devices_;
  LPlayback playback_;
  LQuietView view_;
  LFrameModel frame_;
  LHeadlessUi ui_;
  LCommandContext context_;
  LCommandTable table_;
  test::LRecordingListener display_;
};

TEST_F(PlaybackTest, PlayRunsFromTheCursorToTheEndAndLeavesTheCursorThere) {
  LSoundDocument& document = Open(50000);
  document.cursor = 10000;
  Run(kCmdPlay);
  EXPECT_TRUE(playback_.IsPlaying());
  EXPECT_EQ(playback_.PlayedDocument(), &document);
  RunToEnd();
  EXPECT_EQ(test::CaptureSamples(capture_), Expected(document, 10000, 50000));
  EXPECT_EQ(document.cursor, 50000);
  EXPECT_EQ(display_.calls.front().what, "Started");
  EXPECT_EQ(display_.calls.back().what, "Stopped");
  EXPECT_GE(view_.refreshes, 2);
  // Playing again from the end (within the last second) starts from the beginning.
  Run(kCmdPlay);
  RunToEnd();
  EXPECT_EQ(test::CaptureSamples(capture_), Expected(document, 0, 50000));
  // So does a cursor half a second before the end.
  document.cursor = 50000 - 11025;
  Run(kCmdPlay);
  RunToEnd();
  EXPECT_EQ(test::CaptureSamples(capture_).size(), 100000u);
}

TEST_F(PlaybackTest, ASelectionPlaysFromItsStartToItsEnd) {
  LSoundDocument& document = Open(60000);
  document.SetSelection(30000, 12345, 40000);
  Run(kCmdPlay);
  RunToEnd();
  EXPECT_EQ(test::CaptureSamples(capture_), Expected(document, 12345, 30000));
  EXPECT_EQ(document.cursor, 30000);
}

TEST_F(PlaybackTest, SlowAndFastPlayTheTimeStretchAndKeepTheCursorInDocumentFrames) {
  LSoundDocument& document = Open(30000);
  for (auto [speed, factor] : {std::pair{LPlaySpeed::kSlow, 0.5}, {LPlaySpeed::kFast, 1.5}}) {
    document.cursor = 0;
    playback_.SetSpeed(speed);  // stores the speed and plays
    RunToEnd();
    LRef<LSoundStream> stretched = MakeTimeStretch(OpenSegmentStream(document.sound), factor);
    const int32_t length = stretched->Length();
    const std::vector<int16_t> got = test::CaptureSamples(capture_);
    EXPECT_EQ(got, test::Expected16(stretched, length)) << factor;
    EXPECT_EQ(document.cursor, 30000) << factor;  // the end of the document, not of the stretch
  }
  EXPECT_EQ(settings_.Read(kPlaySpeed), 2);
  Run(kCmdPlayNormal);
  RunToEnd();
  EXPECT_EQ(settings_.Read(kPlaySpeed), 1);
  EXPECT_EQ(test::CaptureSamples(capture_).size(), 60000u);
}

TEST_F(PlaybackTest, RepeatLoopsTheSelectionAtEverySpeed) {
  LSoundDocument& document = Open(44100);
  Run(kCmdRepeat);
  EXPECT_TRUE(settings_.Read(kPlayRepeat));
  document.SetSelection(11025, 22050, 11025);  // 0.5 s to 1 s
  Run(kCmdPlay);
  loop_.RunUntil([] { return false; }, 100ms);
  Run(kCmdStop);
  std::vector<int16_t> got = test::CaptureSamples(capture_);
  ASSERT_GT(got.size(), 4u * 11025 * 2);
  {
    LSegmentList upToEnd = document.sound;
    upToEnd.TrimEnd(22050);
    LRef<LSoundStream> reader = OpenSegmentStream(upToEnd);
    reader->Seek(11025);
    EXPECT_EQ(got, test::Expected16(MakeLoopStream(reader, 500, 1000), static_cast<int32_t>(got.size() / 2)));
  }
  // The cursor stays within the selection.
  EXPECT_GE(document.cursor, 11025);
  EXPECT_LE(document.cursor, 22050);
  // At slow speed the loop covers the same half second of the document: twice as long.
  playback_.SetSpeed(LPlaySpeed::kSlow);
  loop_.RunUntil([] { return false; }, 100ms);
  Run(kCmdStop);
  got = test::CaptureSamples(capture_);
  {
    LSegmentList upToEnd = document.sound;
    upToEnd.TrimEnd(22050);
    LRef<LSoundStream> reader = OpenSegmentStream(upToEnd);
    reader->Seek(11025);
    LRef<LSoundStream> loop = MakeRef<LLoopStream>(MakeTimeStretch(reader, 0.5), 22050, 44100);
    EXPECT_EQ(got, test::Expected16(loop, static_cast<int32_t>(got.size() / 2)));
  }
  EXPECT_GE(document.cursor, 11025);
  EXPECT_LE(document.cursor, 22050);
  Run(kCmdRepeat);
  EXPECT_FALSE(settings_.Read(kPlayRepeat));
}

TEST_F(PlaybackTest, NoDeviceShowsTheMessage) {
  Open(1000);
  settings_.Write(kSoundOutDevice, 3);
  LVirtualOutputDevices none({}, 0);
  LPlayback playback(loop_, none, settings_, EffectStreams());
  playback.Attach(&frame_, &ui_);
  playback.PlayActive();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, kOutputDeviceMessage);
  EXPECT_EQ(ui_.messages[0].caption, "Klangor");
  EXPECT_EQ(ui_.messages[0].icon, LIcon::kInformation);
  EXPECT_FALSE(playback.IsPlaying());
}

TEST_F(PlaybackTest, WithoutADocumentNothingHappens) {
  Run(kCmdPlay);
  Run(kCmdToStart);
  Run(kCmdToEnd);
  Run(kCmdRewind);
  EXPECT_FALSE(playback_.IsPlaying());
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PlaybackTest, PlayWhenOpenFollowsTheSetting) {
  Open(1000);
  settings_.Write(kPlayWhenOpen, false);
  playback_.PlayWhenOpened();
  EXPECT_FALSE(playback_.IsPlaying());
  settings_.Write(kPlayWhenOpen, true);
  playback_.PlayWhenOpened();
  EXPECT_TRUE(playback_.IsPlaying());
  RunToEnd();
}

TEST_F(PlaybackTest, TheFrameModelsPlayerPlaysFromTheGivenFrame) {
  LSoundDocument& document = Open(20000);
  LPlayer& player = frame_.Player();
  player.Play(document, 19000);  // kept, although within the last second
  EXPECT_TRUE(player.IsPlaying());
  RunToEnd();
  EXPECT_EQ(test::CaptureSamples(capture_), Expected(document, 19000, 20000));
  player.Play(document, 0);
  frame_.StopPlayback();
  EXPECT_FALSE(player.IsPlaying());
}

TEST_F(PlaybackTest, GoToStartAndEndWhileStopped) {
  LSoundDocument& document = Open(40000);
  document.cursor = 1234;
  document.visibleStart = 10000;
  document.visibleEnd = 20000;
  Run(kCmdToEnd);
  EXPECT_EQ(document.cursor, 40000);
  EXPECT_EQ(document.visibleEnd, 40000);
  EXPECT_EQ(document.visibleStart, 30000);
  Run(kCmdToStart);
  EXPECT_EQ(document.cursor, 0);
  EXPECT_EQ(document.visibleStart, 0);
  EXPECT_EQ(view_.redraws, 2);
}

class RealTimePlaybackTest : public PlaybackTest {
 protected:
  RealTimePlaybackTest() : PlaybackTest(LPacing::kRealTime) {}
  void RunFor(std::chrono::milliseconds time) {
    loop_.RunUntil([] { return false; }, time);
  }
};

TEST_F(RealTimePlaybackTest, GoToEndWhilePlayingStartsOneSecondBeforeTheEnd) {
  LSoundDocument& document = Open(22050 * 10);
  Run(kCmdPlay);
  Run(kCmdToEnd);
  EXPECT_EQ(playback_.Engine().PlayedPosition(), 22050 * 9);
  EXPECT_EQ(document.cursor, 22050 * 9);
  Run(kCmdToStart);
  EXPECT_EQ(document.cursor, 0);
  Run(kCmdStop);
}

TEST_F(RealTimePlaybackTest, CueMovesTheCursorAndResumesTheModeBefore) {
  LSoundDocument& document = Open(22050 * 20);
  document.cursor = 22050 * 10;
  settings_.Write(kReduceVolWhenRewind, true);
  Run(kCmdForward);
  EXPECT_EQ(playback_.Cue(), LCueDirection::kForward);
  EXPECT_EQ(playback_.Engine().DeviceVolume(), DbToLevel(-8));
  RunFor(300ms);
  const int32_t forward = document.cursor;
  EXPECT_GT(forward, 22050 * 10 + 22050 / 5 + 22050 / 2);  // moved on at several times the speed
  playback_.CueEnd();  // released: nothing was playing before
  EXPECT_FALSE(playback_.IsPlaying());
  EXPECT_EQ(playback_.Engine().DeviceVolume(), kFullVolume);
  EXPECT_EQ(playback_.Cue(), LCueDirection::kNone);

  // Rewinding while playing goes back, then play resumes there.
  Run(kCmdPlay);
  RunFor(100ms);
  Run(kCmdRewind);
  RunFor(300ms);
  EXPECT_LT(document.cursor, forward - 22050 / 5);
  playback_.CueEnd();
  EXPECT_TRUE(playback_.IsPlaying());
  EXPECT_FALSE(playback_.Engine().Scrubbing());

  // Scrub, cue, and scrubbing again after release.
  playback_.Scrub();
  EXPECT_TRUE(playback_.Engine().Scrubbing());
  playback_.CueStart(LCueDirection::kForward);
  RunFor(100ms);
  playback_.CueEnd();
  EXPECT_TRUE(playback_.Engine().Scrubbing());
  playback_.Scrub();  // scrubbing: back to normal play
  EXPECT_FALSE(playback_.Engine().Scrubbing());
  EXPECT_TRUE(playback_.IsPlaying());
  Run(kCmdStop);
}

TEST_F(RealTimePlaybackTest, VolumeAppliesToThisAndLaterPlaybacks) {
  Open(22050);
  playback_.SetVolumeDb(-40);
  EXPECT_EQ(playback_.Engine().DeviceVolume(), 0);
  playback_.SetVolumeDb(200);
  EXPECT_EQ(playback_.VolumeDb(), 127);
  EXPECT_EQ(playback_.Engine().DeviceVolume(), 65535);
  playback_.SetVolumeDb(0);
  Run(kCmdPlay);
  EXPECT_EQ(playback_.Engine().DeviceVolume(), 51264);
  Run(kCmdStop);
}

}  // namespace
}  // namespace klangor
