#include "device/alsa_output.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <mutex>

namespace klangor {
namespace {

// The device buffer: 400 ms, so that the device thread may be kept from running for a good
// while (a busy machine) before the sound breaks up. It costs no responsiveness: stopping and
// seeking drop what the buffer holds, and buffers are marked done when they were played.
constexpr unsigned kLatencyUs = 400000;
constexpr int kPollMs = 20;

// ALSA writes its own complaints to stderr; Klangor reports errors itself.
void QuietAlsa(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/, const char* /*fmt*/, ...) {}

std::string AlsaError(const std::string& what, int err) { return what + ": " + snd_strerror(err); }

class LAlsaBackend final : public LOutputBackend {
 public:
  LAlsaBackend(snd_pcm_t* pcm, std::string name, const LDeviceFormat& format, snd_pcm_uframes_t period)
      : pcm_(pcm), name_(std::move(name)), format_(format), period_(static_cast<snd_pcm_sframes_t>(period)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int count = snd_pcm_poll_descriptors_count(pcm_);
    fds_.resize(static_cast<size_t>(std::max(count, 0)) + 1);
    if (count > 0) snd_pcm_poll_descriptors(pcm_, fds_.data(), static_cast<unsigned>(count));
    fds_.back() = pollfd{wakeFd_, POLLIN, 0};
  }
  ~LAlsaBackend() override {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
  }

  int32_t WaitWritable(int timeoutMs, bool dataWaiting) override {
    snd_pcm_sframes_t avail = Avail(dataWaiting);
    if (avail < 0) return -1;
    if (avail >= period_ || (avail > 0 && snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING)) {
      return static_cast<int32_t>(std::min<snd_pcm_sframes_t>(avail, INT32_MAX));
    }
    for (pollfd& fd : fds_) fd.revents = 0;
    if (::poll(fds_.data(), fds_.size(), timeoutMs) > 0 && (fds_.back().revents & POLLIN) != 0) {
      uint64_t count = 0;
      [[maybe_unused]] ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    avail = Avail(dataWaiting);
    return avail < 0 ? -1 : static_cast<int32_t>(std::min<snd_pcm_sframes_t>(avail, INT32_MAX));
  }

  int32_t WriteFrames(const int16_t* samples, int32_t frames) override {
    for (int attempt = 0; attempt < 2; ++attempt) {
      const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, samples, static_cast<snd_pcm_uframes_t>(frames));
      if (written >= 0) {
        written_ += written;
        return static_cast<int32_t>(written);
      }
      if (written == -EAGAIN) return 0;
      if (!Recover(static_cast<int>(written), true)) return -1;
    }
    return 0;
  }

  int64_t PlayedFrames() override {
    snd_pcm_sframes_t delay = 0;
    // Not running (an underrun at the end of the audio, or not started): nothing is pending
    // once the device has stopped; before the start nothing has played.
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_SETUP) {
      played_ = written_;
    } else if (snd_pcm_delay(pcm_, &delay) == 0) {
      played_ = std::clamp<int64_t>(written_ - delay, played_, written_);
    }
    return played_;
  }

  void Drop() override {
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
    written_ = 0;
    played_ = 0;
  }

  void Wake() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t put = ::write(wakeFd_, &one, sizeof one);
  }

  int64_t Underruns() const override { return underruns_.load(std::memory_order_relaxed); }
  int PollMs() const override {
    return std::clamp(static_cast<int>(period_ * 1000 / std::max<int32_t>(format_.sampleRate, 1)), 1, kPollMs);
  }
  std::string Name() const override { return name_; }

 private:
  snd_pcm_sframes_t Avail(bool dataWaiting) {
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail >= 0) return avail;
    if (!Recover(static_cast<int>(avail), dataWaiting)) return -1;
    avail = snd_pcm_avail_update(pcm_);
    return avail < 0 ? -1 : avail;
  }

  // Underruns and suspends are recovered; anything else means the device is gone.
  bool Recover(int err, bool dataWaiting) {
    if (err == -EPIPE) {
      // Ran dry. At the end of the audio that is how playing stops; with audio waiting it
      // is an underrun.
      if (dataWaiting) underruns_.fetch_add(1, std::memory_order_relaxed);
      played_ = written_;
      return snd_pcm_prepare(pcm_) == 0;
    }
    return snd_pcm_recover(pcm_, err, 1) == 0;
  }

  snd_pcm_t* pcm_;
  const std::string name_;
  const LDeviceFormat format_;
  const snd_pcm_sframes_t period_;
  int wakeFd_ = -1;
  std::vector<pollfd> fds_;
  int64_t written_ = 0;
  int64_t played_ = 0;
  std::atomic<int64_t> underruns_{0};
};

std::string FirstLine(const char* text) {
  if (text == nullptr) return {};
  std::string line(text);
  const size_t end = line.find('\n');
  return end == std::string::npos ? line : line.substr(0, end);
}

}  // namespace

void SilenceAlsaMessages() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(QuietAlsa); });
}

static std::vector<LAlsaPcmInfo> ListAlsaPcms(const char* wantedDirection) {
  SilenceAlsaMessages();
  std::vector<LAlsaPcmInfo> list;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) != 0 || hints == nullptr) return list;
  for (void** hint = hints; *hint != nullptr; ++hint) {
    char* name = snd_device_name_get_hint(*hint, "NAME");
    char* description = snd_device_name_get_hint(*hint, "DESC");
    char* direction = snd_device_name_get_hint(*hint, "IOID");
    const bool wanted = direction == nullptr || std::string(direction) == wantedDirection;
    if (name != nullptr && wanted) list.push_back({name, FirstLine(description)});
    std::free(name);
    std::free(description);
    std::free(direction);
  }
  snd_device_name_free_hint(hints);
  return list;
}

std::vector<LAlsaPcmInfo> ListAlsaPlaybackPcms() { return ListAlsaPcms("Output"); }
std::vector<LAlsaPcmInfo> ListAlsaCapturePcms() { return ListAlsaPcms("Input"); }

std::unique_ptr<LOutputBackend> MakeAlsaBackend(const std::string& pcmName, const LDeviceFormat& format,
                                                std::string* error) {
  SilenceAlsaMessages();
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (err < 0) {
    *error = AlsaError("cannot open the ALSA device \"" + pcmName + "\"", err);
    return nullptr;
  }
  err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(format.channels), static_cast<unsigned>(format.sampleRate),
                           1, kLatencyUs);
  snd_pcm_uframes_t buffer = 0;
  snd_pcm_uframes_t period = 0;
  if (err >= 0) err = snd_pcm_get_params(pcm, &buffer, &period);
  if (err >= 0) {
    // Start with the first frame, so that a sound shorter than the device buffer plays too.
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    err = snd_pcm_sw_params_current(pcm, sw);
    if (err >= 0) err = snd_pcm_sw_params_set_start_threshold(pcm, sw, 1);
    if (err >= 0) err = snd_pcm_sw_params_set_avail_min(pcm, sw, std::max<snd_pcm_uframes_t>(period, 1));
    if (err >= 0) err = snd_pcm_sw_params(pcm, sw);
  }
  if (err < 0) {
    *error = AlsaError("the ALSA device \"" + pcmName + "\" cannot play " + std::to_string(format.sampleRate) +
                           " Hz with " + std::to_string(format.channels) + " channels",
                       err);
    snd_pcm_close(pcm);
    return nullptr;
  }
  return std::make_unique<LAlsaBackend>(pcm, pcmName, format, std::max<snd_pcm_uframes_t>(period, 1));
}

}  // namespace klangor
