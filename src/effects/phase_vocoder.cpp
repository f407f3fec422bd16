#include "effects/phase_vocoder.h"

#include "dsp/effect_math.h"
#include "platform/cpu_features.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace klangor {
namespace {

constexpr double kTwoPi = 2.0 * kPi;
constexpr int kMaxSize = 16384;  // rates above 650 kHz share this size
constexpr double kMaxSpeed = 8.0;

// Adding and subtracting 1.5 x 2^23 rounds a float to the nearest integer (for |x| < 2^22).
constexpr float kRoundMagic = 12582912.0f;

// An angle brought into -pi..pi by whole turns (for angles within a few thousand turns).
[[gnu::always_inline]] inline float WrapAngle(float x) {
  constexpr float kTurn = 6.28318531f;
  const float turns = (x * (1.0f / kTurn) + kRoundMagic) - kRoundMagic;
  return x - turns * kTurn;
}

// atan2 in single precision (error about 1e-7): the angle of the smaller over the larger
// coordinate, reduced below tan(pi/8) around pi/4, then put into its octant.
[[gnu::always_inline]] inline float FastAtan2(float y, float x) {
  const float ax = std::fabs(x);
  const float ay = std::fabs(y);
  const float big = std::max(ax, ay);
  const float small = std::min(ax, ay);
  float a = small / std::max(big, 1e-30f);
  const bool reduce = a > 0.41421356f;
  const float offset = reduce ? 0.78539816f : 0.0f;
  const float reduced = (a - 1.0f) / (a + 1.0f);
  a = reduce ? reduced : a;
  const float z = a * a;
  float r = (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z - 3.33329491539e-1f) * z * a +
            a + offset;
  r = ay > ax ? 1.57079633f - r : r;
  r = x < 0.0f ? 3.14159265f - r : r;
  return y < 0.0f ? -r : r;
}

// sin and cos of t within [-pi, pi]: reflected into [-pi/2, pi/2] and then by their series
// (error below 4e-7).
[[gnu::always_inline]] inline void FastSinCos(float t, float* sine, float* cosine) {
  const bool high = t > 1.57079633f;
  const bool low = t < -1.57079633f;
  const float y = high ? 3.14159265f - t : (low ? -3.14159265f - t : t);
  const float sign = (high || low) ? -1.0f : 1.0f;
  const float z = y * y;
  *sine = y * (1.0f + z * (-1.6666667e-1f +
                           z * (8.3333333e-3f + z * (-1.9841270e-4f + z * (2.7557319e-6f + z * -2.5052108e-8f)))));
  *cosine =
      sign *
      (1.0f + z * (-0.5f + z * (4.1666667e-2f + z * (-1.3888889e-3f +
                                                     z * (2.4801587e-5f + z * (-2.7557319e-7f + z * 2.0876757e-9f))))));
}

// Per bin k: the magnitude, the measured phase, and the running phase's change over the hop,
// wrap(phi - k wa - P(k)); P(k) becomes phi - k wa reduced to one turn.
[[gnu::always_inline]] inline void MeasureBins(int bins, uint32_t analysisTurn, uint32_t mask, float binAngle,
                                               const float* __restrict re, const float* __restrict im,
                                               float* __restrict magnitude, float* __restrict measured,
                                               float* __restrict phase, float* __restrict change) {
  for (int k = 0; k < bins; ++k) {
    const float x = re[k];
    const float y = im[k];
    magnitude[k] = std::sqrt(x * x + y * y);
    const float angle = FastAtan2(y, x);
    measured[k] = angle;
    const auto turn = static_cast<int32_t>((static_cast<uint32_t>(k) * analysisTurn) & mask);
    const float deviation = angle - static_cast<float>(turn) * binAngle;  // within -3 pi .. pi
    change[k] = WrapAngle(deviation - phase[k]);
    phase[k] = WrapAngle(deviation);
  }
}

// The bins rebuilt from their magnitudes at the output phases (left reduced to one turn).
[[gnu::always_inline]] inline void RebuildBins(int bins, const float* __restrict magnitude, float* __restrict output,
                                               float* __restrict re, float* __restrict im) {
  for (int k = 0; k < bins; ++k) {
    const float reduced = WrapAngle(output[k]);
    output[k] = reduced;
    float sine;
    float cosine;
    FastSinCos(reduced, &sine, &cosine);
    re[k] = magnitude[k] * cosine;
    im[k] = magnitude[k] * sine;
  }
}

// The arrays and constants of one channel's frame for the per-bin work.
struct LBinArgs {
  int bins;
  uint32_t analysisTurn;  // A mod N
  uint32_t hopTurn;       // synthesis hop mod N
  uint32_t mask;          // N - 1
  float binAngle;         // 2 pi / N
  float ratio;            // h
  bool firstFrame;
  float* re;
  float* im;
  float* magnitude;  // with a 0 before bin 0 and after the last
  float* measured;
  float* phase;
  float* change;
  float* output;
  float* lead;
  int32_t* owner;
  int32_t* peakAt;
  int32_t* fallAt;
};

// Every bin's peak from peakAt and fallAt (see LockPhases) and its output phase, the peak's
// lead plus its measured phase; false (and nothing written) when there is no peak.
// Backward: a bin goes to the next peak at or above it when no fall comes first; else -1.
// Forward: the others go to the last peak below them (the first peak for the bins before
// it). A next peak lies above every previous one, so the larger index wins.
[[gnu::always_inline]] inline bool AssignRegions(int bins, const int32_t* __restrict peakAt,
                                                 const int32_t* __restrict fallAt, const float* __restrict lead,
                                                 const float* __restrict measured, int32_t* __restrict owner,
                                                 float* __restrict output) {
  int32_t next = bins;
  int32_t fall = bins - 1;
  for (int k = bins - 1; k >= 0; --k) {
    next = std::min(next, peakAt[k]);
    fall = std::min(fall, fallAt[k]);
    owner[k] = next | -static_cast<int32_t>(fall < next);  // all ones: -1
  }
  if (next == bins) return false;
  int32_t previous = next;
  for (int k = 0; k < bins; ++k) {
    previous = std::max(previous, peakAt[k] == k ? k : -1);
    owner[k] = std::max(owner[k], previous);
  }
  for (int k = 0; k < bins; ++k) output[k] = lead[owner[k]] + measured[k];
  return true;
}

// Lane i becomes the least of lanes i..7 and `carry`, which then gets lane 0.
[[gnu::target("avx2")]] [[gnu::always_inline]] inline __m256i SuffixMin(__m256i x, int32_t* carry) {
  x = _mm256_min_epi32(x, _mm256_permutevar8x32_epi32(x, _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7)));
  x = _mm256_min_epi32(x, _mm256_permutevar8x32_epi32(x, _mm256_setr_epi32(2, 3, 4, 5, 6, 7, 7, 7)));
  x = _mm256_min_epi32(x, _mm256_permutevar8x32_epi32(x, _mm256_setr_epi32(4, 5, 6, 7, 7, 7, 7, 7)));
  x = _mm256_min_epi32(x, _mm256_set1_epi32(*carry));
  *carry = _mm256_cvtsi256_si32(x);
  return x;
}

// The same with 8 bins a step (`bins` a multiple of 8): the running minima and maxima within
// a vector in three shifted steps (a lane shifted onto itself changes nothing), then with the
// carry from the vector before.
[[gnu::target("avx2")]] bool AssignRegionsAvx2(
    int bins, const int32_t* __restrict peakAt, const int32_t* __restrict fallAt, const float* __restrict lead,
    const float* __restrict measured, int32_t* __restrict owner, float* __restrict output) {
  int32_t next = bins;
  int32_t fall = bins - 1;
  for (int k = bins - 8; k >= 0; k -= 8) {
    const __m256i nextPeak = SuffixMin(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(peakAt + k)), &next);
    const __m256i nextFall = SuffixMin(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(fallAt + k)), &fall);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(owner + k),
                        _mm256_or_si256(nextPeak, _mm256_cmpgt_epi32(nextPeak, nextFall)));
  }
  if (next == bins) return false;
  const __m256i up1 = _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6);
  const __m256i up2 = _mm256_setr_epi32(0, 1, 0, 1, 2, 3, 4, 5);
  const __m256i up4 = _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3);
  const __m256i none = _mm256_set1_epi32(-1);
  __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  int32_t previous = next;
  for (int k = 0; k < bins; k += 8) {
    const __m256i isPeak = _mm256_cmpeq_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(peakAt + k)), index);
    __m256i below = _mm256_blendv_epi8(none, index, isPeak);
    below = _mm256_max_epi32(below, _mm256_permutevar8x32_epi32(below, up1));
    below = _mm256_max_epi32(below, _mm256_permutevar8x32_epi32(below, up2));
    below = _mm256_max_epi32(below, _mm256_permutevar8x32_epi32(below, up4));
    below = _mm256_max_epi32(below, _mm256_set1_epi32(previous));
    previous = _mm256_extract_epi32(below, 7);
    const __m256i peak = _mm256_max_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(owner + k)), below);
    _mm256_storeu_ps(output + k, _mm256_add_ps(_mm256_i32gather_ps(lead, peak, 4), _mm256_loadu_ps(measured + k)));
    index = _mm256_add_epi32(index, _mm256_set1_epi32(8));
  }
  return true;
}

// Output phases after the first frame. Each spectral peak p (a bin louder than its left
// neighbour and at least as loud as its right one) advances by k x 2 pi hop / N plus h times
// its change; every bin j of its region gets the same lead, output = lead(p) + measured(j),
// lead(p) = advance(p) - measured(p). A region reaches from the quietest bin after the
// previous peak (the first, of equal ones) to the quietest bin before the next. Between two
// peaks the magnitudes fall (or stay) and then rise strictly, so a bin left of peak q belongs
// to q exactly when the magnitudes from it up to q never fall. So a backward pass (the
// nearest peak and the nearest fall above each bin) and a forward pass (the nearest peak
// below) find every bin's peak with running minima and maxima of indices, free of branches;
// the comparisons, the leads and the output phases run over whole frames.
template <bool kWide>
[[gnu::always_inline]] inline void LockPhases(const LBinArgs& a) {
  const int bins = a.bins;
  const float* __restrict magnitude = a.magnitude;  // with a 0 before bin 0 and after the last
  const float* __restrict measured = a.measured;
  const float* __restrict change = a.change;
  float* __restrict output = a.output;
  float* __restrict lead = a.lead;
  int32_t* __restrict owner = a.owner;
  const float binAngle = a.binAngle;
  const float ratio = a.ratio;
  const uint32_t hopTurn = a.hopTurn;
  const uint32_t mask = a.mask;
  const auto advance = [&](int k) {
    return output[k] +
           static_cast<float>(static_cast<int32_t>((static_cast<uint32_t>(k) * hopTurn) & mask)) * binAngle +
           ratio * change[k];
  };
  // Per bin: k if it is a peak (else bins), k if it is louder than the bin above (else
  // bins - 1, which leaves "no peak above" apart from "a peak and no fall before it").
  int32_t* __restrict peakAt = a.peakAt;
  int32_t* __restrict fallAt = a.fallAt;
  for (int k = 0; k < bins; ++k) {
    lead[k] = advance(k) - measured[k];
    const float m = magnitude[k];
    peakAt[k] = (m > magnitude[k - 1]) & (m >= magnitude[k + 1]) ? k : bins;
    fallAt[k] = m > magnitude[k + 1] ? k : bins - 1;
  }
  bool locked;
  if constexpr (kWide) {
    locked = bins % 8 == 0 ? AssignRegionsAvx2(bins, peakAt, fallAt, lead, measured, owner, output)
                           : AssignRegions(bins, peakAt, fallAt, lead, measured, owner, output);
  } else {
    locked = AssignRegions(bins, peakAt, fallAt, lead, measured, owner, output);
  }
  if (!locked) {
    for (int k = 0; k < bins; ++k) output[k] = advance(k);  // no peak: every bin on its own
  }
}

// Measurement, output phases and the rebuilt bins of one channel's frame.
template <bool kWide>
[[gnu::always_inline]] inline void BinWork(const LBinArgs& a) {
  MeasureBins(a.bins, a.analysisTurn, a.mask, a.binAngle, a.re, a.im, a.magnitude, a.measured, a.phase, a.change);
  if (a.firstFrame) {
    std::copy(a.measured, a.measured + a.bins, a.output);
  } else {
    LockPhases<kWide>(a);
  }
  RebuildBins(a.bins, a.magnitude, a.output, a.re, a.im);
}

// The frame's samples of one channel (every `step`th) under the analysis window.
[[gnu::always_inline]] inline void WindowIn(int n, int step, const int32_t* __restrict samples,
                                            const float* __restrict window, float* __restrict frame) {
  for (int i = 0; i < n; ++i) frame[i] = static_cast<float>(samples[static_cast<size_t>(i) * step]) * window[i];
}

// The inverse transform under the synthesis window added to the overlap.
[[gnu::always_inline]] inline void AddOut(int n, const float* __restrict back, const float* __restrict synthesis,
                                          float* __restrict overlap) {
  for (int i = 0; i < n; ++i) overlap[i] += back[i] * synthesis[i];
}


}  // namespace

int PhaseVocoderSize(int32_t sampleRate) { return std::min(TransformSizeFor(sampleRate / 32), kMaxSize); }

LPhaseVocoderStream::LPhaseVocoderStream(LRef<LSoundStream> input, double speed)
    : LSoundFilter(std::move(input)),
      channels_(Channels()),
      size_(PhaseVocoderSize(SampleRate())),
      synthesisHop_(size_ / 8),
      wide_(UseAvx2()) {
  if (!(speed > 0.0)) speed = 1e-6;
  speed = std::min(speed, kMaxSpeed);
  const double hop = synthesisHop_ * speed;
  hopWhole_ = static_cast<int32_t>(std::trunc(hop));
  hopMillionths_ = static_cast<int32_t>(std::llround((hop - hopWhole_) * 1000000.0));
  if (hopMillionths_ == 1000000) {
    ++hopWhole_;
    hopMillionths_ = 0;
  }
  if (hopWhole_ == 0 && hopMillionths_ == 0) hopMillionths_ = 1;
  const double analysisHop = hopWhole_ + hopMillionths_ * 0.000001;
  ratio_ = synthesisHop_ / analysisHop;
  // Frame n ends at input A(n) and output S(n) = n x hop; their centres meet at the right
  // times when A(0) = N/2 (1 - 1/h).
  startOffset_ = static_cast<int64_t>(std::llround(size_ / 2.0 * (1.0 - 1.0 / ratio_)));

  const int64_t fullScale = FullScale();
  SetFullScale(static_cast<int32_t>(std::max<int64_t>(fullScale, std::min<int64_t>(2 * fullScale, 2097152))));

  const size_t n = static_cast<size_t>(size_);
  std::vector<double> hamming(n);
  for (size_t i = 0; i < n; ++i) hamming[i] = 0.54 - 0.46 * std::cos(kTwoPi * static_cast<double>(i) / size_);
  const double scale = 1.0 / std::sqrt(std::max(0.2, speed));
  window_.resize(n);
  for (size_t i = 0; i < n; ++i) window_[i] = static_cast<float>(hamming[i] * scale);
  synthesis_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    double overlap = 0.0;
    for (size_t j = i % static_cast<size_t>(synthesisHop_); j < n; j += static_cast<size_t>(synthesisHop_)) {
      overlap += hamming[j] * hamming[j];
    }
    synthesis_[i] = static_cast<float>(hamming[i] / overlap / size_);
  }

  phase_.assign(static_cast<size_t>(channels_) * (n / 2), 0.0f);
  output_.assign(static_cast<size_t>(channels_) * (n / 2), 0.0f);
  overlap_.assign(static_cast<size_t>(channels_) * n, 0.0f);
  scratch_ = std::make_unique<LScratch>(size_);
  if (channels_ >= 2 && LSecondLane::Worthwhile()) {
    laneScratch_ = std::make_unique<LScratch>(size_);
    lane_ = std::make_unique<LSecondLane>([this] {
      for (int c = 1; c < channels_; c += 2) ProcessChannel(c, laneFirst_, *laneScratch_);
    });
  }
  inputCapacity_ = static_cast<int32_t>(std::clamp<int64_t>(int64_t{SampleRate()} * 5, 4 * int64_t{size_}, 1 << 22));
  input_.resize(static_cast<size_t>(inputCapacity_) * channels_);
  ready_.resize(static_cast<size_t>(synthesisHop_) * channels_);

  const int64_t inputAt = Input().Position();
  position_ = static_cast<int64_t>(std::ceil(static_cast<double>(inputAt) * ratio_));
}

int32_t LPhaseVocoderStream::Length() const {
  const double length = std::ceil(static_cast<double>(std::max(Input().Length(), 0)) * ratio_);
  return static_cast<int32_t>(std::min(length, static_cast<double>(std::numeric_limits<int32_t>::max())));
}

void LPhaseVocoderStream::Seek(int32_t frame) {
  position_ = frame;
  pending_ = true;
}

int64_t LPhaseVocoderStream::AnalysisEnd(int64_t frameIndex) const {
  return startOffset_ + frameIndex * hopWhole_ + FloorDiv(frameIndex * hopMillionths_, 1000000);
}

void LPhaseVocoderStream::Restart(int64_t frame) {
  // The chunk of output frame f is c = f div hop; the eight frames c + 1 .. c + 8 overlap
  // it, and after frame c + 8 it is complete.
  const int64_t chunk = FloorDiv(frame, synthesisHop_);
  frameIndex_ = chunk + 1;
  skip_ = frame - chunk * synthesisHop_;
  position_ = frame;
  std::fill(phase_.begin(), phase_.end(), 0.0f);
  firstFrame_ = true;
  std::fill(overlap_.begin(), overlap_.end(), 0.0f);
  readyCount_ = 0;
  readyOffset_ = 0;
  inputStart_ = AnalysisEnd(frameIndex_) - size_;
  inputEnd_ = inputStart_;
  sourcePosition_ = inputStart_;
  const int64_t target = std::max<int64_t>(inputStart_, 0);
  if (Input().Position() != target) {
    Input().Seek(static_cast<int32_t>(std::min<int64_t>(target, std::numeric_limits<int32_t>::max())));
  }
  pending_ = false;
}

void LPhaseVocoderStream::ReadInputUpTo(int64_t end) {
  if (end - inputStart_ > inputCapacity_) {
    const int64_t keepFrom = std::max(end - size_, inputStart_);
    const int64_t kept = std::max<int64_t>(inputEnd_ - keepFrom, 0);
    std::memmove(input_.data(), input_.data() + static_cast<size_t>(keepFrom - inputStart_) * channels_,
                 static_cast<size_t>(kept) * channels_ * sizeof(int32_t));
    inputStart_ = keepFrom;
    inputEnd_ = keepFrom + kept;
  }
  while (inputEnd_ < end) {
    int32_t* to = input_.data() + static_cast<size_t>(inputEnd_ - inputStart_) * channels_;
    auto count = static_cast<int32_t>(end - inputEnd_);
    if (sourcePosition_ < 0) {
      count = static_cast<int32_t>(std::min<int64_t>(count, -sourcePosition_));
      std::fill(to, to + static_cast<size_t>(count) * channels_, 0);
    } else {
      Input().Read(to, count);
    }
    sourcePosition_ += count;
    inputEnd_ += count;
  }
}

LPhaseVocoderStream::LScratch::LScratch(int size)
    : fft(size),
      magnitude(static_cast<size_t>(size) / 2 + 2, 0.0f),  // bins 0 .. N/2 - 1 from index 1
      measured(static_cast<size_t>(size) / 2),
      change(static_cast<size_t>(size) / 2),
      lead(static_cast<size_t>(size) / 2),
      owner(static_cast<size_t>(size) / 2),
      peakAt(static_cast<size_t>(size) / 2),
      fallAt(static_cast<size_t>(size) / 2),
      frame(static_cast<size_t>(size)),
      re(static_cast<size_t>(size) / 2 + 1),
      im(static_cast<size_t>(size) / 2 + 1),
      back(static_cast<size_t>(size)) {}

void LPhaseVocoderStream::ProcessChannel(int channel, const int32_t* firstFrame, LScratch& scratch) {
  const int n = size_;
  const int bins = n / 2;
  RunCode<WindowIn>(wide_, n, channels_, firstFrame + channel, window_.data(), scratch.frame.data());
  scratch.fft.RealForward(scratch.frame.data(), scratch.re.data(), scratch.im.data());

  // The running phases' change uses k wa = k x 2 pi A / N reduced exactly in integers.
  const auto mask = static_cast<uint32_t>(n - 1);
  const auto analysisTurn = static_cast<uint32_t>(FloorDiv(analysisEnd_, n) * -n + analysisEnd_);
  float* re = scratch.re.data();
  float* im = scratch.im.data();
  const LBinArgs args{bins,
                      analysisTurn,
                      static_cast<uint32_t>(synthesisHop_ % n),
                      mask,
                      static_cast<float>(kTwoPi / n),
                      static_cast<float>(ratio_),
                      firstFrame_,
                      re,
                      im,
                      scratch.magnitude.data() + 1,
                      scratch.measured.data(),
                      phase_.data() + static_cast<size_t>(channel) * bins,
                      scratch.change.data(),
                      output_.data() + static_cast<size_t>(channel) * bins,
                      scratch.lead.data(),
                      scratch.owner.data(),
                      scratch.peakAt.data(),
                      scratch.fallAt.data()};
  // Without fused multiply-adds both copies round alike and give the same samples.
  RunCode<BinWork<true>, BinWork<false>>(wide_, args);
  re[bins] = 0.0f;
  im[bins] = 0.0f;
  im[0] = 0.0f;
  scratch.fft.RealInverse(re, im, scratch.back.data());
  RunCode<AddOut>(wide_, n, scratch.back.data(), synthesis_.data(), overlap_.data() + static_cast<size_t>(channel) * n);
}

void LPhaseVocoderStream::ProcessFrame() {
  analysisEnd_ = AnalysisEnd(frameIndex_);
  ReadInputUpTo(analysisEnd_);
  const int32_t* first = input_.data() + static_cast<size_t>(analysisEnd_ - size_ - inputStart_) * channels_;
  if (lane_) {
    laneFirst_ = first;
    lane_->Begin();
  }
  for (int c = 0; c < channels_; c += lane_ ? 2 : 1) ProcessChannel(c, first, *scratch_);
  if (lane_) lane_->Finish();
  firstFrame_ = false;

  // The first hop of the overlap is complete: it is output chunk frameIndex - 8.
  const int hop = synthesisHop_;
  const int n = size_;
  const bool keep = frameIndex_ - 8 >= FloorDiv(position_, hop);
  for (int c = 0; c < channels_; ++c) {
    float* overlap = overlap_.data() + static_cast<size_t>(c) * n;
    if (keep) {
      int32_t* out = ready_.data() + c;
      const int step = channels_;
      for (int i = 0; i < hop; ++i) {
        // Rounded half away from zero and saturated to the 32-bit range.
        const float v = std::min(std::max(overlap[i], -2147483520.0f), 2147483520.0f);
        out[static_cast<size_t>(i) * step] = static_cast<int32_t>(v + std::copysign(0.5f, v));
      }
    }
    std::memmove(overlap, overlap + hop, static_cast<size_t>(n - hop) * sizeof(float));
    std::fill(overlap + (n - hop), overlap + n, 0.0f);
  }
  ++frameIndex_;
  if (keep) {
    readyCount_ = hop;
    readyOffset_ = 0;
  }
}

void LPhaseVocoderStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  if (!Usable()) {
    std::fill(frames, frames + static_cast<size_t>(frameCount) * channels_, 0);
    position_ += frameCount;
    return;
  }
  if (pending_) Restart(position_);
  int32_t done = 0;
  while (done < frameCount) {
    if (readyOffset_ >= readyCount_) {
      readyCount_ = 0;
      ProcessFrame();
      if (readyCount_ == 0) continue;
      if (skip_ > 0) {
        readyOffset_ = static_cast<int32_t>(skip_);
        skip_ = 0;
        continue;
      }
    }
    const int32_t piece = std::min(frameCount - done, readyCount_ - readyOffset_);
    std::memcpy(frames + static_cast<size_t>(done) * channels_,
                ready_.data() + static_cast<size_t>(readyOffset_) * channels_,
                static_cast<size_t>(piece) * channels_ * sizeof(int32_t));
    readyOffset_ += piece;
    done += piece;
    position_ += piece;
  }
}

}  // namespace klangor
