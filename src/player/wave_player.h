#pragma once
// LWavePlayer: plays a stream through an output device.
//
// A feeder thread (the player's own worker thread) pulls buffers of rate / 10 frames
// (20..8192) from the source, converts them to 16 bits, measures their levels and queues
// them into a ring of 64 device buffers; a completion watcher thread collects the buffers
// the device has played, keeps the played position (the source position after the buffer)
// and the levels of the last one, and hands the slot back. The feeder climbs to
// time-critical priority after more than 33 completions in a row without finding the ring
// full and drops below normal as soon as it finds it full (best effort, see
// platform/thread_priority.h). Worker threads never call the listener: they set a flag and
// post to the notifier, and the handler reports on the user-interface thread.
//
// Sources with a full scale above 524272 (document readers) play through the limiter, so
// the 16-bit conversion (v + 8) >> 4 never overflows.
//
// States: closed (0), playing (1), scrubbing (5: a snippet of a quarter buffer at the
// position, repeated to fill one buffer, loops in the device until the next seek or resume).
// At the end of the source the handler reports the source's length and closes.
//
// All operations are for the user-interface thread. Everything one playback uses (device,
// buffers, source) belongs to a session that the worker threads share: a feeder that does
// not stop within the stop time-out keeps its session alive until it ends, so nothing is
// freed under a running thread.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "device/output_devices.h"
#include "player/notifier.h"
#include "player/player_listener.h"
#include "player/worker_thread.h"

namespace klangor {

inline constexpr int kPlayerBuffers = 64;
inline constexpr uint16_t kStateClosed = 0;
inline constexpr uint16_t kStatePlaying = 1;
inline constexpr uint16_t kStateScrubbing = 5;

// Frames per player buffer at `sampleRate`: rate / 10 within 20..8192.
int32_t PlayerBufferFrames(int32_t sampleRate);

struct LWavePlayerOptions {
  std::chrono::milliseconds stopTimeout{5000};
};

class LWavePlayer final : public LWorkerThread {
 public:
  LWavePlayer(LNotifier& notifier, LOutputDevices& devices, LWavePlayerOptions options = {});
  ~LWavePlayer() override;

  // The output device as the setting "SoundOutDevice" stores it (0 the default).
  void SetDevice(int number) { deviceNumber_ = number; }
  int Device() const { return deviceNumber_; }
  // Null restores the listener that does nothing.
  void SetListener(LPlayerListener* listener, uint32_t context = 0);

  // Plays `source` from its position; false (and LastError) when the stream is not usable
  // or no device could be opened, nothing then stays allocated.
  bool Open(LRef<LSoundStream> source);
  void Close();
  void StartScrub();
  void ResumeNormal();
  void Seek(int32_t frame);
  // The device volume from dB (0 below -35 dB, else (dB + 36) x 1424, at most 65535); kept
  // for later playbacks. Until it is set the device plays at full volume.
  void SetVolume(int db);
  void SetDeviceVolume(uint16_t level);
  uint16_t DeviceVolume() const { return volume_; }

  uint16_t State() const { return state_; }
  bool IsOpen() const { return state_ != kStateClosed; }
  bool Scrubbing() const { return state_ == kStateScrubbing; }
  int32_t PlayedPosition() const;
  LLevelRecord Levels() const;
  int32_t BufferFrames() const;
  int Channels() const;
  int32_t SampleRate() const;
  // The source's length (0 when closed).
  int32_t SourceLength() const;
  // Frames the open device has played (0 when closed).
  int64_t FramesPlayed() const;
  // Underruns of the open device, or of the last one when closed.
  int64_t Underruns() const;
  const std::string& LastError() const { return lastError_; }

  // The notifier's handler (also callable directly by a user-interface thread that polls).
  void Notify();

 private:
  struct LSession;
  class LCompletionWatcher;

  void Run() override;
  void WriteLoopSnippet(LSession& session);
  void ReportPosition(int32_t frame);
  void FillSlot(LSession& session, int index, int32_t frames, int32_t user);

  LNotifier& notifier_;
  LOutputDevices& devices_;
  const LWavePlayerOptions options_;
  LPlayerListener defaultListener_;
  LPlayerListener* listener_ = &defaultListener_;
  uint32_t context_ = 0;
  int deviceNumber_ = 0;
  uint16_t volume_ = kFullVolume;
  uint16_t state_ = kStateClosed;
  int64_t lastUnderruns_ = 0;
  std::string lastError_;
  std::shared_ptr<LSession> session_;  // the user-interface thread's
  std::mutex feederLock_;
  std::shared_ptr<LSession> feederSession_;  // what the next feeder thread plays
  std::unique_ptr<LNotifyChannel> channel_;
};

}  // namespace klangor
