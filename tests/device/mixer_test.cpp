// The mixer operations on the in-memory mixer, the dB level rule, and starting the desktop
// mixer.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "device/memory_mixer.h"
#include "device/mixer.h"
#include "device/system_mixer.h"
#include "device/volume.h"
#include "support/test_env.h"

namespace klangor {
namespace {

LMixerControl Control(LControlKind kind, uint32_t value = 0) {
  LMixerControl control;
  control.kind = kind;
  control.value = value;
  return control;
}

LMixerLine Line(int id, const std::string& name, std::vector<LMixerControl> controls) {
  LMixerLine line;
  line.id = id;
  line.name = name;
  line.controls = std::move(controls);
  return line;
}

// A recording destination with `inputs` inputs, each with a volume and a mute control, and a
// selector of `selectorKind` on the destination.
LMemoryMixer RecordingMixer(int inputs, LControlKind selectorKind, bool itemLinesKnown = true) {
  LMemoryMixer mixer;
  LMixerDestination& waveIn = mixer.destinations[LDestinationKind::kWaveIn];
  LMixerControl selector = Control(selectorKind);
  for (int i = 0; i < inputs; ++i) {
    // Line ids in reverse order, so that a selector that matches by position goes wrong.
    const int id = 100 + inputs - i;
    waveIn.sources.push_back(Line(id, "Eingang " + std::to_string(i),
                                  {Control(LControlKind::kVolume, 777), Control(LControlKind::kMute, 0)}));
    selector.items.push_back(0);
    if (itemLinesKnown) selector.itemLines.insert(selector.itemLines.begin(), id);
  }
  waveIn.line = Line(10, "Capture",
                     {Control(LControlKind::kVolume, 5), Control(LControlKind::kMute, 1),
                      Control(LControlKind::kOnOff, 0), selector});
  return mixer;
}

LMixerOpener OpenerOf(LMemoryMixer& mixer) {
  return [&mixer](int, bool) {
    auto view = std::make_unique<LMemoryMixer>();
    // The operations work on a mixer of their own; changes are copied back at the end.
    struct LShared final : LMixer {
      explicit LShared(LMemoryMixer& m) : target(m) {}
      std::optional<LMixerDestination> Destination(LDestinationKind kind) override { return target.Destination(kind); }
      bool SetControl(int id, size_t index, const LMixerControl& control) override {
        return target.SetControl(id, index, control);
      }
      LMemoryMixer& target;
    };
    return std::unique_ptr<LMixer>(new LShared(mixer));
  };
}

TEST(VolumeRuleTest, DbToLevel) {
  EXPECT_EQ(DbToLevel(-127), 0);
  EXPECT_EQ(DbToLevel(-36), 0);
  EXPECT_EQ(DbToLevel(-35), 1424);
  EXPECT_EQ(DbToLevel(0), 51264);
  EXPECT_EQ(DbToLevel(10), 65504);
  EXPECT_EQ(DbToLevel(11), 65535);
  EXPECT_EQ(ClampDb(-130), -127);
  EXPECT_EQ(ClampDb(128), 127);
}

TEST(MixerTest, InputCountAndNames) {
  LMemoryMixer mixer = RecordingMixer(4, LControlKind::kMux);
  const LMixerOpener open = OpenerOf(mixer);
  EXPECT_EQ(MixerInputCount(open, 0), 4);
  EXPECT_EQ(MixerInputCount(open, -1), 0);
  EXPECT_EQ(MixerInputCount([](int, bool) { return std::unique_ptr<LMixer>(); }, 0), 0);
  EXPECT_EQ(MixerInputName(open, 0, 2), "Eingang 2");
  EXPECT_EQ(MixerInputName(open, 0, -1), kSystemInputName);
  EXPECT_EQ(MixerInputName(open, 0, 4), "");
  LMemoryMixer many = RecordingMixer(130, LControlKind::kMux);
  EXPECT_EQ(MixerInputCount(OpenerOf(many), 0), 127);
}

TEST(MixerTest, SelectingInputTwoOfFourMutesAndZeroesTheOthers) {
  for (bool itemLinesKnown : {true, false}) {
    LMemoryMixer mixer = RecordingMixer(4, LControlKind::kMux, itemLinesKnown);
    SelectMixerInput(OpenerOf(mixer), 0, 2, 0);
    const LMixerDestination& waveIn = mixer.destinations[LDestinationKind::kWaveIn];
    EXPECT_EQ(waveIn.line.controls[0].value, 51264u);
    EXPECT_EQ(waveIn.line.controls[1].value, 0u);  // not muted
    EXPECT_EQ(waveIn.line.controls[2].value, 1u);  // on
    // The item of the chosen line is on: by its line id when known (the items list the lines
    // in the other order), else by position.
    EXPECT_EQ(waveIn.line.controls[3].items,
              itemLinesKnown ? (std::vector<uint32_t>{0, 1, 0, 0}) : (std::vector<uint32_t>{0, 0, 1, 0}));
    for (int i = 0; i < 4; ++i) {
      const LMixerLine& source = waveIn.sources[static_cast<size_t>(i)];
      EXPECT_EQ(source.controls[0].value, i == 2 ? 51264u : 0u) << i;
      EXPECT_EQ(source.controls[1].value, i == 2 ? 0u : 1u) << i;
    }
  }
}

TEST(MixerTest, AMixerControlSwitchesEveryInputOn) {
  LMemoryMixer mixer = RecordingMixer(3, LControlKind::kMixer);
  SelectMixerInput(OpenerOf(mixer), 0, 0, -40);
  const LMixerDestination& waveIn = mixer.destinations[LDestinationKind::kWaveIn];
  EXPECT_EQ(waveIn.line.controls[3].items, (std::vector<uint32_t>{1, 1, 1}));
  EXPECT_EQ(waveIn.sources[0].controls[0].value, 0u);  // -40 dB is level 0
}

TEST(MixerTest, NegativeInputsAndFailingControlsEndSilently) {
  LMemoryMixer mixer = RecordingMixer(2, LControlKind::kMux);
  SelectMixerInput(OpenerOf(mixer), 0, -1, 0);
  EXPECT_EQ(mixer.sets, 0);
  mixer.failAfterSets = 1;
  SelectMixerInput(OpenerOf(mixer), 0, 1, 0);
  EXPECT_EQ(mixer.sets, 1);
  EXPECT_EQ(mixer.destinations[LDestinationKind::kWaveIn].line.controls[1].value, 1u);  // not reached
}

TEST(MixerTest, PlaybackLevelSetsSpeakersAndTheWaveLine) {
  LMemoryMixer mixer;
  LMixerDestination& speakers = mixer.destinations[LDestinationKind::kSpeakers];
  speakers.line = Line(1, "Master", {Control(LControlKind::kVolume), Control(LControlKind::kMute, 1),
                                     Control(LControlKind::kOnOff, 0)});
  speakers.sources.push_back(Line(2, "PCM", {Control(LControlKind::kVolume), Control(LControlKind::kMute, 1),
                                             Control(LControlKind::kOnOff, 0)}));
  speakers.sources.back().waveOut = true;
  speakers.sources.push_back(Line(3, "Line", {Control(LControlKind::kVolume, 9)}));
  SetPlaybackLevel(OpenerOf(mixer), 0, 0, 120, nullptr);
  EXPECT_EQ(speakers.line.controls[0].value, 51264u);
  EXPECT_EQ(speakers.line.controls[1].value, 0u);
  EXPECT_EQ(speakers.line.controls[2].value, 0u);  // the speakers' switch is left alone
  EXPECT_EQ(speakers.sources[0].controls[0].value, 65535u);  // 0 + 120 dB, capped
  EXPECT_EQ(speakers.sources[0].controls[1].value, 0u);
  EXPECT_EQ(speakers.sources[0].controls[2].value, 1u);
  EXPECT_EQ(speakers.sources[1].controls[0].value, 9u);
  SetPlaybackLevel(OpenerOf(mixer), 0, -10, -26, nullptr);
  EXPECT_EQ(speakers.sources[0].controls[0].value, 0u);  // -36 dB
  // A negative device sets the player's own volume.
  int got = -1;
  SetPlaybackLevel(OpenerOf(mixer), -1, 10, 0, [&got](uint16_t level) { got = level; });
  EXPECT_EQ(got, 65504);
}

TEST(SystemMixerTest, StartsPavucontrolWhenInstalledAndSaysSoWhenNothingIs) {
  const std::string bin = test::TempPath("-bin");
  ASSERT_EQ(::mkdir(bin.c_str(), 0700), 0);
  const std::string marker = bin + "/started";
  const std::string script = bin + "/pavucontrol";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\necho \"$@\" > " << marker << "\n";
  }
  ::chmod(script.c_str(), 0755);
  const std::string oldPath = std::getenv("PATH");
  ::setenv("PATH", bin.c_str(), 1);
  std::string message;
  auto found = FindSystemMixer(true);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->buttonText, "PulseAudio Mischpult öffnen");
  EXPECT_TRUE(OpenSystemMixer(true, &message));
  for (int i = 0; i < 200 && test::ReadBytes(marker).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::ReadBytes(marker), "--tab=2\n");
  ::unlink(script.c_str());
  EXPECT_FALSE(FindSystemMixer(false));
  EXPECT_FALSE(OpenSystemMixer(false, &message));
  EXPECT_EQ(message, kNoSystemMixerMessage);
  ::setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
}  // namespace klangor
