#pragma once
// The play commands of the main frame over the frame model, and the frame's player: it
// builds the source chain of each play (document reader, selection end, speed, repeat) or
// cue, drives the LWavePlayer, and shows playback on the frame model (the played
// document's cursor follows the played position) and on a display listener (the player
// bar: buttons, level meter, time field).
//
// Play: without a document nothing; while scrubbing it resumes normal play. Otherwise the
// cursor goes to 0 when it lies in the last second (unless the caller keeps it); with a
// selection, play runs from its start to its end, else from the cursor to the end. Slow and
// fast play through the time stretch at 0.5 and 1.5; repeat loops the selection (or the
// whole sound). The device is "SoundOutDevice", read at every start. When no device can be
// opened, kOutputDeviceMessage is shown.
//
// Positions are reported in the document's frames: at slow and fast speed the played
// position (in frames of the stretched stream) is scaled back by the speed, and the loop
// bounds of repeat are scaled into the stretched stream, so the cursor and the repeated
// range are the same at every speed.
//
// Cue (rewind and forward held down): from the cursor moved by rate / 5 (rate / 10 after
// scrubbing), the grain stretch at 7 -> 0.5 (3 -> 0.1 after scrubbing) over 8 s, negative
// for rewind; "ReduceVolWhenRewind" lowers the volume by 8 dB meanwhile. When the button is
// released the mode before the cue resumes (scrub or play).

#include <cstdint>
#include <functional>

#include "frame/command_table.h"
#include "frame/frame_model.h"
#include "frame/menu_layout.h"
#include "frame/player.h"
#include "frame/user_interface.h"
#include "player/wave_player.h"
#include "settings/settings_store.h"

namespace klangor {

// The player bar's controls (the editor window calls LPlayback for them).
enum LPlayerBarId : int {
  kBarVolume = 102,
  kBarPlay = 111,
  kBarScrub = 112,
  kBarStop = 113,
  kBarToStart = 114,
  kBarRewind = 115,
  kBarForward = 116,
  kBarToEnd = 117,
  kBarRecord = 118,
};

inline constexpr char kOutputDeviceMessage[] =
    "Bitte überprüfen sie unter Einstellungen ob sie das richtige Ausgabegerät gewählt haben. Öffnen sie "
    "Einstellungen-Ausgabegerät";
inline constexpr char kProductName[] = "Klangor";

enum class LCueDirection { kNone, kRewind, kForward };

// The streams of slow and fast play and of cueing. They come from the effects, which the
// player does not see; whoever builds the player hands them in (effects/grain_stretch.h's
// MakeTimeStretch and effects/cue_stream.h's MakeCueStream).
struct LPlayStreams {
  // `input` played at `speed` (0.5 slow, 1.5 fast) at the same pitch; positions and length
  // in output frames, output frame t being input frame t x speed.
  std::function<LRef<LSoundStream>(LRef<LSoundStream> input, double speed)> timeStretch;
  // The cue stream over a document reader at the start frame, with positions in document
  // frames.
  std::function<LRef<LSoundStream>(LRef<LSoundStream> reader, double firstSpeed, double secondSpeed, int32_t rampMs)>
      cue;
};
enum class LPlaySpeed : int { kSlow = 0, kNormal = 1, kFast = 2 };

class LPlayback final : public LPlayer, private LPlayerListener {
 public:
  // Reads "PlaySpeed" and "PlayRepeat".
  LPlayback(LNotifier& notifier, LOutputDevices& devices, LSettingsStore& settings, LPlayStreams streams,
            LWavePlayerOptions options = {});
  ~LPlayback() override;

  // The frame whose documents play and the service that shows the message; until then
  // only Play(document, frame) works, without a message.
  void Attach(LFrameModel* frame, LUserInterface* ui);
  // Gets every listener call after the frame model has done its part; null for none.
  void SetDisplay(LPlayerListener* display) { display_ = display; }

  // LPlayer
  bool IsPlaying() const override { return player_.IsOpen(); }
  void Stop() override { player_.Close(); }
  // Sets the document's cursor to `fromFrame` and plays it, keeping that cursor.
  void Play(LSoundDocument& document, int32_t fromFrame) override;

  // Play (3002, bar 111): the active document.
  void PlayActive(bool keepCursor = false);
  // 3003..3005: store the speed, refresh the menus, play again.
  void SetSpeed(LPlaySpeed speed);
  // 3011: toggle "PlayRepeat".
  void ToggleRepeat();
  void GoToStart();
  void GoToEnd();
  // Rewind or forward pressed (3008, 3009; bar 115, 116) and released.
  void CueStart(LCueDirection direction);
  void CueEnd();
  // Bar 112 and the Space key: play when scrubbing, else scrub (playing first when closed).
  void Scrub();
  // Bar 102: the bar's volume in dB.
  void SetVolumeDb(int db);
  // Plays a stream that belongs to no document (a dialog's preview); false when no device
  // could be opened.
  bool PlayStream(LRef<LSoundStream> stream);
  // After a file was opened into a new window: play when "PlayWhenOpen" is set.
  void PlayWhenOpened();
  // For one run of klangor-batch --play: speed, repeat and device (-1: "SoundOutDevice")
  // without touching the settings.
  void OverridePlayOptions(LPlaySpeed speed, bool repeat, int device);

  LPlaySpeed Speed() const { return speed_; }
  bool Repeat() const { return repeat_; }
  int VolumeDb() const { return volumeDb_; }
  LCueDirection Cue() const { return cue_; }
  LWavePlayer& Engine() { return player_; }
  // The document being played (null when closed).
  LSoundDocument* PlayedDocument() const { return played_.Get(); }

 private:
  bool PlayDocument(LSoundDocument& document, bool keepCursor);
  void ShowDeviceMessage();
  void RefreshBars();
  void RestoreVolume();
  int OutputDevice() const;

  // LPlayerListener
  void Started(uint32_t context) override;
  void Stopped(uint32_t context) override;
  void CueOrScrubStarted(uint32_t context) override;
  void Position(int64_t ms, int32_t frame, uint32_t context) override;
  void Levels(const LLevelRecord& levels, uint32_t context) override;

  LWavePlayer player_;
  LSettingsStore& settings_;
  LPlayStreams streams_;
  LFrameModel* frame_ = nullptr;
  LUserInterface* ui_ = nullptr;
  LPlayerListener* display_ = nullptr;
  LRef<LSoundDocument> played_;
  double documentFramesPerFrame_ = 1.0;
  LPlaySpeed speed_;
  bool repeat_;
  int volumeDb_ = 0;
  bool volumeSet_ = false;
  LCueDirection cue_ = LCueDirection::kNone;
  int resumeMode_ = 0;  // after a cue: 0 nothing, 1 scrub, 2 play
  int deviceOverride_ = -1;
  bool cueLowered_ = false;  // the volume is 8 dB down for the cue
};

// Play (3002), the speeds (3003..3005), stop (3006), to start (3007), rewind and forward
// (3008, 3009: start the cue; the button's release ends it), to end (3010), repeat (3011),
// with the menu's texts (frame/menu_layout.h).
void AddPlayCommands(LCommandTable& table, LPlayback& playback);

}  // namespace klangor
