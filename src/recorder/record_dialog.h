#pragma once
// The recorder dialog's model ("Aufnahmesteuerung"), without widgets: the take name, the
// playback and recording devices with their volumes, the recording input (through the
// mixer), the take list, the transport and the state the form shows (levels, time,
// messages). The Qt form (ui/record_form) shows it and calls its operations.
//
// Takes are WAV files in the take folder ("Aufnahmen" in the data folder), written through
// as they grow, so a take survives a crash of the program. Transport:
//   Neue Aufnahme (F5)  a new take named after the name field, recording at once
//   Neustart (F6)       the current take again from its beginning
//   Neuaufnahme (F7)    the current take is dropped (its file deleted) and recorded anew
//   Aufnahme (F8)       stops a recording; when stopped, records on at the current take's end
//   Zum Anfang (Home)   listens to the current take from its start
//   Vorspulen (->)      listening, 5 s on
//   Zum Ende (End)      stops listening
// The engine starts as the settings of "Recorder" say (recorder_settings.h); with
// "Autostart" set the dialog records a first take as soon as it opens.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/input_devices.h"
#include "device/mixer.h"
#include "device/output_devices.h"
#include "frame/user_interface.h"
#include "player/wave_player.h"
#include "recorder/recorder.h"
#include "settings/settings_store.h"

namespace klangor {

// What the window gives the dialog.
struct LRecordDialogParts {
  LNotifier& notifier;
  LInputDevices& inputs;
  LOutputDevices& outputs;
  LMixerOpener mixer;
  LSettingsStore& settings;
  std::string takeFolder;  // empty: "Aufnahmen" in the data folder
};

struct LTakeEntry {
  std::string name;
  std::string path;
  int64_t frames = 0;
};

class LRecordDialog final : public LDialogModel, private LRecorderListener {
 public:
  static constexpr char kTitle[] = "Aufnahmesteuerung";
  static constexpr char kSlashMessage[] = "Der Name darf keine Schrägstriche enthalten.";
  static constexpr char kEmptyNameMessage[] = "Bitte geben Sie einen Namen für die Aufnahme ein.";
  static constexpr char kFolderMessage[] = "In den Ordner \"%s\" kann nicht geschrieben werden.";

  // Reads the devices, volumes and input from the settings.
  LRecordDialog(LRecordDialogParts parts, int32_t sampleRate, int channels);
  ~LRecordDialog() override;

  std::string Title() const override { return kTitle; }
  // Stops recording and listening; checks the name. Stores the devices and volumes.
  std::string Validate() override;

  // Fields.
  std::string name = "Aufnahme";
  int playbackDevice = 0;
  int playbackVolumeDb = 0;
  int recordDevice = 0;
  int input = -1;  // the mixer's input, -1: the system's choice
  int recordVolumeDb = 0;

  std::vector<std::string> RecordDeviceNames() const;
  std::vector<std::string> PlaybackDeviceNames() const;
  // kSystemInputName first (input -1), then the mixer's inputs of the recording device.
  std::vector<std::string> InputNames() const;
  // The input and its volume onto the mixer; the listening player's volume.
  void ApplyInput();
  void ApplyPlaybackVolume();

  // The form is up: with "Autostart" a first take starts.
  void Opened();
  // Transport; false (with Message() set) when recording could not start.
  bool NewTake();
  bool Restart();
  bool Retake();
  bool Record();
  void ToStart();
  void Forward();
  void ToEnd();
  // Stops recording and listening.
  void StopAll();

  const std::vector<LTakeEntry>& Takes() const { return takes_; }
  // The take the dialog ends with (the current one); -1 when there is none.
  int current = -1;
  // The current take's file when it holds sound, else empty.
  std::string ChosenTakePath() const;

  // What the form shows.
  LRecorderState State() const { return recorder_.State(); }
  bool Listening() const { return player_.IsOpen(); }
  int64_t TakeMs() const;
  const LLevelRecord& Levels() const { return levels_; }
  const std::string& Message() const { return message_; }
  int32_t SampleRate() const { return rate_; }
  int Channels() const { return channels_; }
  LRecorder& Engine() { return recorder_; }
  LSettingsStore& Settings() { return parts_.settings; }
  // Called after every change the form should show (state, levels, messages, takes).
  std::function<void()> changed;

 private:
  bool StartInto(const std::string& path, int64_t keepFrames);
  std::string TakePath(const std::string& takeName) const;
  std::string NextTakeName() const;
  void Changed();
  void UpdateCurrentFrames();

  // LRecorderListener
  void Recording(uint32_t) override { Changed(); }
  void Waiting(uint32_t) override { Changed(); }
  void Stopped(uint32_t) override;
  void Position(int64_t, uint32_t) override { Changed(); }
  void Levels(const LLevelRecord& levels, uint32_t) override;
  void Problem(const std::string& message, uint32_t) override;

  LRecordDialogParts parts_;
  int32_t rate_;
  int channels_;
  LRecorder recorder_;
  LWavePlayer player_;
  std::vector<LTakeEntry> takes_;
  LLevelRecord levels_;
  std::string message_;
};

}  // namespace klangor
