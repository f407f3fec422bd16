#include "player/wave_player.h"

#include <algorithm>
#include <cstring>

#include "audio/time_units.h"
#include "device/volume.h"
#include "dsp/limiter.h"
#include "player/levels.h"

namespace klangor {
namespace {

using std::chrono::milliseconds;

constexpr int32_t kOutputFullScale = 524272;
constexpr milliseconds kWait{1000};
constexpr uint32_t kLoopForever = 2147483647;

void ToSixteenBits(const int32_t* from, int16_t* to, size_t samples) {
  for (size_t i = 0; i < samples; ++i) to[i] = static_cast<int16_t>((from[i] + 8) >> 4);
}

}  // namespace

int32_t PlayerBufferFrames(int32_t sampleRate) { return std::clamp(sampleRate / 10, 20, 8192); }

struct LWavePlayer::LSession {
  struct LSlot {
    uint32_t capacity = 0;  // bytes
    LWaveHeader header;
    LLevelRecord levels;
    std::atomic<bool> free{true};
  };

  LEvent bufferDone;
  LEvent bufferFree;
  LRef<LSoundStream> source;
  int32_t bufferFrames = 0;
  int channels = 1;
  int32_t sampleRate = 44100;
  int32_t sourceLength = 0;       // at opening, for the user-interface thread
  std::vector<int16_t> samples;   // all 64 buffers
  std::vector<int32_t> transfer;  // one buffer of source frames
  std::array<LSlot, kPlayerBuffers> slots;
  std::atomic<int32_t> playedPosition{0};
  std::atomic<int32_t> endLength{0};
  std::atomic<bool> endReached{false};
  std::atomic<bool> positionChanged{false};
  std::atomic<bool> deviceLost{false};
  std::atomic<bool> feederRaised{false};
  std::atomic<int> completions{0};
  mutable std::mutex levelLock;  // the watcher writes the record while the handler reads it
  LLevelRecord levels;
  // Last, so that it goes first: the device may touch the buffers and the done event until
  // it is destroyed.
  std::unique_ptr<LWaveOut> device;

  ~LSession() { device.reset(); }
};

class LWavePlayer::LCompletionWatcher final : public LWorkerThread {
 public:
  LCompletionWatcher(LWavePlayer& player, LSession& session) : player_(player), session_(session) {}
  ~LCompletionWatcher() override { Join(); }

 private:
  void Run() override {
    LSession& s = session_;
    int j = 0;
    while (!StopRequested()) {
      s.bufferDone.Reset();
      if (s.device->Failed()) {
        // The device is gone: its buffers were not played. The handler closes.
        if (!s.deviceLost.exchange(true)) player_.channel_->Post();
        LEvent::WaitAny({&StopEvent()}, kWait);
        continue;
      }
      LSession::LSlot& slot = s.slots[static_cast<size_t>(j)];
      if (!slot.free.load(std::memory_order_acquire) && slot.header.Done()) {
        s.playedPosition.store(slot.header.user, std::memory_order_release);
        {
          std::lock_guard lock(s.levelLock);
          s.levels = slot.levels;
        }
        slot.header.flags.store(0, std::memory_order_relaxed);
        slot.free.store(true, std::memory_order_release);
        s.bufferFree.Set();
        if (s.completions.fetch_add(1) > 32 && !s.feederRaised.load()) {
          player_.SetPriority(LThreadPriority::kTimeCritical);
          s.feederRaised.store(true);
        }
        s.positionChanged.store(true, std::memory_order_release);
        player_.channel_->Post();
        j = (j + 1) % kPlayerBuffers;
        continue;
      }
      LEvent::WaitAny({&StopEvent(), &s.bufferDone}, kWait);
    }
  }

  LWavePlayer& player_;
  LSession& session_;
};

LWavePlayer::LWavePlayer(LNotifier& notifier, LOutputDevices& devices, LWavePlayerOptions options)
    : notifier_(notifier), devices_(devices), options_(options) {
  channel_ = notifier_.OpenChannel([this] { Notify(); });
}

LWavePlayer::~LWavePlayer() {
  Close();
  Join();  // a feeder that outlived its stop time-out still uses this object
}

void LWavePlayer::SetListener(LPlayerListener* listener, uint32_t context) {
  listener_ = listener != nullptr ? listener : &defaultListener_;
  context_ = context;
}

void LWavePlayer::ReportPosition(int32_t frame) {
  const int32_t rate = session_ ? session_->sampleRate : 0;
  listener_->Position(rate > 0 ? FramesToMs(frame, rate) : frame, frame, context_);
}

bool LWavePlayer::Open(LRef<LSoundStream> source) {
  Close();
  lastError_.clear();
  if (!source || !source->Usable()) {
    lastError_ = "the sound cannot be played (stream state " +
                 std::to_string(source ? static_cast<int>(source->State()) : 4) + ")";
    return false;
  }
  source = MakeLimiter(std::move(source), kOutputFullScale);
  auto s = std::make_shared<LSession>();
  s->channels = std::max(1, source->Channels());
  s->sampleRate = source->SampleRate();
  const LDeviceFormat format{s->sampleRate, s->channels};
  std::string error;
  s->device = devices_.Open(deviceNumber_, format, s->bufferDone, &error);
  if (!s->device && deviceNumber_ != 0) {
    // The default device stands in for one that cannot be opened.
    std::string defaultError;
    s->device = devices_.Open(0, format, s->bufferDone, &defaultError);
  }
  if (!s->device) {
    lastError_ = error;
    return false;
  }
  s->device->SetVolume(volume_);
  s->bufferFrames = PlayerBufferFrames(s->sampleRate);
  const size_t bufferSamples = static_cast<size_t>(s->bufferFrames) * static_cast<size_t>(s->channels);
  s->transfer.assign(bufferSamples, 0);
  s->samples.assign(bufferSamples * kPlayerBuffers, 0);
  for (int i = 0; i < kPlayerBuffers; ++i) {
    LSession::LSlot& slot = s->slots[static_cast<size_t>(i)];
    slot.capacity = static_cast<uint32_t>(bufferSamples * 2);
    slot.header.data = s->samples.data() + bufferSamples * static_cast<size_t>(i);
    slot.header.bytes = slot.capacity;
    slot.header.flags.store(0);
    slot.free.store(true);
  }
  s->sourceLength = source->Length();
  s->source = std::move(source);
  const int32_t start = s->source->Position();
  s->playedPosition.store(start);
  session_ = s;
  state_ = kStatePlaying;
  {
    std::lock_guard lock(feederLock_);
    feederSession_ = s;
  }
  if (!Start(LThreadPriority::kNormal)) {
    lastError_ = "the previous playback has not ended yet";
    session_.reset();
    state_ = kStateClosed;
    std::lock_guard lock(feederLock_);
    feederSession_.reset();
    return false;
  }
  listener_->Started(context_);
  // The start, even when the feeder has already played buffers meanwhile.
  ReportPosition(start);
  return true;
}

void LWavePlayer::Close() {
  if (state_ == kStateClosed) return;
  const bool stopped = Stop(options_.stopTimeout);
  std::shared_ptr<LSession> s = std::move(session_);
  {
    std::lock_guard lock(feederLock_);
    feederSession_.reset();
  }
  lastUnderruns_ = s->device->Underruns();
  if (stopped) s->device->Reset();
  // Without `stopped` the feeder still holds the session and frees it when it ends.
  s.reset();
  state_ = kStateClosed;
  listener_->Stopped(context_);
}

void LWavePlayer::FillSlot(LSession& s, int index, int32_t frames, int32_t user) {
  LSession::LSlot& slot = s.slots[static_cast<size_t>(index)];
  ToSixteenBits(s.transfer.data(), slot.header.data, static_cast<size_t>(frames) * static_cast<size_t>(s.channels));
  MeasureLevels(s.transfer.data(), frames, s.channels, &slot.levels);
  slot.header.flags.store(0, std::memory_order_relaxed);
  slot.header.bytes = static_cast<uint32_t>(frames) * static_cast<uint32_t>(s.channels) * 2;
  slot.header.user = user;
  slot.free.store(false, std::memory_order_release);
}

void LWavePlayer::Run() {
  std::shared_ptr<LSession> keep;
  {
    std::lock_guard lock(feederLock_);
    keep = feederSession_;
  }
  if (!keep) return;
  LSession& s = *keep;
  for (LSession::LSlot& slot : s.slots) {
    slot.free.store(true);
    slot.header.flags.store(0);
  }
  auto watcher = std::make_unique<LCompletionWatcher>(*this, s);
  watcher->Start(LThreadPriority::kNormal);
  bool watcherRaised = false;
  s.feederRaised.store(false);
  s.completions.store(0);
  int i = 0;
  bool ended = false;
  while (!StopRequested()) {
    s.bufferFree.Reset();
    LSession::LSlot& slot = s.slots[static_cast<size_t>(i)];
    if (!slot.free.load(std::memory_order_acquire)) {
      s.completions.store(0);
      if (!watcherRaised) {
        watcher->SetPriority(LThreadPriority::kTimeCritical);
        watcherRaised = true;
      }
      if (s.feederRaised.exchange(false)) SetPriority(LThreadPriority::kBelowNormal);
      LEvent::WaitAny({&StopEvent(), &s.bufferFree}, kWait);
      continue;
    }
    const int64_t left = int64_t{s.source->Length()} - s.source->Position();
    if (left <= 0) {
      ended = true;
      break;
    }
    const auto frames = static_cast<int32_t>(std::min<int64_t>(left, s.bufferFrames));
    s.source->Read(s.transfer.data(), frames);
    FillSlot(s, i, frames, s.source->Position());
    s.device->Write(slot.header);
    i = (i + 1) % kPlayerBuffers;
  }
  if (ended) {
    s.endLength.store(s.source->Length());
    const LSession::LSlot& last = s.slots[static_cast<size_t>((i + kPlayerBuffers - 1) % kPlayerBuffers)];
    while (!StopRequested()) {
      s.bufferFree.Reset();
      if (last.free.load(std::memory_order_acquire)) {
        s.endReached.store(true, std::memory_order_release);
        channel_->Post();
        break;
      }
      LEvent::WaitAny({&StopEvent(), &s.bufferFree}, kWait);
    }
  }
  watcher->Stop(milliseconds(5000));
  s.device->Reset();
  watcher.reset();
}

void LWavePlayer::Notify() {
  std::shared_ptr<LSession> s = session_;
  if (!s) return;
  if (s->deviceLost.load()) {
    lastError_ = "the output device \"" + s->device->Name() + "\" stopped working";
    Close();
    return;
  }
  if (s->endReached.load(std::memory_order_acquire)) {
    ReportPosition(s->endLength.load());
    // The listener may have closed or restarted playback meanwhile.
    if (session_ == s && s->endReached.load()) Close();
    return;
  }
  if (s->positionChanged.exchange(false)) {
    ReportPosition(s->playedPosition.load(std::memory_order_acquire));
    if (session_ != s) return;
    listener_->Levels(Levels(), context_);
  }
}

void LWavePlayer::WriteLoopSnippet(LSession& s) {
  const int32_t quarter = (s.bufferFrames + 3) / 4;
  s.source->Read(s.transfer.data(), quarter);
  LSession::LSlot& slot = s.slots[0];
  FillSlot(s, 0, quarter, s.source->Position());
  const size_t quarterSamples = static_cast<size_t>(quarter) * static_cast<size_t>(s.channels);
  const size_t total = static_cast<size_t>(s.bufferFrames) * static_cast<size_t>(s.channels);
  for (size_t at = quarterSamples; at < total; at += quarterSamples) {
    std::memcpy(slot.header.data + at, slot.header.data, std::min(quarterSamples, total - at) * sizeof(int16_t));
  }
  slot.header.bytes = slot.capacity;
  slot.header.loops = kLoopForever;
  slot.header.flags.store(LWaveHeader::kBeginLoop | LWaveHeader::kEndLoop, std::memory_order_relaxed);
  s.device->Write(slot.header);
  {
    std::lock_guard lock(s.levelLock);
    s.levels = slot.levels;
  }
  listener_->Levels(slot.levels, context_);
}

void LWavePlayer::StartScrub() {
  if (state_ != kStatePlaying) return;
  if (!Stop(options_.stopTimeout)) return;  // the feeder still owns the source
  LSession& s = *session_;
  s.source->Seek(s.playedPosition.load());
  s.playedPosition.store(s.source->Position());
  WriteLoopSnippet(s);
  state_ = kStateScrubbing;
  s.endReached.store(false);
  s.positionChanged.store(false);
  listener_->CueOrScrubStarted(context_);
  ReportPosition(s.playedPosition.load());
}

void LWavePlayer::ResumeNormal() {
  if (state_ == kStateClosed) return;
  if (state_ == kStateScrubbing) {
    session_->device->Reset();
    state_ = kStatePlaying;
    Start(LThreadPriority::kNormal);
  }
  listener_->Started(context_);
}

void LWavePlayer::Seek(int32_t frame) {
  if (state_ == kStateClosed) return;
  if (!Stop(options_.stopTimeout)) return;
  LSession& s = *session_;
  s.device->Reset();
  s.source->Seek(frame);
  s.playedPosition.store(s.source->Position());
  s.endReached.store(false);
  s.positionChanged.store(false);
  if (state_ == kStateScrubbing) {
    WriteLoopSnippet(s);
  } else {
    Start(LThreadPriority::kNormal);
  }
  ReportPosition(s.playedPosition.load());
}

void LWavePlayer::SetVolume(int db) { SetDeviceVolume(DbToLevel(db)); }

void LWavePlayer::SetDeviceVolume(uint16_t level) {
  volume_ = level;
  if (session_) session_->device->SetVolume(level);
}

int32_t LWavePlayer::PlayedPosition() const { return session_ ? session_->playedPosition.load() : 0; }

LLevelRecord LWavePlayer::Levels() const {
  if (!session_) return {};
  std::lock_guard lock(session_->levelLock);
  return session_->levels;
}

int32_t LWavePlayer::BufferFrames() const { return session_ ? session_->bufferFrames : 0; }
int LWavePlayer::Channels() const { return session_ ? session_->channels : 0; }
int32_t LWavePlayer::SampleRate() const { return session_ ? session_->sampleRate : 0; }
int32_t LWavePlayer::SourceLength() const { return session_ ? session_->sourceLength : 0; }
int64_t LWavePlayer::FramesPlayed() const { return session_ ? session_->device->FramesPlayed() : 0; }
int64_t LWavePlayer::Underruns() const { return session_ ? session_->device->Underruns() : lastUnderruns_; }

}  // namespace klangor
