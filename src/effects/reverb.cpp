#include "effects/reverb.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "dsp/effect_math.h"
#include "effects/echo.h"
#include "effects/effect_command.h"
#include "platform/cpu_features.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

constexpr std::array<double, 4> kTapPlaces{0.7413, 0.5581, 0.3823, 0.211};
constexpr std::array<double, 5> kTapShares{0.4, 0.1, 0.3, 0.07, 0.13};

int64_t Tap(int32_t value, int32_t gain) { return (int64_t{value} * gain) >> 9; }

// (value x gain) >> 9 in 32 bits, for gains of at most 511 in size: with value = 512 h + l,
// it is h x gain + ((l x gain) >> 9), and neither part overflows.
int32_t NarrowTap(int32_t value, int32_t gain) { return (value >> 9) * gain + (((value & 511) * gain) >> 9); }

// x + s saturated at the 32-bit range.
int32_t SaturatingAdd(int32_t x, int32_t s) {
  const auto sum = static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(s));
  const bool overflow = ((x ^ sum) & (s ^ sum)) < 0;
  return overflow ? (x < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max()) : sum;
}

// One run of samples in which no index wraps and the read taps stay clear of the places the
// run writes: first every output from the line as it was, then the line takes the outputs.
// With small gains (levels up to 100 %) the five taps add up to less than 2^31 in size, and
// the whole run stays in 32-bit arithmetic; otherwise it is computed in 64 bits.
[[gnu::always_inline]] inline void ReverbRunCode(int32_t* __restrict samples, int32_t* __restrict line,
                                                          const int32_t* __restrict tap0,
                                                          const int32_t* __restrict tap1,
                                                          const int32_t* __restrict tap2,
                                                          const int32_t* __restrict tap3, size_t count,
                                                          const std::array<int32_t, 5>& gains, bool narrow) {
  const int32_t g0 = gains[0];
  const int32_t g1 = gains[1];
  const int32_t g2 = gains[2];
  const int32_t g3 = gains[3];
  const int32_t g4 = gains[4];
  if (narrow) {
    for (size_t i = 0; i < count; ++i) {
      const int32_t taps = NarrowTap(tap0[i], g0) + NarrowTap(tap1[i], g1) + NarrowTap(tap2[i], g2) +
                           NarrowTap(tap3[i], g3) + NarrowTap(line[i], g4);
      samples[i] = SaturatingAdd(samples[i], taps);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      const int64_t sum = int64_t{samples[i]} + Tap(tap0[i], g0) + Tap(tap1[i], g1) + Tap(tap2[i], g2) +
                          Tap(tap3[i], g3) + Tap(line[i], g4);
      samples[i] = SaturateToInt32(sum);
    }
  }
  for (size_t i = 0; i < count; ++i) line[i] = samples[i];
}

}  // namespace

LReverbStream::LReverbStream(LRef<LSoundStream> input, int32_t lineSamples, int32_t levelPercent)
    : LSoundFilter(std::move(input)), line_(static_cast<size_t>(std::max(lineSamples, 128)), 0) {
  const size_t length = line_.size();
  for (size_t i = 0; i < starts_.size(); ++i) {
    starts_[i] = static_cast<size_t>(kTapPlaces[i] * static_cast<double>(length));
  }
  // The level is a 16-bit percentage.
  const int32_t k = std::clamp(levelPercent, -32768, 32767) * 512 / 100;
  for (size_t i = 0; i < gains_.size(); ++i) gains_[i] = TruncToInt32(kTapShares[i] * k);
  int64_t total = 0;
  for (int32_t gain : gains_) total += std::abs(int64_t{gain});
  narrow_ = total <= 511;
}

void LReverbStream::Read(int32_t* frames, int32_t frameCount) {
  Input().Read(frames, frameCount);
  const size_t length = line_.size();
  // Within a run no read index may meet the places the run writes, either way round.
  size_t safe = length;
  for (size_t start : starts_) safe = std::min({safe, start, length - start});
  const size_t total = static_cast<size_t>(std::max(frameCount, 0)) * Channels();
  for (size_t done = 0; done < total;) {
    std::array<size_t, 4> reads{};
    size_t run = std::min({total - done, length - write_, safe});
    for (size_t i = 0; i < reads.size(); ++i) {
      reads[i] = write_ + starts_[i];
      if (reads[i] >= length) reads[i] -= length;
      run = std::min(run, length - reads[i]);
    }
    RunBestCode<ReverbRunCode>(frames + done, line_.data() + write_, line_.data() + reads[0], line_.data() + reads[1],
              line_.data() + reads[2], line_.data() + reads[3], run, gains_, narrow_);
    done += run;
    write_ += run;
    if (write_ == length) write_ = 0;
  }
}

void LReverbStream::Seek(int32_t frame) {
  std::fill(line_.begin(), line_.end(), 0);
  Input().Seek(frame);
}

LRef<LSoundStream> LReverbProcessor::MakeStream(LRef<LSoundStream> input) const {
  const int64_t samples = int64_t{DelayFrames(timeMs_, input->SampleRate())} * input->Channels();
  const auto length = static_cast<int32_t>(std::clamp<int64_t>(samples, 128, INT32_MAX));
  return LRef<LSoundStream>(MakeRef<LReverbStream>(std::move(input), length, levelPercent_));
}

LEffectTask MakeReverbTask(int32_t levelPercent, int32_t timeMs) {
  return {kReverbName, std::make_shared<LReverbProcessor>(levelPercent, timeMs)};
}

std::string LReverbDialog::Validate() {
  if (!kReverbLevel.range.Contains(levelPercent)) return kLevelMessage;
  if (!kReverbTime.range.Contains(timeMs)) return kTimeMessage;
  return {};
}

void LReverbDialog::ChoosePreset(int index) {
  switch (index) {
    case 1: levelPercent = 25, timeMs = 50; break;     // "Wohnzimmer"
    case 2: levelPercent = 50, timeMs = 250; break;    // "Badezimmer"
    case 3: levelPercent = 75, timeMs = 500; break;    // "Auditorium"
    case 4: levelPercent = 100, timeMs = 1000; break;  // "Hangar"
    default: break;
  }
}

LRef<LSoundStream> LReverbDialog::PreviewStream() const {
  return LReverbProcessor(levelPercent, timeMs).MakeStream(SelectionStream());
}

void ReverbCommand(LCommandContext& context) {
  int32_t level = 0;
  int32_t time = 0;
  LEffectCommand command{.undoName = "Reverb", .title = kReverbName};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LReverbDialog dialog(ctx.settings.Read(kReverbLevel), ctx.settings.Read(kReverbTime), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    level = dialog.levelPercent;
    time = dialog.timeMs;
    ctx.settings.Write(kReverbLevel, level);
    ctx.settings.Write(kReverbTime, time);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeReverbTask(level, time); });
}

}  // namespace klangor
