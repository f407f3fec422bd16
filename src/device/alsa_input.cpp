#include "device/alsa_input.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <vector>

#include "device/alsa_output.h"

namespace klangor {
namespace {

constexpr unsigned kLatencyUs = 2000000;

using Clock = std::chrono::steady_clock;

class LAlsaInput final : public LWaveIn {
 public:
  LAlsaInput(snd_pcm_t* pcm, std::string name, const LDeviceFormat& format)
      : pcm_(pcm), name_(std::move(name)), format_(format) {
    const int count = snd_pcm_poll_descriptors_count(pcm_);
    fds_.resize(static_cast<size_t>(std::max(count, 0)));
    if (count > 0) snd_pcm_poll_descriptors(pcm_, fds_.data(), static_cast<unsigned>(count));
  }
  ~LAlsaInput() override {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
  }

  const LDeviceFormat& Format() const override { return format_; }

  void Start() override {
    snd_pcm_start(pcm_);
    started_ = Clock::now();
  }

  int32_t Read(int16_t* samples, int32_t frames, int timeoutMs) override {
    if (failed_.load()) return -1;
    snd_pcm_sframes_t avail = Avail();
    if (avail == 0 && timeoutMs > 0) {
      for (pollfd& fd : fds_) fd.revents = 0;
      ::poll(fds_.data(), fds_.size(), timeoutMs);
      avail = Avail();
    }
    if (avail <= 0) return avail < 0 ? -1 : 0;
    const auto wanted = static_cast<snd_pcm_uframes_t>(std::min<snd_pcm_sframes_t>(avail, frames));
    snd_pcm_sframes_t got = snd_pcm_readi(pcm_, samples, wanted);
    if (got == -EAGAIN) return 0;
    if (got < 0) {
      if (!Recover(static_cast<int>(got))) return -1;
      return 0;
    }
    read_ += got;
    return static_cast<int32_t>(got);
  }

  int64_t Overruns() const override { return overruns_.load(); }
  int64_t LostFrames() const override { return lost_.load(); }
  bool Failed() const override { return failed_.load(); }
  bool Ended() const override { return false; }
  std::string Name() const override { return name_; }

 private:
  snd_pcm_sframes_t Avail() {
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail >= 0) return avail;
    if (!Recover(static_cast<int>(avail))) return -1;
    avail = snd_pcm_avail_update(pcm_);
    return avail < 0 ? 0 : avail;
  }

  // Overruns and suspends are recovered; anything else means the device is gone.
  bool Recover(int err) {
    if (err == -EPIPE) {
      overruns_.fetch_add(1);
      // What should have come by now and did not: lost.
      const int64_t elapsedUs =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started_).count();
      const int64_t due = elapsedUs * format_.sampleRate / 1000000;
      lost_.store(std::max<int64_t>(lost_.load(), due - read_));
      if (snd_pcm_prepare(pcm_) == 0 && snd_pcm_start(pcm_) == 0) return true;
    } else if (snd_pcm_recover(pcm_, err, 1) == 0) {
      snd_pcm_start(pcm_);
      return true;
    }
    failed_.store(true);
    return false;
  }

  snd_pcm_t* pcm_;
  const std::string name_;
  const LDeviceFormat format_;
  std::vector<pollfd> fds_;
  Clock::time_point started_ = Clock::now();
  int64_t read_ = 0;
  std::atomic<int64_t> overruns_{0};
  std::atomic<int64_t> lost_{0};
  std::atomic<bool> failed_{false};
};

}  // namespace

std::unique_ptr<LWaveIn> OpenAlsaInput(const std::string& pcmName, const LDeviceFormat& format, std::string* error) {
  SilenceAlsaMessages();
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (err < 0) {
    *error = "cannot open the ALSA capture device \"" + pcmName + "\": " + snd_strerror(err);
    return nullptr;
  }
  err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(format.channels), static_cast<unsigned>(format.sampleRate), 1,
                           kLatencyUs);
  if (err < 0) {
    *error = "the ALSA capture device \"" + pcmName + "\" cannot record " + std::to_string(format.sampleRate) +
             " Hz with " + std::to_string(format.channels) + " channels: " + snd_strerror(err);
    snd_pcm_close(pcm);
    return nullptr;
  }
  return std::make_unique<LAlsaInput>(pcm, pcmName, format);
}

}  // namespace klangor
