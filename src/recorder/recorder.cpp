#include "recorder/recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/time_units.h"

namespace klangor {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kReadPollMs = 50;
constexpr int64_t kSilentInputMs = 25000;
constexpr int kDrainBuffers = 32;

int32_t BufferFrames(int32_t rate) { return std::clamp(rate / 10, 32, 8192); }

}  // namespace

int8_t PeakLevel(const int32_t* samples, int32_t frames, int channels, int channel) {
  int64_t peak = 0;
  for (int32_t i = 0; i < frames; ++i) {
    peak = std::max<int64_t>(peak, std::llabs(samples[static_cast<size_t>(i) * channels + channel]));
  }
  if (peak == 0) return -127;
  double level = 20.0 * std::log10(static_cast<double>(peak) / 131072.0);
  level += peak >= 131072 ? 0.5 : -0.5;
  return static_cast<int8_t>(std::clamp(std::trunc(level), -127.0, 127.0));
}

int OverallLevel(const LLevelRecord& record) {
  if (record.channels == 0) return -127;
  if (record.channels == 1) return record.levels[0];
  return std::max(record.levels[0], record.levels[1]);
}

std::string OverrunMessage(int64_t overruns, int64_t lostMs) {
  return "Die Aufnahme hat " + std::to_string(overruns) + (overruns == 1 ? " Lücke" : " Lücken") + ": " +
         std::to_string(lostMs) + " ms des Eingangs gingen verloren, weil sie nicht rechtzeitig gelesen wurden.";
}

LRecorder::LRecorder(LNotifier& notifier, LInputDevices& devices)
    : devices_(devices), channel_(notifier.OpenChannel([this] { OnNotify(); })) {}

LRecorder::~LRecorder() {
  LWorkerThread::Stop();
  Join();
  if (sink_) sink_->Finish();
}

Clock::time_point LRecorder::LevelsArrival() const {
  std::lock_guard lock(levelsLock_);
  return levelsArrival_;
}

int64_t LRecorder::SinkMs() const { return FramesToMs(sink_ ? sink_->FramesWritten() : 0, rate_); }

bool LRecorder::Start(int64_t limitMs, int startThreshold, int64_t silenceMs, LThreadPriority priority) {
  if (IsRunning() || Running()) Stop();
  lastError_.clear();
  failure_ = false;
  if (!sink_ || sink_->Failed()) {
    lastError_ = kWriteFailedMessage;
    return false;
  }
  channels_ = sink_->Channels();
  rate_ = sink_->SampleRate();
  limitFrames_ = limitMs > 0 ? MsToFrames(limitMs, rate_) : 0;
  startThreshold_ = std::clamp(startThreshold, -127, 127);
  silenceThreshold_ = std::clamp(startThreshold_ - 4, -127, 127);
  silenceMs_ = silenceMs;
  lastLoudMs_.store(SinkMs());
  takeFrames_.store(sink_->FramesWritten());
  overruns_.store(0);
  lostFrames_.store(0);
  reportedOverruns_ = 0;
  if (Launch(milliseconds(1500), priority)) return true;
  if (lastError_.empty()) lastError_ = kNoInputMessage;
  Finish();
  return false;
}

bool LRecorder::Launch(milliseconds wait, LThreadPriority priority) {
  state_.store(1);
  ended_.store(0);
  limitReached_.store(false);
  started_.Reset();
  go_.Set();
  if (!LWorkerThread::Start(priority)) {
    state_.store(0);
    return false;
  }
  started_.Wait(wait);
  if (state_.load() == 0) {
    LWorkerThread::Stop();
    return false;
  }
  if (listener_) {
    listener_->Waiting(context_);
    listener_->Position(lastLoudMs_.load(), context_);
  }
  return true;
}

void LRecorder::Restart() {
  if (!IsRunning()) return;
  LWorkerThread::Stop();
  sink_->Seek(0);
  takeFrames_.store(0);
  lastLoudMs_.store(0);
  if (!Launch(milliseconds(700), LThreadPriority::kNormal)) {
    if (lastError_.empty()) lastError_ = kNoInputMessage;
    Finish();
    if (listener_) listener_->Stopped(context_);
  }
}

void LRecorder::Stop() {
  if (!IsRunning() && !Running()) return;
  LWorkerThread::Stop();
  if (sink_) {
    const int64_t lastLoud = lastLoudMs_.load() + 50;
    if (SinkMs() > lastLoud) sink_->Seek(static_cast<int32_t>(MsToFrames(lastLoud, rate_)));
    takeFrames_.store(sink_->FramesWritten());
  }
  Finish();
  lastLoudMs_.store(0);
  if (listener_) listener_->Stopped(context_);
}

void LRecorder::Finish() {
  if (sink_) {
    sink_->Finish();
    if (sink_->Failed() && ended_.load() != 4) {
      failure_ = true;
      Report(kWriteFailedMessage);
    }
    sink_.Reset();
  }
  state_.store(0);
  levelsChanged_.store(false);
  stateChanged_.store(false);
}

void LRecorder::Report(const std::string& message) {
  lastError_ = message;
  if (listener_) listener_->Problem(message, context_);
}

void LRecorder::OnNotify() {
  if (!IsRunning()) return;
  if (const int64_t overruns = overruns_.load(); overruns > reportedOverruns_) {
    reportedOverruns_ = overruns;
    Report(OverrunMessage(overruns, FramesToMs(lostFrames_.load(), rate_)));
  }
  // A state change comes before the end, so that a take recorded in full between two
  // notifications still reports that it recorded.
  if (stateChanged_.exchange(false) && listener_) {
    const int state = state_.load();
    if (state == 1) listener_->Waiting(context_);
    if (state == 2) listener_->Recording(context_);
  }
  const int ended = ended_.load();
  if (ended != 0 || limitReached_.load()) {
    failure_ = ended >= 2;
    if (ended == 2) Report(kInputFailedMessage);
    if (ended == 3) Report(kInputSilentMessage);
    if (ended == 4) Report(kWriteFailedMessage);
    Stop();
    return;
  }
  if (levelsChanged_.exchange(false) && listener_) {
    LLevelRecord levels;
    {
      std::lock_guard lock(levelsLock_);
      levels = levels_;
    }
    listener_->Position(lastLoudMs_.load(), context_);
    listener_->Levels(levels, context_);
  }
}

void LRecorder::Run() {
  std::string error;
  std::unique_ptr<LWaveIn> input = devices_.Open(device_, LDeviceFormat{rate_, channels_}, &error);
  if (!input) {
    lastError_ = kNoInputMessage + std::string(" (") + error + ")";
    state_.store(0);
    started_.Set();
    return;
  }
  const int32_t bufferFrames = BufferFrames(rate_);
  const size_t bufferSamples = static_cast<size_t>(bufferFrames) * static_cast<size_t>(channels_);
  std::vector<int16_t> narrow(bufferSamples);
  std::vector<int32_t> wide(bufferSamples);
  dcState_.assign(static_cast<size_t>(channels_), 0);
  removingDc_ = removeDc_ && input->CarriesDcOffset();
  dcFactor_ = rate_ > 0 ? 192000 / rate_ + 1 : 1;
  prerollFrames_ = 0;
  preroll_.assign(bufferSamples, 0);

  started_.Set();
  if (LEvent::WaitAny({&go_, &StopEvent()}, milliseconds::max()) != 0) return;
  SetThreadPriority(CurrentThreadId(), LThreadPriority::kTimeCritical);
  input->Start();

  auto convert = [&](int32_t frames) {
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels_);
    for (size_t i = 0; i < count; ++i) wide[i] = int32_t{narrow[i]} * 16;
  };
  auto noteOverruns = [&] {
    lostFrames_.store(input->LostFrames());
    overruns_.store(input->Overruns());
  };

  int32_t have = 0;
  Clock::time_point lastData = Clock::now();
  while (!StopRequested()) {
    const int32_t got = input->Read(narrow.data() + static_cast<size_t>(have) * channels_, bufferFrames - have,
                                    kReadPollMs);
    noteOverruns();
    if (got < 0) {
      // The rest of a buffer from an input that ended or failed still belongs to the take.
      if (have > 0) {
        convert(have);
        ProcessBuffer(wide.data(), have, Clock::now());
      }
      if (ended_.load() == 0) ended_.store(input->Ended() ? 1 : 2);
      channel_->Post();
      break;
    }
    const Clock::time_point now = Clock::now();
    if (got == 0) {
      if (now - lastData > milliseconds(kSilentInputMs)) {
        ended_.store(3);
        channel_->Post();
        break;
      }
      continue;
    }
    lastData = now;
    have += got;
    if (have < bufferFrames) continue;
    have = 0;
    convert(bufferFrames);
    ProcessBuffer(wide.data(), bufferFrames, now);
    if (ended_.load() != 0 || limitReached_.load()) break;
  }
  // Stopped while recording: what the device holds already belongs to the take.
  if (StopRequested() && state_.load() == 2 && ended_.load() == 0 && !limitReached_.load()) {
    for (int i = 0; i < kDrainBuffers; ++i) {
      const int32_t got =
          input->Read(narrow.data() + static_cast<size_t>(have) * channels_, bufferFrames - have, 0);
      if (got > 0) have += got;
      if (have == 0 || (got <= 0 && have > 0)) {
        if (have > 0) {
          convert(have);
          WriteFrames(wide.data(), have);
        }
        break;
      }
      if (have == bufferFrames) {
        convert(have);
        have = 0;
        if (!WriteFrames(wide.data(), bufferFrames)) break;
      }
    }
  }
  noteOverruns();
  takeFrames_.store(sink_->FramesWritten());
}

bool LRecorder::WriteFrames(const int32_t* samples, int32_t frames) {
  int32_t count = frames;
  if (limitFrames_ > 0) count = static_cast<int32_t>(std::clamp<int64_t>(limitFrames_ - sink_->FramesWritten(), 0, frames));
  if (count > 0) sink_->Write(samples, count);
  takeFrames_.store(sink_->FramesWritten());
  if (sink_->Failed()) {
    ended_.store(4);
    return false;
  }
  if (limitFrames_ > 0 && sink_->FramesWritten() >= limitFrames_) {
    limitReached_.store(true);
    return false;
  }
  return true;
}

void LRecorder::ProcessBuffer(int32_t* samples, int32_t frames, Clock::time_point arrival) {
  const size_t channels = static_cast<size_t>(channels_);
  if (removingDc_) {
    for (size_t c = 0; c < channels; ++c) {
      int64_t s = dcState_[c];
      for (int32_t i = 0; i < frames; ++i) {
        int32_t& x = samples[static_cast<size_t>(i) * channels + c];
        const int64_t y = x - (s >> 12);
        x = static_cast<int32_t>(y);
        s += y * dcFactor_;
      }
      dcState_[c] = s;
    }
  }
  LLevelRecord record;
  record.channels = static_cast<uint8_t>(channels_);
  for (int c = 0; c < channels_; ++c) record.levels[static_cast<size_t>(c)] = PeakLevel(samples, frames, channels_, c);
  const int level = OverallLevel(record);

  const int state = state_.load();
  if (state == 1) {
    if (level < startThreshold_) {
      std::copy(samples, samples + static_cast<size_t>(frames) * channels, preroll_.begin());
      prerollFrames_ = frames;
    } else {
      LLevelRecord firstHalf;
      firstHalf.channels = record.channels;
      for (int c = 0; c < channels_; ++c) {
        firstHalf.levels[static_cast<size_t>(c)] = PeakLevel(samples, frames / 2, channels_, c);
      }
      bool writing = true;
      if (OverallLevel(firstHalf) >= startThreshold_ && prerollFrames_ > 0) {
        const int32_t half = prerollFrames_ / 2;
        writing = WriteFrames(preroll_.data() + static_cast<size_t>(half) * channels, prerollFrames_ - half);
      }
      if (writing) WriteFrames(samples, frames);
      prerollFrames_ = 0;
      state_.store(2);
      stateChanged_.store(true);
      lastLoudMs_.store(SinkMs());
    }
  } else if (state == 2) {
    WriteFrames(samples, frames);
    const int64_t t = SinkMs();
    if (level >= silenceThreshold_) {
      lastLoudMs_.store(t);
    } else if (t - lastLoudMs_.load() > silenceMs_ && ended_.load() == 0 && !limitReached_.load()) {
      sink_->Seek(static_cast<int32_t>(MsToFrames(lastLoudMs_.load() + 450, rate_)));
      takeFrames_.store(sink_->FramesWritten());
      state_.store(1);
      std::copy(samples, samples + static_cast<size_t>(frames) * channels, preroll_.begin());
      prerollFrames_ = frames;
      stateChanged_.store(true);
    }
  }
  {
    std::lock_guard lock(levelsLock_);
    levels_ = record;
    levelsArrival_ = arrival;
  }
  levelsChanged_.store(true);
  channel_->Post();
}

}  // namespace klangor
