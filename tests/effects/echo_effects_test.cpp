// Echo, reverb, phaser, flanger and chorus by their impulse responses; distortion, AM radio,
// the FIR filter and the telephone effect against a plain computation of what each is
// defined to do. How they are read and seeked: the contract suite (stream_contract_test).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/fixed_point.h"
#include "effects/am_radio.h"
#include "effects/distortion.h"
#include "effects/echo.h"
#include "effects/fir_filter.h"
#include "effects/chorus.h"
#include "effects/flanger.h"
#include "effects/phaser.h"
#include "effects/reverb.h"
#include "effects/stream_effect.h"
#include "effects/telephone.h"
#include "support/test_signals.h"

namespace klangor {
namespace {


using test::Saturate;
using test::TestAudio;
using test::TestSamples;

constexpr double kTwoPi = 6.283185307179586;

// --- Echo ---

// A stream of `frames` frames whose only sound is `amplitude` in the first sample.
LRef<LSoundStream> Impulse(int32_t rate, int channels, int32_t frames, int32_t amplitude) {
  return MakeRef<test::LFunctionStream>(
      rate, channels, frames, [amplitude](int64_t f, int c) { return f == 0 && c == 0 ? amplitude : 0; }, 2097152);
}

// The comb's impulse response: the impulse returns every `line` samples, each time times the
// Q9 gain (an arithmetic shift), and nothing in between.
std::vector<int32_t> CombImpulse(size_t samples, size_t line, int64_t gainQ9, int64_t amplitude) {
  std::vector<int32_t> out(samples, 0);
  for (size_t i = 0; i < samples; i += line, amplitude = (amplitude * gainQ9) >> 9) out[i] = static_cast<int32_t>(amplitude);
  return out;
}

TEST(EchoTest, AnImpulseReturnsEveryLineLengthTimesTheGain) {
  for (int channels : {1, 2}) {
    for (int32_t time : {1, 37, 800}) {
      const int32_t rate = 22050;
      const int32_t length = rate * 2;
      const size_t line = std::max<size_t>(static_cast<size_t>(time * rate / 1000) * channels, 20);
      LRef<LSoundStream> echo = MakeEchoTask(time, 75).processor->MakeStream(Impulse(rate, channels, length, 1 << 24));
      EXPECT_EQ(test::ReadFrames(*echo, length), CombImpulse(static_cast<size_t>(length) * channels, line, 384, 1 << 24))
          << time << " ms, " << channels << " channels";
    }
  }
}

TEST(EchoTest, StoredValuesBeyondTheDialogStaySafe) {
  // Gains above 99 % count as 99 % (506 in Q9); times below 1 ms give the input itself.
  for (int32_t gain : {99, 150, 32767}) {
    LRef<LSoundStream> echo = MakeEchoTask(10, gain).processor->MakeStream(Impulse(8000, 1, 4000, 1 << 24));
    EXPECT_EQ(test::ReadFrames(*echo, 4000), CombImpulse(4000, 80, 506, 1 << 24)) << gain;
  }
  LRef<LSoundStream> input = TestAudio(8000, 1, 100);
  for (int32_t time : {0, -5, std::numeric_limits<int32_t>::min()}) {
    EXPECT_EQ(MakeEchoTask(time, 50).processor->MakeStream(input).Get(), input.Get());
  }
  // Negative gains invert, runaway gains saturate, long times are capped.
  LRef<LSoundStream> loud = MakeRef<test::LFunctionStream>(8000, 1, 4000, [](int64_t, int) { return 2000000000; });
  const std::vector<int32_t> out = test::ReadFrames(*MakeEchoTask(20, -32768).processor->MakeStream(loud), 4000);
  EXPECT_EQ(out[0], 2000000000);
  EXPECT_EQ(out[160], std::numeric_limits<int32_t>::min());
  LRef<LSoundStream> longest = MakeEchoTask(std::numeric_limits<int32_t>::max(), 50).processor->MakeStream(
      MakeRef<test::LFunctionStream>(8000, 2, 100, [](int64_t, int) { return 7; }));
  EXPECT_EQ(test::ReadFrames(*longest, 100), std::vector<int32_t>(200, 7));
}

// --- Reverb ---

// The reverb's first reflections: over a line of L samples the four taps at 0.7413, 0.5581,
// 0.3823 and 0.211 of L return an impulse after L - trunc(place x L) samples with the shares
// 0.4, 0.1, 0.3 and 0.07 of the Q9 level, the feedback after L samples with 0.13; nothing
// comes before the first. Short times use at least 128 samples; loud reflections saturate.
TEST(ReverbTest, AnImpulseComesBackAtTheTapsWithTheirShares) {
  const double places[5] = {0.7413, 0.5581, 0.3823, 0.211, 0.0};
  const double shares[5] = {0.4, 0.1, 0.3, 0.07, 0.13};
  struct LCase {
    int channels;
    int32_t level, time, amplitude;
  };
  for (const LCase& c : {LCase{1, 100, 50, 1 << 24}, LCase{2, 25, 50, 1 << 24}, LCase{1, 75, 7, 1 << 20},
                         LCase{2, 10000, 50, 1 << 30}}) {
    SCOPED_TRACE(std::to_string(c.channels) + " channels, level " + std::to_string(c.level));
    const int32_t rate = 16000;
    const int64_t line = std::max<int64_t>(int64_t{c.time} * rate / 1000 * c.channels, 128);
    LRef<LSoundStream> reverb =
        MakeReverbTask(c.level, c.time).processor->MakeStream(Impulse(rate, c.channels, rate, c.amplitude));
    const std::vector<int32_t> out = test::ReadFrames(*reverb, rate);
    EXPECT_EQ(out[0], c.amplitude);
    const int64_t k = int64_t{c.level} * 512 / 100;
    const auto first = static_cast<size_t>(line - static_cast<int64_t>(places[0] * static_cast<double>(line)));
    for (size_t i = 1; i < first; ++i) ASSERT_EQ(out[i], 0) << i;
    for (int tap = 0; tap < 5; ++tap) {
      const int64_t at = line - static_cast<int64_t>(places[tap] * static_cast<double>(line));
      const int64_t gain = static_cast<int64_t>(shares[tap] * static_cast<double>(k));
      EXPECT_EQ(out[static_cast<size_t>(at)], Saturate((int64_t{c.amplitude} * gain) >> 9)) << "tap " << tap;
    }
  }
  // Dense sound, in 32 and in 64 bits: the AVX2 and the portable code give the same samples.
  for (int32_t level : {100, 10000}) {
    std::vector<std::vector<int32_t>> outs;
    test::ForEachCodePath([&] {
      LRef<LSoundStream> reverb = MakeReverbTask(level, 30).processor->MakeStream(test::TestAudio(16000, 2, 20000));
      outs.push_back(test::ReadInSlices(*reverb, 20000, 3));
    });
    EXPECT_EQ(outs[0], outs[1]) << level;
  }
}

// --- Phaser, flanger, chorus ---

// Impulses every 1000 frames, one channel.
LRef<LSoundStream> Impulses(int32_t rate, int32_t frames, int32_t amplitude) {
  return MakeRef<test::LFunctionStream>(rate, 1, frames, [amplitude](int64_t f, int) { return f % 1000 == 0 ? amplitude : 0; },
                                        2097152);
}

// The phaser is a fixed delay of D = rate x time div 1000 frames mixed in with gain x 0.01.
TEST(ModulationTest, ThePhaserDelaysAnImpulseByItsTime) {
  for (auto [time, gain] : {std::pair{5, 100}, std::pair{3, 37}, std::pair{0, 50}}) {
    const int32_t rate = 32000;
    const int32_t delay = rate * time / 1000;
    const std::vector<int32_t> out =
        test::ReadFrames(*MakePhaserTask(time, gain).processor->MakeStream(Impulses(rate, 3000, 1 << 24)), 3000);
    std::vector<int32_t> expected(3000, 0);
    for (int32_t m = 0; m < 3000; m += 1000) {
      expected[static_cast<size_t>(m)] += 1 << 24;
      expected[static_cast<size_t>(m + delay)] += static_cast<int32_t>(gain * 0.01 * (1 << 24));
    }
    EXPECT_EQ(out, expected) << time << " ms";
  }
}

// The echo of an impulse at frame m comes out at the frame n whose delay D + M sin(phase(n))
// reaches back to m (spread over the two frames around it); phase(n) = 2 pi x factor x
// modulation x n / rate: the phase of a frame follows from its position. The flanger has one
// tap (factor 1), the chorus two (0.75 with the gain, 1.25 with half of it): the stronger.
TEST(ModulationTest, EchoesFollowTheSineOfTheirFramePosition) {
  struct LCase {
    const char* name;
    std::function<LEffectTask()> task;
    int32_t time, depth;
    double rate, factor;
  };
  const std::vector<LCase> cases = {
      {"flanger", [] { return MakeFlangerTask({10, 4.7, 90, 90}); }, 10, 90, 4.7, 1.0},
      {"slow flanger", [] { return MakeFlangerTask({5, 0.5, 70, 90}); }, 5, 70, 0.5, 1.0},
      {"chorus", [] { return MakeChorusTask({40, 1.9, 30, 80}); }, 40, 30, 1.9, 0.75},
  };
  for (const LCase& c : cases) {
    const int32_t rate = 8000;
    const int32_t frames = 40000;
    const double base = rate * c.time / 1000;
    const double excursion = static_cast<int32_t>(base) * c.depth / 100;
    LRef<LSoundStream> stream = c.task().processor->MakeStream(Impulses(rate, frames, 1 << 24));
    const std::vector<int32_t> out = test::ReadFrames(*stream, frames);
    const int channels = stream->Channels();
    for (int32_t m = 0; m + 1000 <= frames; m += 1000) {
      int32_t strongest = m + 1;
      for (int32_t n = m + 1; n < m + 1000; ++n) {
        if (out[static_cast<size_t>(n) * channels] > out[static_cast<size_t>(strongest) * channels]) strongest = n;
      }
      // How far frame n's delay falls short of reaching back to m.
      auto miss = [&](int32_t n) {
        return std::abs(n - base - excursion * std::sin(kTwoPi * c.factor * c.rate * n / rate) - m);
      };
      int32_t arrival = m;
      for (int32_t n = m; n < m + 1000; ++n) arrival = miss(n) < miss(arrival) ? n : arrival;
      EXPECT_NEAR(strongest, arrival, 1) << c.name << " at " << m;
    }
  }
}

TEST(ModulationTest, ChorusMakesMonoStereo) {
  const LModulation values{40, 0.5, 5, 70};
  std::vector<int32_t> doubled;
  for (int32_t x : TestSamples(1, 5000)) doubled.insert(doubled.end(), {x, x});
  LRef<LSoundDocument> document = test::Document(44100, 1, TestSamples(1, 5000));
  document->SetSelection(1000, 3000, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunChorus(*document, values, progress), LResult::kDone);
  ASSERT_EQ(document->sound.Channels(), 2);
  // The selection's chorus starts at phase 0 with an empty line, as a chorus made there.
  LRef<LSoundStream> reader = test::SamplesStream(44100, 2, test::Frames(doubled, 2, 1000, 3000));
  const std::vector<int32_t> middle = test::ReadFrames(*MakeChorusTask(values).processor->MakeStream(reader), 2000);
  std::vector<int32_t> expected = doubled;
  std::copy(middle.begin(), middle.end(), expected.begin() + 2000);
  EXPECT_EQ(test::Audio(*document), expected);
}

TEST(ModulationTest, StoredValuesBeyondTheDialogStaySafe) {
  // Times and depths are clamped; a modulation rate that overflows the phase counts as none.
  for (const LModulation& values : {LModulation{-50, 0.5, -20, 100}, LModulation{5000, 1e300, 900, 100},
                                    LModulation{5, std::numeric_limits<double>::infinity(), 50, 10000},
                                    LModulation{5, std::nan(""), 50, -10000}}) {
    LRef<LSoundStream> flanger = MakeFlangerTask(values).processor->MakeStream(TestAudio(8000, 2, 3000, 2000000000));
    LRef<LSoundStream> chorus = MakeChorusTask(values).processor->MakeStream(TestAudio(8000, 1, 3000, 2000000000));
    EXPECT_EQ(test::ReadFrames(*flanger, 3000).size(), 6000u);
    EXPECT_EQ(test::ReadFrames(*chorus, 3000).size(), 6000u);
  }
}

// --- Distortion ---

// The curve's constants, then the piece a sample falls on.
struct LReferenceCurve {
  LReferenceCurve(double degree, int level)
      : t(static_cast<int64_t>(std::pow(10.0, level / 20.0) * 131072.0)),
        t1(t >> 2),
        inner(static_cast<int32_t>((1 + 0.66 * degree) * 16777216.0)),
        middle(static_cast<int32_t>((1 - 0.22 * degree) * 16777216.0)),
        outer(static_cast<int32_t>((1 - degree) * 16777216.0)),
        o1(int64_t{MulQ24(static_cast<int32_t>(t1), inner)} - MulQ24(static_cast<int32_t>(t1), middle)),
        o2(o1 - MulQ24(static_cast<int32_t>(t), outer) + MulQ24(static_cast<int32_t>(t), middle)) {}

  int32_t operator()(int32_t x) const {
    int64_t y;
    if (x >= 0) {
      y = x < t1 ? MulQ24(x, inner) : (x < t ? MulQ24(x, middle) + o1 : MulQ24(x, outer) + o2);
    } else {
      y = x > -t1 ? MulQ24(x, inner) : (x > -t ? MulQ24(x, middle) - o1 : MulQ24(x, outer) - o2);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(y)));
  }

  int64_t t;
  int64_t t1;
  int32_t inner;
  int32_t middle;
  int32_t outer;
  int64_t o1;
  int64_t o2;
};

TEST(DistortionTest, CurveAsDefined) {
  std::vector<int32_t> probes = {0, 1, -1, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};
  for (int level : {-20, -8, -3, 0, 3}) {  // both thresholds of every level, and their neighbours
    const auto t = static_cast<int32_t>(std::pow(10.0, level / 20.0) * 131072.0);
    for (int32_t d : {-1, 0, 1}) {
      for (int32_t edge : {t + d, (t >> 2) + d}) {
        probes.push_back(edge);
        probes.push_back(-edge);
      }
    }
  }
  for (int32_t x : TestSamples(1, 3000, 500000)) probes.push_back(x);
  test::ForEachCodePath([&] {
    for (double degree : {0.0, 0.05, 0.1, 0.3, 0.5, 1.0}) {
      for (int level : {-20, -8, -3, 0, 3}) {
        const LReferenceCurve reference(degree, level);
        std::vector<int32_t> out = probes;
        ApplyDistortion(MakeDistortionCurve(degree, level), out.data(), out.size());
        for (size_t i = 0; i < probes.size(); ++i) {
          ASSERT_EQ(out[i], reference(probes[i]))
              << "x " << probes[i] << " degree " << degree << " level " << level;
        }
      }
    }
  });
}

TEST(DistortionTest, LevelsAndDegreesBeyondTheDialogStaySafe) {
  EXPECT_EQ(MakeDistortionCurve(0.5, 127).threshold, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(MakeDistortionCurve(0.5, 1000).threshold, MakeDistortionCurve(0.5, 127).threshold);
  EXPECT_EQ(MakeDistortionCurve(0.5, -1000).threshold, MakeDistortionCurve(0.5, -127).threshold);
  EXPECT_EQ(MakeDistortionCurve(1e308, -3).outer, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(MakeDistortionCurve(std::nan(""), -3).inner, 0);
  std::vector<int32_t> samples = TestSamples(1, 100, 2000000000);
  for (double degree : {-1e308, 1e308, 7.5}) {
    ApplyDistortion(MakeDistortionCurve(degree, 127), samples.data(), samples.size());
  }
}

// --- AM radio ---

TEST(AmRadioTest, HighPassLowPassAndDistortionAsDefined) {
  for (int32_t rate : {8000, 44100}) {
    const int channels = 2;
    const int32_t length = 12000;
    const auto c1 = static_cast<int64_t>((1 - std::exp(-6.283185307 * 100 / rate)) * 256);
    const auto c2 = static_cast<int64_t>((1 - std::exp(-6.283185307 * 5000 / rate)) * 256);
    std::vector<int32_t> expected = TestSamples(channels, length);
    const LReferenceCurve curve(0.05, -8);
    for (int c = 0; c < channels; ++c) {
      int64_t high = 0;
      int64_t low = 0;
      for (int32_t f = 0; f < length; ++f) {
        int32_t& x = expected[static_cast<size_t>(f) * channels + c];
        const int64_t y = x - (high >> 8);
        high += c1 * y;
        low += (y - (low >> 8)) * c2;
        x = curve(static_cast<int32_t>(low >> 8));
      }
    }
    LRef<LSoundStream> radio = MakeAmRadioTask().processor->MakeStream(TestAudio(rate, channels, length));
    EXPECT_EQ(test::ReadInSlices(*radio, length, 9), expected) << rate;
  }
}

// --- The FIR filter and the telephone effect ---

LFirCoefficients ReferenceDesign(const LFirMask& mask) {
  LFirCoefficients h{};
  for (int k = 0; k < 2048; ++k) {
    double sum = 0;
    for (int n = 0; n < 2048; ++n) sum += mask[static_cast<size_t>(n)] * std::cos(static_cast<double>(n * k) * 3.14159265358979323846 / 2048.0);
    h[static_cast<size_t>(k)] = (static_cast<int32_t>(std::trunc(sum)) + 4) >> 3;
  }
  return h;
}

// The telephone kernel at 22050 Hz, designed once.
const LFirCoefficients& PhoneKernel() {
  static const LFirCoefficients kernel = ReferenceDesign(TelephoneMask(22050));
  return kernel;
}

// The filter as defined, from frame `start` on: a buffer of 12287 frames scaled per block,
// 8192 outputs per block, each a symmetric 4095-tap sum in wrapping 32-bit arithmetic.
std::vector<int32_t> ReferenceFir(const std::function<int32_t(int64_t, int)>& input, int channels, int64_t start,
                                  int32_t frames, const LFirCoefficients& h) {
  std::vector<int32_t> buffer(static_cast<size_t>(12287 * channels));
  int64_t next = start - 2047;  // the input frame that goes into the buffer next
  auto fill = [&](int from) {
    for (int j = from; j < 12287; ++j, ++next) {
      for (int c = 0; c < channels; ++c) buffer[static_cast<size_t>(j * channels + c)] = input(next, c);
    }
  };
  int shift = 0;
  auto scale = [&] {
    int64_t peak = 0;
    for (int32_t x : buffer) peak = std::max<int64_t>(peak, std::abs(int64_t{x}));
    peak = std::min<int64_t>(peak, std::numeric_limits<int32_t>::max());
    shift = 0;
    while ((peak >> shift) > 32767) ++shift;
    for (int32_t& x : buffer) x >>= shift;
  };
  fill(0);
  scale();
  std::vector<int32_t> out;
  int index = 0;
  for (int32_t n = 0; n < frames; ++n, ++index) {
    if (index == 8192) {
      for (int j = 0; j < 4095; ++j) {
        for (int c = 0; c < channels; ++c) {
          buffer[static_cast<size_t>(j * channels + c)] =
              static_cast<int32_t>(static_cast<uint32_t>(buffer[static_cast<size_t>((8192 + j) * channels + c)]) << shift);
        }
      }
      fill(4095);
      scale();
      index = 0;
    }
    for (int c = 0; c < channels; ++c) {
      auto x = [&](int j) { return int64_t{buffer[static_cast<size_t>((2047 + index + j) * channels + c)]}; };
      int64_t acc = h[0] * x(0);
      for (int k = 1; k < 2048; ++k) acc += h[static_cast<size_t>(k)] * (x(k) + x(-k));
      const auto wrapped = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(acc)));
      out.push_back(shift <= 15 ? wrapped >> (15 - shift)
                                : static_cast<int32_t>(static_cast<uint32_t>(wrapped) << (shift - 15)));
    }
  }
  return out;
}

// The telephone effect checks the design at 22050 Hz; here any mask, and the mask's bands.
TEST(FirFilterTest, DesignAndTelephoneMask) {
  const LFirMask phone = TelephoneMask(44100);
  EXPECT_EQ(std::find(phone.begin(), phone.end(), 100) - phone.begin(), 27);
  EXPECT_EQ(std::count(phone.begin(), phone.end(), 100), 334 - 27);
  EXPECT_EQ(phone[333], 100);
  EXPECT_EQ(phone[334], 0);
  // Half the rate not positive counts as 44100; band numbers stop at 2047.
  const LFirMask unknownRate = TelephoneMask(0);
  EXPECT_EQ(std::find(unknownRate.begin(), unknownRate.end(), 100) - unknownRate.begin(), 13);
  const LFirMask slow = TelephoneMask(600);
  EXPECT_EQ(std::count(slow.begin(), slow.end(), 100), 0);

  LFirMask random{};
  for (size_t j = 0; j < random.size(); ++j) random[j] = static_cast<uint8_t>((j * 7919 + j * j) % 256);
  EXPECT_EQ(DesignFir(random), ReferenceDesign(random));
}

TEST(FirFilterTest, BothMethodsGiveTheDefinedIntegers) {
  const LFirCoefficients h = DesignFir(TelephoneMask(44100));
  const int channels = 3;  // a pair and a single channel
  const int32_t frames = 8192 + 500;
  // Loud only at first, so that the second block has a smaller shift than the frames it
  // carries over from the first.
  auto input = [](int64_t f, int c) {
    return f >= 0 && f < 40000 ? test::TestSample(f, c, f < 6000 ? 700000 : 40000) : 0;
  };
  const std::vector<int32_t> expected = ReferenceFir(input, channels, 0, frames, h);
  // After a seek the 2047 frames before the new position count again.
  const std::vector<int32_t> afterSeek = ReferenceFir(input, channels, 20000, 8300, h);
  test::ForEachCodePath([&] {
    for (LFirMethod method : {LFirMethod::kFastest, LFirMethod::kDirect}) {
      LFirStream fir(MakeRef<test::LFunctionStream>(44100, channels, 40000, input), h, method);
      EXPECT_EQ(fir.BlockShift(), 5);
      EXPECT_EQ(test::ReadInSlices(fir, frames, 21, 12000), expected);
      EXPECT_EQ(fir.Position(), frames);
      fir.Seek(20000);
      EXPECT_EQ(fir.Position(), 20000);
      EXPECT_EQ(test::ReadInSlices(fir, 8300, 22, 5000), afterSeek);
    }
  });
}

TEST(FirFilterTest, LoudBlocksAndSpreadKernelsStayExact) {
  // Samples beyond 2^30 need a shift of 16; a mask at 255 needs kernel taps beyond 16 bits,
  // and with a square wave at full level its blocks miss the fast convolution's error bound
  // and are convolved as high bits and low byte apart.
  LFirMask loudMask;
  loudMask.fill(255);
  const LFirCoefficients wide = DesignFir(loudMask);
  EXPECT_GT(wide[0], 32767);
  auto square = [](int64_t f, int c) {
    if (f < 0 || f >= 12000) return 0;
    return ((f / 37 + c) % 2 == 0 ? 1 : -1) * (f < 7000 ? 2140000000 : 3000000);
  };
  LFirStream fir(MakeRef<test::LFunctionStream>(44100, 2, 12000, square), wide);
  EXPECT_EQ(fir.BlockShift(), 16);
  EXPECT_EQ(test::ReadFrames(fir, 12000), ReferenceFir(square, 2, 0, 12000, wide));
  EXPECT_EQ(fir.DirectBlocks(), 0);
  EXPECT_GT(fir.FastBlocks(), 0);
}

TEST(FirFilterTest, FlatMaskPassesInTimeAndDoublesDc) {
  LFirMask flat;
  flat.fill(128);
  const int32_t length = 20000;
  auto tone = [](int64_t f, int) { return static_cast<int32_t>(300000 * std::sin(0.2 * static_cast<double>(f))); };
  const std::vector<int32_t> out =
      test::ReadFrames(*MakeFirStream(MakeRef<test::LFunctionStream>(44100, 1, length, tone), flat), length);
  for (int32_t f = 5000; f < 15000; f += 101) EXPECT_NEAR(out[static_cast<size_t>(f)], tone(f, 0), 3000) << f;
  LRef<LSoundStream> dc =
      MakeFirStream(MakeRef<test::LFunctionStream>(44100, 1, length, [](int64_t, int) { return 100000; }), flat);
  EXPECT_NEAR(test::ReadFrames(*dc, length)[10000], 200000, 2000);
}

TEST(TelephoneTest, FilterThenDistortionAsDefined) {
  const int32_t length = 9000;
  auto input = [](int64_t f, int c) { return f >= 0 && f < length ? test::TestSample(f, c, 900000) : 0; };
  std::vector<int32_t> expected = ReferenceFir(input, 2, 0, length, PhoneKernel());
  const LReferenceCurve curve(0.1, -8);
  for (int32_t& x : expected) x = curve(x);
  LRef<LSoundStream> phone = MakeTelephoneTask().processor->MakeStream(TestAudio(22050, 2, length, 900000));
  EXPECT_EQ(test::ReadInSlices(*phone, length, 2, 3000), expected);

  // In a document: only the selection changes, with what precedes it as history.
  LRef<LSoundDocument> document = test::Document(22050, 2, TestSamples(2, length, 900000));
  document->SetSelection(3000, 5000, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunStreamEffect(*document, MakeTelephoneTask(), progress), LResult::kDone);
  const std::vector<int32_t> out = test::Audio(*document);
  std::vector<int32_t> fromSelection = ReferenceFir(input, 2, 3000, 2000, PhoneKernel());
  for (int32_t& x : fromSelection) x = curve(x);
  EXPECT_EQ(test::Frames(out, 2, 3000, 5000), fromSelection);
  EXPECT_EQ(test::Frames(out, 2, 0, 3000), TestSamples(2, 3000, 900000));
}

}  // namespace
}  // namespace klangor
