#include "dsp/rate_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "audio/pump.h"
#include "platform/cpu_features.h"
#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"

namespace klangor {
namespace {

constexpr int kPaddedTaps = 64;        // 63 taps and a zero, so each half is 32 long
constexpr int32_t kBlockFrames = 8192;  // frames read per refill at most
constexpr int32_t kBufferFrames = 32768;
constexpr int32_t kMoveAbove = 32511;   // a refill above this many buffered frames moves first
constexpr int32_t kMaxStep = 1 << 24;

// The smallest shift b that brings `peak` to 16 bits with rounding: (peak + 2^(b-1)) >> b
// is at most 32767. Then every sample within -peak..peak rounds into -32767..32767.
int BlockShift(int64_t peak) {
  int b = 0;
  while (((peak + (b > 0 ? int64_t{1} << (b - 1) : 0)) >> b) > 32767) ++b;
  return b;
}

// (x + 2^(b-1)) >> b without leaving 32 bits: (x >> b) + (((x & (2^b - 1)) + 2^(b-1)) >> b).
int16_t ScaleSample(int32_t x, int b, int32_t mask, int32_t half) {
  return static_cast<int16_t>((x >> b) + (((x & mask) + half) >> b));
}

}  // namespace

double BesselI0(double x) {
  const double half = x / 2.0;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k <= 6; ++k) {
    term *= (half / k) * (half / k);
    sum += term;
  }
  return sum;
}

LRateDesign DesignRateConverter(int32_t inputRate, int32_t outputRate, bool firstStage) {
  LRateDesign design;
  design.inputRate = std::max(inputRate, 1);
  design.outputRate = std::max(outputRate, 1);
  design.firstStage = firstStage;
  const double r = static_cast<double>(design.inputRate) / design.outputRate;

  double best = 0.5;
  int bestPhases = 1;
  for (int p = 1; p <= kRateMaxPhases; ++p) {
    const double q = std::trunc(p * r + 0.5);
    const double e = std::fabs(r - q / p);
    if (e < best) {
      best = e;
      bestPhases = p;
    }
    if (e < 0.001) break;
  }
  const double step = std::trunc(bestPhases * r + 0.5);
  if (step < 1.0) {
    design.phases = kRateMaxPhases;
    design.step = 1;
  } else {
    design.phases = bestPhases;
    design.step = static_cast<int32_t>(std::min(step, static_cast<double>(kMaxStep)));
  }

  if (design.outputRate > design.inputRate) {
    design.cutoff = 0.975;
    design.beta = 2.12;
  } else {
    design.cutoff = static_cast<double>(design.outputRate) / design.inputRate - (firstStage ? 0.09375 : 0.046875);
    design.beta = 4.538;
  }

  const double fc = design.cutoff;
  const double i0Beta = BesselI0(design.beta);
  const int phases = design.phases;
  design.taps.resize(static_cast<size_t>(phases) * kRateTaps);
  for (int j = 0; j < phases; ++j) {
    for (int i = 0; i < kRateTaps; ++i) {
      const double t = (i - 31) - static_cast<double>(j) / phases;
      double h;
      if (t == 0.0) {
        h = 65536.0 * fc;
      } else {
        const double x = kPi * fc * t;
        h = 65536.0 * fc / i0Beta * std::sin(x) / x * BesselI0(design.beta * std::sqrt(1.0 - t * t / 1024.0));
      }
      h = h > 0.0 ? std::trunc(h + 0.5) : std::trunc(h - 0.5);
      design.taps[static_cast<size_t>(j) * kRateTaps + i] = static_cast<int32_t>(h);
    }
  }
  return design;
}

LRateConverterStream::LRateConverterStream(LRef<LSoundStream> input, LRateDesign design)
    : LSoundFilter(std::move(input)),
      design_(std::move(design)),
      channels_(Channels()),
      phases_(design_.phases),
      step_(design_.step),
      wide_(UseAvx2()) {
  SetFormat(design_.outputRate, channels_);
  const int32_t fullScale = FullScale();
  SetFullScale(fullScale >= 0 && fullScale <= 1048576 ? fullScale * 2 : fullScale);

  tapsHigh_.assign(static_cast<size_t>(phases_) * kPaddedTaps, 0);
  tapsLow_.assign(static_cast<size_t>(phases_) * kPaddedTaps, 0);
  for (int j = 0; j < phases_; ++j) {
    for (int i = 0; i < kRateTaps; ++i) {
      const int32_t h = design_.taps[static_cast<size_t>(j) * kRateTaps + i];
      tapsHigh_[static_cast<size_t>(j) * kPaddedTaps + i] = static_cast<int16_t>(h >> 8);
      tapsLow_[static_cast<size_t>(j) * kPaddedTaps + i] = static_cast<int16_t>(h & 255);
    }
  }
  buffer_.assign(static_cast<size_t>(channels_), std::vector<int16_t>(kBufferFrames + kPaddedTaps, 0));
  raw_.resize(static_cast<size_t>(kBlockFrames) * channels_);
  windowStart_.resize(kPumpFrames);
  windowPhase_.resize(kPumpFrames);

  // Start at the first output frame whose centre is at or after the input's position.
  const int64_t inputAt = Input().Position();
  position_ = FloorDiv(inputAt * phases_ + step_ - 1, step_);
}

int32_t LRateConverterStream::Length() const {
  const int64_t inputLength = std::max<int64_t>(Input().Length(), 0);
  return SaturateToInt32((inputLength * phases_ + step_ - 1) / step_);
}

void LRateConverterStream::Seek(int32_t frame) {
  position_ = frame;
  pending_ = true;
}

void LRateConverterStream::Restart(int64_t frame) {
  // Output frame f: window from floor(f s / P) - 31, phase (f s) mod P.
  const int64_t scaled = frame * step_;
  const int64_t first = FloorDiv(scaled, phases_) - 31;
  phase_ = static_cast<int32_t>(FloorMod(scaled, phases_));
  inputPosition_ = first;
  const int64_t target = std::max<int64_t>(first, 0);
  if (Input().Position() != target) Input().Seek(SaturateToInt32(target));
  buffered_ = 0;
  window_ = 0;
  shift_ = 0;
  pending_ = false;
}

void LRateConverterStream::ReadInput(int32_t* frames, int32_t frameCount) {
  if (inputPosition_ < 0) {
    const auto zeros = static_cast<int32_t>(std::min<int64_t>(frameCount, -inputPosition_));
    std::fill(frames, frames + static_cast<size_t>(zeros) * channels_, 0);
    frames += static_cast<size_t>(zeros) * channels_;
    frameCount -= zeros;
    inputPosition_ += zeros;
  }
  if (frameCount > 0) {
    Input().Read(frames, frameCount);
    inputPosition_ += frameCount;
  }
}

void LRateConverterStream::Refill() {
  if (buffered_ > kMoveAbove) {
    const int32_t from = buffered_ - kRateTaps;
    for (auto& channel : buffer_) std::memmove(channel.data(), channel.data() + from, kRateTaps * sizeof(int16_t));
    window_ -= from;
    buffered_ = kRateTaps;
  }
  const int32_t count = std::min(kBlockFrames, kBufferFrames - buffered_);
  const int32_t history = std::min(buffered_, kRateTaps);
  ReadInput(raw_.data(), count);

  // The frames before the block go back to their unscaled values; the peak of those and of
  // the block sets the new shift.
  int64_t peak = PeakOf(raw_.data(), static_cast<size_t>(count) * channels_);
  for (int c = 0; c < channels_; ++c) {
    const int16_t* old = buffer_[c].data() + buffered_ - history;
    for (int32_t i = 0; i < history; ++i) {
      const int64_t restored = int64_t{old[i]} << shift_;
      peak = std::max(peak, restored < 0 ? -restored : restored);
    }
  }
  const int shift = BlockShift(peak);
  const int64_t half = shift > 0 ? int64_t{1} << (shift - 1) : 0;
  for (int c = 0; c < channels_; ++c) {
    int16_t* old = buffer_[c].data() + buffered_ - history;
    for (int32_t i = 0; i < history; ++i) old[i] = static_cast<int16_t>(((int64_t{old[i]} << shift_) + half) >> shift);
  }

  // Deinterleave and scale the block.
  const int32_t* in = raw_.data();
  if (shift == 0) {
    for (int c = 0; c < channels_; ++c) {
      int16_t* out = buffer_[c].data() + buffered_;
      for (int32_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(in[static_cast<size_t>(i) * channels_ + c]);
    }
  } else {
    const int32_t mask = static_cast<int32_t>((int64_t{1} << shift) - 1);
    const auto half32 = static_cast<int32_t>(half);
    for (int c = 0; c < channels_; ++c) {
      int16_t* out = buffer_[c].data() + buffered_;
      for (int32_t i = 0; i < count; ++i) {
        out[i] = ScaleSample(in[static_cast<size_t>(i) * channels_ + c], shift, mask, half32);
      }
    }
  }
  shift_ = shift;
  buffered_ += count;
}

namespace {

// One output sample: the window `x` (64 samples, the last one weighted 0) under the taps
// split into high and low parts. Each part of each half fits 32 bits: 32 x 32767 x 256.
inline int64_t HalfSums(const int16_t* x, const int16_t* high, const int16_t* low) {
  int32_t firstHigh = 0;
  int32_t firstLow = 0;
  for (int t = 0; t < 32; ++t) {
    firstHigh += x[t] * high[t];
    firstLow += x[t] * low[t];
  }
  int32_t secondHigh = 0;
  int32_t secondLow = 0;
  for (int t = 32; t < kPaddedTaps; ++t) {
    secondHigh += x[t] * high[t];
    secondLow += x[t] * low[t];
  }
  const int64_t first = int64_t{firstHigh} * 256 + firstLow;
  const int64_t second = int64_t{secondHigh} * 256 + secondLow;
  return (first >> 1) + (second >> 1);
}

// The sum scaled back by the block shift b and rounded.
inline int32_t ScaleSum(int64_t sum, int shift) {
  const int64_t value = shift <= 14 ? (sum + (int64_t{1} << (14 - shift))) >> (15 - shift) : sum << (shift - 15);
  return SaturateToInt32(value);
}

// `count` output samples of one channel (every `stride`-th sample of `out`): window starts
// and phases per frame, the block shift b. The portable path.
void ConvertChannel(const int16_t* samples, const int32_t* starts, const int32_t* phases, int32_t count,
                    const int16_t* high, const int16_t* low, int shift, int32_t* out, int stride) {
  for (int32_t i = 0; i < count; ++i) {
    const size_t tapOffset = static_cast<size_t>(phases[i]) * kPaddedTaps;
    out[static_cast<size_t>(i) * stride] = ScaleSum(HalfSums(samples + starts[i], high + tapOffset, low + tapOffset), shift);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KLANGOR_HAS_AVX2_PATH 1

// Sixteen samples from `p`.
__attribute__((target("avx2"))) inline __m256i Load16(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The totals of eight vectors' lanes, in their order.
__attribute__((target("avx2"))) inline __m256i LaneTotals(const __m256i* v) {
  const __m256i low = _mm256_hadd_epi32(_mm256_hadd_epi32(v[0], v[1]), _mm256_hadd_epi32(v[2], v[3]));
  const __m256i high = _mm256_hadd_epi32(_mm256_hadd_epi32(v[4], v[5]), _mm256_hadd_epi32(v[6], v[7]));
  return _mm256_add_epi32(_mm256_permute2x128_si256(low, high, 0x20), _mm256_permute2x128_si256(low, high, 0x31));
}

// The same as ConvertChannel, eight output samples at a time, for a group of one or two
// channels whose samples share the taps (each tap vector is loaded once for the group). Per
// sample, A is the window under the high taps (both halves, within 30 bits) and B1, B2 each
// half under the low taps. Since 256 A1 is even, half of a half's sum is 128 A1 + (B1 >> 1),
// so the sum is 128 A + B with B = (B1 >> 1) + (B2 >> 1). For b <= 8 the rounding shift by
// 15 - b >= 7 splits exactly into Q = A + ((B + 2^(14-b)) >> 7) and Q >> (8 - b), all in 32
// bits and within range; louder blocks finish each sample in 64 bits as the portable path
// does. Channel g of the group goes to out[i x stride + g].
template <int kGroup>
__attribute__((target("avx2"))) void ConvertGroupAvx2(const int16_t* const* samples, const int32_t* starts,
                                                       const int32_t* phases, int32_t count, const int16_t* high,
                                                       const int16_t* low, int shift, int32_t* out, int stride) {
  const int32_t whole = count & ~7;
  for (int32_t i = 0; i < whole; i += 8) {
    __m256i highSums[kGroup][8];
    __m256i firstLows[kGroup][8];
    __m256i secondLows[kGroup][8];
    for (int k = 0; k < 8; ++k) {
      const size_t tapOffset = static_cast<size_t>(phases[i + k]) * kPaddedTaps;
      const int16_t* h = high + tapOffset;
      const int16_t* l = low + tapOffset;
      const __m256i h0 = Load16(h), h1 = Load16(h + 16), h2 = Load16(h + 32), h3 = Load16(h + 48);
      const __m256i l0 = Load16(l), l1 = Load16(l + 16), l2 = Load16(l + 32), l3 = Load16(l + 48);
      for (int g = 0; g < kGroup; ++g) {
        const int16_t* x = samples[g] + starts[i + k];
        const __m256i x0 = Load16(x);
        const __m256i x1 = Load16(x + 16);
        const __m256i x2 = Load16(x + 32);
        const __m256i x3 = Load16(x + 48);
        highSums[g][k] = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(x0, h0), _mm256_madd_epi16(x1, h1)),
                                          _mm256_add_epi32(_mm256_madd_epi16(x2, h2), _mm256_madd_epi16(x3, h3)));
        firstLows[g][k] = _mm256_add_epi32(_mm256_madd_epi16(x0, l0), _mm256_madd_epi16(x1, l1));
        secondLows[g][k] = _mm256_add_epi32(_mm256_madd_epi16(x2, l2), _mm256_madd_epi16(x3, l3));
      }
    }
    for (int g = 0; g < kGroup; ++g) {
      const __m256i a = LaneTotals(highSums[g]);
      const __m256i b1 = LaneTotals(firstLows[g]);
      const __m256i b2 = LaneTotals(secondLows[g]);
      alignas(32) int32_t values[8];
      if (shift <= 8) {
        const __m256i b = _mm256_add_epi32(_mm256_srai_epi32(b1, 1), _mm256_srai_epi32(b2, 1));
        const __m256i rounded = _mm256_add_epi32(b, _mm256_set1_epi32(1 << (14 - shift)));
        const __m256i q = _mm256_add_epi32(a, _mm256_srai_epi32(rounded, 7));
        _mm256_store_si256(reinterpret_cast<__m256i*>(values), _mm256_sra_epi32(q, _mm_cvtsi32_si128(8 - shift)));
      } else {
        alignas(32) int32_t as[8], firsts[8], seconds[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(as), a);
        _mm256_store_si256(reinterpret_cast<__m256i*>(firsts), b1);
        _mm256_store_si256(reinterpret_cast<__m256i*>(seconds), b2);
        for (int k = 0; k < 8; ++k) values[k] = ScaleSum(int64_t{as[k]} * 128 + (firsts[k] >> 1) + (seconds[k] >> 1), shift);
      }
      for (int k = 0; k < 8; ++k) out[static_cast<size_t>(i + k) * stride + g] = values[k];
    }
  }
  for (int g = 0; g < kGroup; ++g) {
    ConvertChannel(samples[g], starts + whole, phases + whole, count - whole, high, low, shift,
                   out + static_cast<size_t>(whole) * stride + g, stride);
  }
}
#endif

}  // namespace

void LRateConverterStream::Convert(int32_t* out, int32_t frameCount) {
  // Plan the run: the window and phase of every frame until the buffer runs out (in locals:
  // stores through the plan's pointers could otherwise alias the members).
  int32_t* const starts = windowStart_.data();
  int32_t* const phases = windowPhase_.data();
  const int32_t last = buffered_ - kRateTaps;  // the last window start the buffer holds
  const int32_t phaseCount = phases_;
  int32_t run = 0;
  int32_t window = window_;
  int32_t phase = phase_;
  // The step split once into whole frames and a phase remainder: no division per frame.
  const int32_t stride = step_ / phaseCount;
  const int32_t remainder = step_ % phaseCount;
  while (run < frameCount && window <= last) {
    starts[run] = window;
    phases[run] = phase;
    ++run;
    window += stride;
    phase += remainder;
    if (phase >= phaseCount) {
      phase -= phaseCount;
      ++window;
    }
  }
  for (int c = 0; c < channels_;) {
    const int16_t* group[2] = {buffer_[c].data(), c + 1 < channels_ ? buffer_[c + 1].data() : nullptr};
#ifdef KLANGOR_HAS_AVX2_PATH
    if (wide_) {
      if (group[1] != nullptr) {
        ConvertGroupAvx2<2>(group, starts, phases, run, tapsHigh_.data(), tapsLow_.data(), shift_, out + c, channels_);
        c += 2;
      } else {
        ConvertGroupAvx2<1>(group, starts, phases, run, tapsHigh_.data(), tapsLow_.data(), shift_, out + c, channels_);
        ++c;
      }
      continue;
    }
#endif
    ConvertChannel(group[0], starts, phases, run, tapsHigh_.data(), tapsLow_.data(), shift_, out + c, channels_);
    ++c;
  }
  window_ = window;
  phase_ = phase;
  position_ += run;
}

void LRateConverterStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  if (!Usable()) {
    std::fill(frames, frames + static_cast<size_t>(frameCount) * channels_, 0);
    position_ += frameCount;
    return;
  }
  if (pending_) Restart(position_);
  int32_t done = 0;
  while (done < frameCount) {
    if (window_ + kRateTaps > buffered_) {
      Refill();
      continue;
    }
    const int32_t piece = std::min(frameCount - done, kPumpFrames);
    const int64_t before = position_;
    Convert(frames + static_cast<size_t>(done) * channels_, piece);
    done += static_cast<int32_t>(position_ - before);
  }
}

LRef<LSoundStream> MakeRateConverter(LRef<LSoundStream> input, int32_t outputRate) {
  if (!input || !input->Usable() || outputRate <= 0) return input;
  const int32_t inputRate = input->SampleRate();
  if (inputRate == outputRate) return input;
  if (!RateNeedsTwoStages(inputRate, outputRate)) {
    return MakeRef<LRateConverterStream>(std::move(input), DesignRateConverter(inputRate, outputRate, false));
  }
  const int32_t middle = 2 * outputRate;
  LRef<LSoundStream> first;
  if (int64_t{middle} * 32 <= int64_t{inputRate} * 3) {
    first = MakeRateConverter(std::move(input), middle);
  } else {
    first = MakeRef<LRateConverterStream>(std::move(input), DesignRateConverter(inputRate, middle, true));
  }
  return MakeRef<LRateConverterStream>(std::move(first), DesignRateConverter(middle, outputRate, false));
}

LRateLabelStream::LRateLabelStream(LRef<LSoundStream> input, int32_t sampleRate) : LSoundFilter(std::move(input)) {
  SetFormat(sampleRate, Channels());
  if (!Input().Usable()) SetState(LStreamState::kInputUnusable);
}

}  // namespace klangor
