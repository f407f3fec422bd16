#include "effects/fir_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "platform/cpu_features.h"

namespace klangor {
namespace {

constexpr int kTaps = 2 * kFirBands - 1;  // 4095, symmetric around tap 2047
constexpr int kPaddedTaps = 4096;         // the kernel with one zero tap at the end
constexpr int32_t kCarriedFrames = kFirBufferFrames - kFirBlockFrames;  // 4095

constexpr int kFftSize = 16384;  // 4^7; holds the 12287 + 4095 - 1 samples of a block's convolution
constexpr long double kPiLong = 3.141592653589793238462643383279502884L;

// The fast convolution is used on a block when its error bound stays below this, so that
// rounding gives the exact sums. The bound is the block's 2-norm times the kernel's largest
// spectral magnitude times kFftErrorFactor. The usual error analysis of radix-2 transforms
// (which bounds these radix-4 ones too: fewer stages, no more operations per output) puts the
// error of every output of a convolution of this size below 7e-14 times that product, given
// twiddles accurate to a few units in the last place and a kernel spectrum computed in
// extended precision; the factor leaves a margin of more than ten. Blocks of loud, dense audio
// through masks well above unity can exceed the limit; those are convolved in two parts (see
// LFirEngine::Fast), and only a block whose parts still miss it is computed directly.
constexpr double kFftErrorFactor = 1e-12;
constexpr double kFftErrorLimit = 0.25;

// Radix-4 transforms of kFftSize (4^7) points on split real and imaginary arrays. Forward
// takes natural order and leaves the spectrum in base-4 digit-reversed order (decimation in
// frequency); Inverse takes that order and returns natural order (decimation in time),
// without the division by the size. A product of two spectra in the same order is therefore
// transformed back without any reordering.
template <class T>
class LExactFft {
 public:
  LExactFft() {
    // The stage whose groups have quarters of m points keeps, at offset (m - 1) / 3, the
    // cos and sin of 2 pi q j / (4 m) for q = 1, 2, 3 and j < m.
    const size_t entries = (kFftSize - 1) / 3;
    for (std::vector<T>* table : {&c1_, &s1_, &c2_, &s2_, &c3_, &s3_}) table->resize(entries);
    for (int m = 1; m < kFftSize; m *= 4) {
      const size_t offset = static_cast<size_t>((m - 1) / 3);
      for (int j = 0; j < m; ++j) {
        const long double angle = 2.0L * kPiLong * j / (4.0L * m);
        const size_t at = offset + static_cast<size_t>(j);
        c1_[at] = static_cast<T>(std::cos(angle));
        s1_[at] = static_cast<T>(std::sin(angle));
        c2_[at] = static_cast<T>(std::cos(2 * angle));
        s2_[at] = static_cast<T>(std::sin(2 * angle));
        c3_[at] = static_cast<T>(std::cos(3 * angle));
        s3_[at] = static_cast<T>(std::sin(3 * angle));
      }
    }
  }

  // Inlined into callers compiled for other targets, so that they vectorise for them.
  [[gnu::always_inline]] inline void Forward(T* re, T* im) const {
    for (int m = kFftSize / 4; m >= 1; m /= 4) {
      const LTwiddles w = Twiddles(m);
      for (int start = 0; start < kFftSize; start += 4 * m) {
        ForwardGroup(re + start, re + start + m, re + start + 2 * m, re + start + 3 * m, im + start,
                     im + start + m, im + start + 2 * m, im + start + 3 * m, w.c1, w.s1, w.c2, w.s2, w.c3, w.s3, m);
      }
    }
  }

  [[gnu::always_inline]] inline void Inverse(T* re, T* im) const {
    for (int m = 1; m < kFftSize; m *= 4) {
      const LTwiddles w = Twiddles(m);
      for (int start = 0; start < kFftSize; start += 4 * m) {
        InverseGroup(re + start, re + start + m, re + start + 2 * m, re + start + 3 * m, im + start,
                     im + start + m, im + start + 2 * m, im + start + 3 * m, w.c1, w.s1, w.c2, w.s2, w.c3, w.s3, m);
      }
    }
  }

 private:
  struct LTwiddles {
    const T* c1;
    const T* s1;
    const T* c2;
    const T* s2;
    const T* c3;
    const T* s3;
  };

  LTwiddles Twiddles(int m) const {
    const size_t offset = static_cast<size_t>((m - 1) / 3);
    return {c1_.data() + offset, s1_.data() + offset, c2_.data() + offset,
            s2_.data() + offset, c3_.data() + offset, s3_.data() + offset};
  }

  // One group of 4 m points: the 4-point transforms across its quarters (r0..r3, i0..i3),
  // then the twiddles. Every pointer is its own parameter so that the loop vectorises.
  [[gnu::always_inline]] static inline void ForwardGroup(T* __restrict r0, T* __restrict r1, T* __restrict r2, T* __restrict r3,
                           T* __restrict i0, T* __restrict i1, T* __restrict i2, T* __restrict i3,
                           const T* __restrict c1, const T* __restrict s1, const T* __restrict c2,
                           const T* __restrict s2, const T* __restrict c3, const T* __restrict s3, int m) {
    for (int j = 0; j < m; ++j) {
      const T t0r = r0[j] + r2[j];
      const T t0i = i0[j] + i2[j];
      const T t1r = r0[j] - r2[j];
      const T t1i = i0[j] - i2[j];
      const T t2r = r1[j] + r3[j];
      const T t2i = i1[j] + i3[j];
      const T t3r = r1[j] - r3[j];
      const T t3i = i1[j] - i3[j];
      // y1 = t1 - i t3, y2 = t0 - t2, y3 = t1 + i t3, each then times e^(-i q angle).
      const T y1r = t1r + t3i;
      const T y1i = t1i - t3r;
      const T y2r = t0r - t2r;
      const T y2i = t0i - t2i;
      const T y3r = t1r - t3i;
      const T y3i = t1i + t3r;
      r0[j] = t0r + t2r;
      i0[j] = t0i + t2i;
      r1[j] = y1r * c1[j] + y1i * s1[j];
      i1[j] = y1i * c1[j] - y1r * s1[j];
      r2[j] = y2r * c2[j] + y2i * s2[j];
      i2[j] = y2i * c2[j] - y2r * s2[j];
      r3[j] = y3r * c3[j] + y3i * s3[j];
      i3[j] = y3i * c3[j] - y3r * s3[j];
    }
  }

  // The conjugate transpose of ForwardGroup (times 4).
  [[gnu::always_inline]] static inline void InverseGroup(T* __restrict r0, T* __restrict r1, T* __restrict r2, T* __restrict r3,
                           T* __restrict i0, T* __restrict i1, T* __restrict i2, T* __restrict i3,
                           const T* __restrict c1, const T* __restrict s1, const T* __restrict c2,
                           const T* __restrict s2, const T* __restrict c3, const T* __restrict s3, int m) {
    for (int j = 0; j < m; ++j) {
      const T b1r = r1[j] * c1[j] - i1[j] * s1[j];
      const T b1i = r1[j] * s1[j] + i1[j] * c1[j];
      const T b2r = r2[j] * c2[j] - i2[j] * s2[j];
      const T b2i = r2[j] * s2[j] + i2[j] * c2[j];
      const T b3r = r3[j] * c3[j] - i3[j] * s3[j];
      const T b3i = r3[j] * s3[j] + i3[j] * c3[j];
      const T u0r = r0[j] + b2r;
      const T u0i = i0[j] + b2i;
      const T u1r = r0[j] - b2r;
      const T u1i = i0[j] - b2i;
      const T u2r = b1r + b3r;
      const T u2i = b1i + b3i;
      const T u3r = b1r - b3r;
      const T u3i = b1i - b3i;
      r0[j] = u0r + u2r;
      i0[j] = u0i + u2i;
      r2[j] = u0r - u2r;
      i2[j] = u0i - u2i;
      r1[j] = u1r - u3i;  // u1 + i u3
      i1[j] = u1i + u3r;
      r3[j] = u1r + u3i;  // u1 - i u3
      i3[j] = u1i - u3r;
    }
  }

  std::vector<T> c1_, s1_, c2_, s2_, c3_, s3_;
};

// The transforms of the fast convolution; they run on AVX2 where there is one (RunBestCode).
[[gnu::always_inline]] inline void ForwardDoubleCode(const LExactFft<double>& fft, double* re, double* im) {
  fft.Forward(re, im);
}

[[gnu::always_inline]] inline void InverseDoubleCode(const LExactFft<double>& fft, double* re, double* im) {
  fft.Inverse(re, im);
}

// x = x times h, point by point, on split complex arrays of kFftSize points.
[[gnu::always_inline]] inline void MultiplySpectraCode(double* __restrict re, double* __restrict im,
                                                                const double* __restrict hr,
                                                                const double* __restrict hi) {
  for (int k = 0; k < kFftSize; ++k) {
    const double xr = re[k];
    const double xi = im[k];
    re[k] = xr * hr[k] - xi * hi[k];
    im[k] = xr * hi[k] + xi * hr[k];
  }
}

// The nearest whole numbers of 8192 transform outputs (divided by the size), modulo 2^32.
// Adding and taking away 2^52 + 2^51 rounds values below 2^51 in size to whole numbers.
[[gnu::always_inline]] inline void RoundSumsCode(const double* __restrict values,
                                                          uint32_t* __restrict acc) {
  constexpr double kScale = 1.0 / kFftSize;
  constexpr double kRound = 6755399441055744.0;
  for (int32_t i = 0; i < kFirBlockFrames; ++i) {
    const double whole = (values[i] * kScale + kRound) - kRound;
    acc[i] = static_cast<uint32_t>(static_cast<int64_t>(whole));
  }
}

// acc[i] = sum over t < 4096 of kernel[t] x x[i + t] modulo 2^32, for i < count (a multiple
// of 4); x holds count + 4095 samples. With the symmetric kernel written out in full this is
// the paired sum h[0] x[n] + sum of h[k] (x[n + k] + x[n - k]) modulo 2^32. The 16-bit
// products vectorise as multiply-adds of neighbouring taps; four outputs share each kernel
// load.
[[gnu::always_inline]] inline void DotBlockCode(const int16_t* __restrict kernel,
                                                         const int16_t* __restrict x, int32_t count,
                                                         uint32_t* __restrict acc) {
  for (int32_t i = 0; i < count; i += 4) {
    const int16_t* __restrict xi = x + i;
    uint32_t a0 = 0;
    uint32_t a1 = 0;
    uint32_t a2 = 0;
    uint32_t a3 = 0;
    for (int t = 0; t < kPaddedTaps; ++t) {
      const int32_t k = kernel[t];
      a0 += static_cast<uint32_t>(k * xi[t]);
      a1 += static_cast<uint32_t>(k * xi[t + 1]);
      a2 += static_cast<uint32_t>(k * xi[t + 2]);
      a3 += static_cast<uint32_t>(k * xi[t + 3]);
    }
    acc[i] = a0;
    acc[i + 1] = a1;
    acc[i + 2] = a2;
    acc[i + 3] = a3;
  }
}

}  // namespace

LFirCoefficients DesignFir(const LFirMask& mask) {
  LFirCoefficients h{};
  for (int k = 0; k < kFirBands; ++k) {
    double sum = 0.0;
    for (int n = 0; n < kFirBands; ++n) {
      // A band at level 0 adds an exact zero: skipping it changes nothing.
      if (mask[static_cast<size_t>(n)] == 0) continue;
      sum += mask[static_cast<size_t>(n)] * std::cos(static_cast<double>(n * k) * kPi / 2048.0);
    }
    h[static_cast<size_t>(k)] = (static_cast<int32_t>(std::trunc(sum)) + 4) >> 3;
  }
  return h;
}

// The arithmetic of one stream: the kernel for the direct form and its spectrum for the fast
// convolution, with their work areas.
class LFirEngine {
 public:
  explicit LFirEngine(const LFirCoefficients& h) {
    // The symmetric kernel of 4095 taps, padded with a zero; taps beyond 16 bits are split
    // into a low part (0..32767) and a high part counted in units of 2^15.
    std::array<int32_t, kPaddedTaps> taps{};
    for (int t = 0; t < kTaps; ++t) taps[static_cast<size_t>(t)] = h[static_cast<size_t>(std::abs(t - 2047))];
    low_.resize(kPaddedTaps);
    high_.resize(kPaddedTaps);
    for (int t = 0; t < kPaddedTaps; ++t) {
      const int32_t tap = taps[static_cast<size_t>(t)];
      split_ = split_ || tap < std::numeric_limits<int16_t>::min() || tap > std::numeric_limits<int16_t>::max();
    }
    for (int t = 0; t < kPaddedTaps; ++t) {
      const int32_t tap = taps[static_cast<size_t>(t)];
      low_[static_cast<size_t>(t)] = static_cast<int16_t>(split_ ? (tap & 0x7FFF) : tap);
      high_[static_cast<size_t>(t)] = static_cast<int16_t>(tap >> 15);
    }

    // The kernel's spectrum, computed in extended precision and rounded once.
    std::vector<long double> re(kFftSize, 0.0L);
    std::vector<long double> im(kFftSize, 0.0L);
    for (int t = 0; t < kTaps; ++t) re[static_cast<size_t>(t)] = taps[static_cast<size_t>(t)];
    LExactFft<long double>().Forward(re.data(), im.data());
    spectrumRe_.resize(kFftSize);
    spectrumIm_.resize(kFftSize);
    long double largest = 0.0L;
    for (int k = 0; k < kFftSize; ++k) {
      spectrumRe_[static_cast<size_t>(k)] = static_cast<double>(re[static_cast<size_t>(k)]);
      spectrumIm_[static_cast<size_t>(k)] = static_cast<double>(im[static_cast<size_t>(k)]);
      largest = std::max(largest, std::hypot(re[static_cast<size_t>(k)], im[static_cast<size_t>(k)]));
    }
    largestGain_ = static_cast<double>(largest) * (1.0 + 1e-9);

    samples_.resize(kFirBufferFrames);
    partial_.resize(kFirBlockFrames);
    re_.resize(kFftSize);
    im_.resize(kFftSize);
  }

  // The wrapped accumulators of one channel, computed directly.
  void Direct(const int32_t* buffer, int channels, int channel, uint32_t* acc) {
    for (int32_t t = 0; t < kFirBufferFrames; ++t) {
      samples_[static_cast<size_t>(t)] = static_cast<int16_t>(buffer[static_cast<size_t>(t) * channels + channel]);
    }
    RunBestCode<DotBlockCode>(low_.data(), samples_.data(), kFirBlockFrames, acc);
    if (!split_) return;
    RunBestCode<DotBlockCode>(high_.data(), samples_.data(), kFirBlockFrames, partial_.data());
    for (int32_t i = 0; i < kFirBlockFrames; ++i) acc[i] += partial_[static_cast<size_t>(i)] << 15;
  }

  // The accumulators of two channels (the second may be -1) through the fast convolution:
  // the channels are the real and imaginary parts of one transform. A block too loud for the
  // error bound is split into its high bits (sample >> 8) and its low byte (sample & 255),
  // each convolved on its own well within the bound; 256 times the first plus the second is
  // the exact sum again. False, with nothing written, when even the parts miss the bound.
  bool Fast(const int32_t* buffer, int channels, int first, int second, uint32_t* firstAcc, uint32_t* secondAcc) {
    if (FastPart(buffer, channels, first, second, LPart::kWhole, firstAcc, secondAcc)) return true;
    if (!FastPart(buffer, channels, first, second, LPart::kHigh, highFirst_.data(), highSecond_.data())) return false;
    if (!FastPart(buffer, channels, first, second, LPart::kLow, firstAcc, secondAcc)) return false;
    for (int32_t i = 0; i < kFirBlockFrames; ++i) firstAcc[i] += highFirst_[static_cast<size_t>(i)] << 8;
    if (second >= 0) {
      for (int32_t i = 0; i < kFirBlockFrames; ++i) secondAcc[i] += highSecond_[static_cast<size_t>(i)] << 8;
    }
    return true;
  }

 private:
  enum class LPart { kWhole, kHigh, kLow };

  static int32_t PartOf(int32_t sample, LPart part) {
    switch (part) {
      case LPart::kWhole: return sample;
      case LPart::kHigh: return sample >> 8;
      case LPart::kLow: return sample & 255;
    }
    return sample;
  }

  bool FastPart(const int32_t* buffer, int channels, int first, int second, LPart part, uint32_t* firstAcc,
                uint32_t* secondAcc) {
    // The scaled samples lie within -32768..32767: their squares fit in 32 bits.
    uint64_t energy = 0;
    for (int32_t t = 0; t < kFirBufferFrames; ++t) {
      const int32_t a = PartOf(buffer[static_cast<size_t>(t) * channels + first], part);
      re_[static_cast<size_t>(t)] = a;
      energy += static_cast<uint32_t>(a * a);
    }
    for (int32_t t = 0; t < kFirBufferFrames; ++t) {
      const int32_t b = second >= 0 ? PartOf(buffer[static_cast<size_t>(t) * channels + second], part) : 0;
      im_[static_cast<size_t>(t)] = b;
      energy += static_cast<uint32_t>(b * b);
    }
    const double bound = std::sqrt(static_cast<double>(energy)) * largestGain_ * kFftErrorFactor;
    if (!(bound < kFftErrorLimit)) return false;
    std::fill(re_.begin() + kFirBufferFrames, re_.end(), 0.0);
    std::fill(im_.begin() + kFirBufferFrames, im_.end(), 0.0);

    RunBestCode<ForwardDoubleCode>(fft_, re_.data(), im_.data());
    RunBestCode<MultiplySpectraCode>(re_.data(), im_.data(), spectrumRe_.data(), spectrumIm_.data());
    RunBestCode<InverseDoubleCode>(fft_, re_.data(), im_.data());

    // Output i is term i + 4094 of the linear convolution; the true values are integers
    // below 2^44, so rounding recovers them, and the cast to 32 bits wraps as the direct form.
    RunBestCode<RoundSumsCode>(re_.data() + kTaps - 1, firstAcc);
    if (second >= 0) RunBestCode<RoundSumsCode>(im_.data() + kTaps - 1, secondAcc);
    return true;
  }

  std::vector<int16_t> low_;
  std::vector<int16_t> high_;
  bool split_ = false;
  std::vector<double> spectrumRe_;
  std::vector<double> spectrumIm_;
  double largestGain_ = 0.0;
  LExactFft<double> fft_;
  std::vector<int16_t> samples_;
  std::vector<uint32_t> partial_;
  std::vector<uint32_t> highFirst_ = std::vector<uint32_t>(kFirBlockFrames);
  std::vector<uint32_t> highSecond_ = std::vector<uint32_t>(kFirBlockFrames);
  std::vector<double> re_;
  std::vector<double> im_;
};

LFirStream::LFirStream(LRef<LSoundStream> input, const LFirCoefficients& coefficients, LFirMethod method)
    : LSoundFilter(std::move(input)),
      engine_(std::make_unique<LFirEngine>(coefficients)),
      method_(method),
      buffer_(static_cast<size_t>(kFirBufferFrames) * Channels(), 0),
      output_(static_cast<size_t>(kFirBlockFrames) * Channels(), 0),
      firstAcc_(kFirBlockFrames),
      secondAcc_(kFirBlockFrames) {
  // The history before the first frame is silence; then the look-ahead and the first block.
  FillFrom(kFirHistoryFrames, kFirLookAheadFrames + kFirBlockFrames);
  ScaleAndCompute();
}

LFirStream::~LFirStream() = default;

void LFirStream::FillFrom(int32_t bufferFrame, int32_t frameCount) {
  Input().Read(buffer_.data() + static_cast<size_t>(bufferFrame) * Channels(), frameCount);
}

void LFirStream::NextBlock() {
  const size_t carried = static_cast<size_t>(kCarriedFrames) * Channels();
  const size_t from = static_cast<size_t>(kFirBlockFrames) * Channels();
  for (size_t i = 0; i < carried; ++i) {
    buffer_[i] = static_cast<int32_t>(static_cast<uint32_t>(buffer_[from + i]) << shift_);
  }
  FillFrom(kCarriedFrames, kFirBlockFrames);
  ScaleAndCompute();
}

void LFirStream::ScaleAndCompute() {
  const int32_t peak = PeakOf(buffer_.data(), buffer_.size());
  int shift = 0;
  while ((peak >> shift) > 32767) ++shift;
  shift_ = shift;
  if (shift != 0) {
    for (int32_t& sample : buffer_) sample >>= shift;
  }
  blockIndex_ = 0;

  const int channels = Channels();
  std::vector<uint32_t>& first = firstAcc_;
  std::vector<uint32_t>& second = secondAcc_;
  for (int c = 0; c < channels; c += 2) {
    const int pair = c + 1 < channels ? c + 1 : -1;
    if (method_ == LFirMethod::kFastest &&
        engine_->Fast(buffer_.data(), channels, c, pair, first.data(), second.data())) {
      ++fastBlocks_;
    } else {
      engine_->Direct(buffer_.data(), channels, c, first.data());
      if (pair >= 0) engine_->Direct(buffer_.data(), channels, pair, second.data());
      ++directBlocks_;
    }
    for (int which = 0; which < (pair >= 0 ? 2 : 1); ++which) {
      const uint32_t* acc = which == 0 ? first.data() : second.data();
      int32_t* out = output_.data() + c + which;
      if (shift <= 15) {
        const int right = 15 - shift;
        for (int32_t i = 0; i < kFirBlockFrames; ++i) out[static_cast<size_t>(i) * channels] = static_cast<int32_t>(acc[i]) >> right;
      } else {
        for (int32_t i = 0; i < kFirBlockFrames; ++i) out[static_cast<size_t>(i) * channels] = static_cast<int32_t>(acc[i] << 1);
      }
    }
  }
}

void LFirStream::Read(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  while (frameCount > 0) {
    if (blockIndex_ >= kFirBlockFrames) NextBlock();
    const int32_t n = std::min(frameCount, kFirBlockFrames - blockIndex_);
    std::memcpy(frames, output_.data() + static_cast<size_t>(blockIndex_) * channels,
                static_cast<size_t>(n) * channels * sizeof(int32_t));
    frames += static_cast<size_t>(n) * channels;
    frameCount -= n;
    blockIndex_ += n;
  }
}

int32_t LFirStream::Position() const {
  // The input is ahead by the look-ahead and the rest of the block.
  const int64_t position = int64_t{Input().Position()} - kFirLookAheadFrames - kFirBlockFrames + blockIndex_;
  return SaturateToInt32(position);
}

void LFirStream::Seek(int32_t frame) {
  const int64_t from = std::max<int64_t>(int64_t{frame} - kFirHistoryFrames, std::numeric_limits<int32_t>::min());
  Input().Seek(static_cast<int32_t>(from));
  FillFrom(0, kFirBufferFrames);
  ScaleAndCompute();
}

LRef<LSoundStream> MakeFirStream(LRef<LSoundStream> input, const LFirMask& mask, LFirMethod method) {
  return LRef<LSoundStream>(MakeRef<LFirStream>(std::move(input), DesignFir(mask), method));
}

}  // namespace klangor
