#pragma once
// The recorder engine: captures an input device into a sink on its own thread, removes DC
// offset, meters the input, can wait for sound before it writes (with half a buffer of
// pre-roll), pause itself after a stretch of silence and cut trailing silence when it stops.
//
// The capture thread reads the device in buffers of rate / 10 frames (32 .. 8192); per
// buffer it filters, measures, writes and posts to the notify channel. Every call of the
// listener and every public operation happen on the user-interface thread.
//
// Nothing of a take is lost silently: frames the device lost (overruns), a device that
// failed, an input that ended, a sink that could not be written (a full disk) are reported
// through Problem; a failure ends the recording as Stop does and keeps what was written.
// With a time limit the take holds exactly that many milliseconds (as frames).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/sound_sink.h"
#include "device/input_devices.h"
#include "player/notifier.h"
#include "player/player_listener.h"
#include "player/worker_thread.h"

namespace klangor {

// The level of one channel over `frames` frames, in dB against 131072 (full scale of 16-bit
// audio reads +12): -127 for silence, else 20 log10(peak / 131072) rounded half away from
// zero, within -127..127.
int8_t PeakLevel(const int32_t* samples, int32_t frames, int channels, int channel);
// -127 without channels, the first channel's level for mono, else the larger of the first two.
int OverallLevel(const LLevelRecord& record);

class LRecorderListener {
 public:
  virtual ~LRecorderListener() = default;
  virtual void Recording(uint32_t /*context*/) {}  // began writing
  virtual void Waiting(uint32_t /*context*/) {}    // waits for sound
  virtual void Stopped(uint32_t /*context*/) {}
  // The take's length in ms up to its last loud buffer.
  virtual void Position(int64_t /*ms*/, uint32_t /*context*/) {}
  virtual void Levels(const LLevelRecord& /*levels*/, uint32_t /*context*/) {}
  // Something the user must learn of (lost input, a device gone, a full disk).
  virtual void Problem(const std::string& /*message*/, uint32_t /*context*/) {}
};

enum class LRecorderState : int { kIdle = 0, kWaiting = 1, kRecording = 2 };

inline constexpr char kNoInputMessage[] =
    "Das Aufnahmegerät kann nicht geöffnet werden. Bitte wählen Sie ein anderes Aufnahmegerät.";
inline constexpr char kInputFailedMessage[] =
    "Das Aufnahmegerät arbeitet nicht mehr. Die Aufnahme wurde bis hierher gespeichert.";
inline constexpr char kInputSilentMessage[] =
    "Das Aufnahmegerät liefert seit 25 Sekunden keine Daten. Die Aufnahme wurde bis hierher gespeichert.";
inline constexpr char kWriteFailedMessage[] =
    "Die Aufnahme kann nicht weiter geschrieben werden (ist der Datenträger voll?). Sie wurde bis hierher "
    "gespeichert.";

// The text that reports `overruns` gaps with `lostMs` of input lost in all.
std::string OverrunMessage(int64_t overruns, int64_t lostMs);

class LRecorder final : private LWorkerThread {
 public:
  LRecorder(LNotifier& notifier, LInputDevices& devices);
  ~LRecorder() override;

  void SetListener(LRecorderListener* listener, uint32_t context) {
    listener_ = listener;
    context_ = context;
  }
  // Input device number (as LInputDevices counts them). Read at every start.
  void SetDevice(int number) { device_ = number; }
  // The sink of the next start; its rate and channel count are the recording's format.
  void SetSink(LRef<LSoundSink> sink) { sink_ = std::move(sink); }
  // DC removal (on by default; never for inputs that carry no offset, so their takes are exact).
  void SetRemoveDc(bool on) { removeDc_ = on; }

  // Starts recording into the sink (stopping a recording that runs). False when the sink is
  // missing or failed, or the device cannot be opened (LastError says why; the sink is then
  // finished and let go).
  bool Start(int64_t limitMs, int startThreshold, int64_t silenceMs,
             LThreadPriority priority = LThreadPriority::kNormal);
  // Discards the take and records again from its beginning.
  void Restart();
  // Ends the recording: the take is cut 50 ms after its last loud buffer, the sink finished.
  void Stop();

  LRecorderState State() const { return static_cast<LRecorderState>(state_.load()); }
  bool IsRunning() const { return State() != LRecorderState::kIdle; }
  // Frames in the sink now (the take's length).
  int64_t TakeFrames() const { return takeFrames_.load(); }
  int64_t Overruns() const { return overruns_.load(); }
  int64_t LostFrames() const { return lostFrames_.load(); }
  const std::string& LastError() const { return lastError_; }
  // The last recording ended because the device or the sink failed (LastError says how).
  bool EndedByFailure() const { return failure_; }
  // When the buffer whose levels the listener got last had arrived from the device.
  std::chrono::steady_clock::time_point LevelsArrival() const;

 private:
  void Run() override;
  bool Launch(std::chrono::milliseconds wait, LThreadPriority priority);
  void ProcessBuffer(int32_t* samples, int32_t frames, std::chrono::steady_clock::time_point arrival);
  // Writes up to the time limit; false once the sink failed or the limit is reached.
  bool WriteFrames(const int32_t* samples, int32_t frames);
  void OnNotify();
  void Finish();
  void Report(const std::string& message);
  int64_t SinkMs() const;

  LInputDevices& devices_;
  std::unique_ptr<LNotifyChannel> channel_;
  LRecorderListener* listener_ = nullptr;
  uint32_t context_ = 0;
  int device_ = 0;
  bool removeDc_ = true;
  LRef<LSoundSink> sink_;
  std::string lastError_;
  bool failure_ = false;

  // Set before the thread starts.
  int channels_ = 1;
  int32_t rate_ = 44100;
  int64_t limitFrames_ = 0;  // 0: none
  int startThreshold_ = -127;
  int silenceThreshold_ = -127;
  int64_t silenceMs_ = 0;

  std::atomic<int> state_{0};
  std::atomic<int64_t> lastLoudMs_{0};
  std::atomic<int64_t> takeFrames_{0};
  std::atomic<int64_t> overruns_{0};
  std::atomic<int64_t> lostFrames_{0};
  int64_t reportedOverruns_ = 0;
  LEvent started_;
  LEvent go_;

  // Flags for the user-interface thread.
  std::atomic<bool> limitReached_{false};
  std::atomic<bool> levelsChanged_{false};
  std::atomic<bool> stateChanged_{false};
  std::atomic<int> ended_{0};  // 1 input ended, 2 input failed, 3 input silent, 4 sink failed
  mutable std::mutex levelsLock_;
  LLevelRecord levels_;
  std::chrono::steady_clock::time_point levelsArrival_{};

  // The capture thread's own.
  bool removingDc_ = false;
  std::vector<int64_t> dcState_;
  int32_t dcFactor_ = 1;
  std::vector<int32_t> preroll_;
  int32_t prerollFrames_ = 0;
};

}  // namespace klangor
