// Echo, reverb, phaser, flanger, chorus, distortion, AM radio, the FIR filter and the
// telephone effect, each against a plain computation of what it is defined to do, on short
// signals read in random slices and after seeks.

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

std::vector<int32_t> ReferenceEcho(const std::vector<int32_t>& in, size_t length, int64_t gain) {
  std::vector<int64_t> line(length, 0);
  std::vector<int32_t> out;
  size_t w = 0;
  for (int32_t x : in) {
    const int32_t y = Saturate(x + ((line[w] * gain) >> 9));
    line[w] = y;
    out.push_back(y);
    w = (w + 1) % length;
  }
  return out;
}

TEST(EchoTest, MatchesTheCombOnRealSignalsAcrossSlicesAndSeeks) {
  for (int channels : {1, 2}) {
    for (int32_t time : {1, 37, 800}) {
      const int32_t rate = 22050;
      const int32_t length = rate * 2;
      const int32_t at = 12345;
      const size_t line = std::max<size_t>(static_cast<size_t>(time * rate / 1000) * channels, 20);
      const std::vector<int32_t> in = TestSamples(channels, length);
      LRef<LSoundStream> echo = MakeEchoTask(time, 75).processor->MakeStream(TestAudio(rate, channels, length));
      EXPECT_EQ(test::ReadInSlices(*echo, length, static_cast<uint32_t>(time)), ReferenceEcho(in, line, 384))
          << time << " ms";
      // A seek clears the line: what follows equals the comb over the audio from there.
      echo->Seek(at);
      EXPECT_EQ(test::ReadInSlices(*echo, length - at, 5),
                ReferenceEcho(test::Frames(in, channels, at, length), line, 384));
    }
  }
}

TEST(EchoTest, StoredValuesBeyondTheDialogStaySafe) {
  // Gains above 99 % count as 99 % (506 in Q9); times below 1 ms give the input itself.
  for (int32_t gain : {99, 150, 32767}) {
    LRef<LSoundStream> echo = MakeEchoTask(10, gain).processor->MakeStream(TestAudio(8000, 1, 4000));
    EXPECT_EQ(test::ReadFrames(*echo, 4000), ReferenceEcho(TestSamples(1, 4000), 80, 506)) << gain;
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

std::vector<int32_t> ReferenceReverb(const std::vector<int32_t>& in, int64_t length, int32_t level) {
  const double places[4] = {0.7413, 0.5581, 0.3823, 0.211};
  const double shares[5] = {0.4, 0.1, 0.3, 0.07, 0.13};
  int64_t index[5];
  int64_t gain[5];
  const int64_t k = int64_t{level} * 512 / 100;
  for (int i = 0; i < 4; ++i) index[i] = static_cast<int64_t>(places[i] * static_cast<double>(length));
  index[4] = 0;
  for (int i = 0; i < 5; ++i) gain[i] = static_cast<int64_t>(shares[i] * static_cast<double>(k));
  std::vector<int64_t> line(static_cast<size_t>(length), 0);
  std::vector<int32_t> out;
  for (int32_t x : in) {
    int64_t y = x;
    for (int i = 0; i < 5; ++i) y += (line[static_cast<size_t>(index[i])] * gain[i]) >> 9;
    line[static_cast<size_t>(index[4])] = Saturate(y);
    out.push_back(Saturate(y));
    for (int64_t& at : index) at = (at + 1) % length;
  }
  return out;
}

TEST(ReverbTest, MatchesTheDefinitionAcrossSlicesAndSeeks) {
  for (int channels : {1, 2}) {
    // Short times use at least 128 samples; levels beyond 100 % saturate.
    for (auto [level, time] : std::vector<std::pair<int32_t, int32_t>>{{100, 50}, {25, 7}, {75, 500}, {10000, 60}}) {
      const int32_t rate = 16000;
      const int32_t length = rate * 2;
      const int64_t line = std::max<int64_t>(int64_t{time} * rate / 1000 * channels, 128);
      const std::vector<int32_t> in = TestSamples(channels, length);
      LRef<LSoundStream> reverb = MakeReverbTask(level, time).processor->MakeStream(TestAudio(rate, channels, length));
      EXPECT_EQ(test::ReadInSlices(*reverb, length, 3), ReferenceReverb(in, line, level)) << level << " " << time;
      reverb->Seek(7777);
      EXPECT_EQ(test::ReadInSlices(*reverb, length - 7777, 4),
                ReferenceReverb(test::Frames(in, channels, 7777, length), line, level));
    }
  }
}

// --- Phaser, flanger, chorus ---

// The modulated delay line as defined, one tap or two.
class LReferenceModulation {
 public:
  LReferenceModulation(int32_t rate, int channels, LModulation m, bool chorus)
      : channels_(channels), chorus_(chorus) {
    const int64_t time = std::clamp(m.timeMs, 0, 1000);
    const int64_t depth = std::clamp(m.depthPercent, 0, 100);
    base_ = rate * time / 1000;
    excursion_ = base_ * depth / 100;
    frames_ = base_ + 2 + excursion_;
    line_.assign(static_cast<size_t>(frames_ * channels), 0);
    gain_ = m.gainPercent * 0.01;
    if (chorus) {
      step1_ = kTwoPi * 0.75 * m.rateHz / rate;
      step2_ = kTwoPi * 1.25 * m.rateHz / rate;
    } else {
      step1_ = kTwoPi * m.rateHz / rate;
    }
  }

  void Clear() { std::fill(line_.begin(), line_.end(), 0); }
  // A seek: the line cleared, the phases those of the frame sought.
  void SeekTo(int64_t frame) {
    Clear();
    phase1_ = static_cast<double>(frame) * step1_;
    phase2_ = static_cast<double>(frame) * step2_;
  }

  std::vector<int32_t> Process(const std::vector<int32_t>& in) {
    std::vector<int32_t> out(in.size());
    for (size_t frame = 0; frame < in.size() / channels_; ++frame) {
      const double d1 = chorus_ ? base_ + excursion_ * std::sin(phase1_) : std::sin(phase1_) * excursion_ + base_;
      const double d2 = base_ + excursion_ * std::sin(phase2_);
      phase1_ += step1_;
      phase2_ += step2_;
      for (int c = 0; c < channels_; ++c) {
        const int32_t x = in[frame * channels_ + c];
        line_[static_cast<size_t>(write_ * channels_ + c)] = x;
        int64_t y = x + static_cast<int64_t>(gain_ * Tap(d1, c));
        if (chorus_) y += static_cast<int64_t>(gain_ / 2 * Tap(d2, c));
        out[frame * channels_ + c] = Saturate(y);
      }
      write_ = (write_ + 1) % frames_;
    }
    return out;
  }

 private:
  double Tap(double d, int c) const {
    const auto n = static_cast<int64_t>(d);
    const double f = d - static_cast<double>(n);
    auto at = [&](int64_t back) { return line_[static_cast<size_t>(((write_ - back) % frames_ + frames_) % frames_ * channels_ + c)]; };
    return (1 - f) * at(n) + f * at(n + 1);
  }

  int channels_;
  bool chorus_;
  int64_t base_;
  int64_t excursion_;
  int64_t frames_;
  std::vector<int64_t> line_;
  double gain_;
  double phase1_ = 0;
  double phase2_ = 0;
  double step1_ = 0;
  double step2_ = 0;
  int64_t write_ = 0;
};

TEST(ModulationTest, PhaserFlangerAndChorusMatchTheDefinition) {
  struct LCase {
    const char* name;
    std::function<LEffectTask()> task;
    LModulation values;
    bool chorus;
  };
  const std::vector<LCase> cases = {
      {"phaser", [] { return MakePhaserTask(5, 100); }, {5, 0.0, 0, 100}, false},
      {"phaser at 0 ms", [] { return MakePhaserTask(0, 37); }, {0, 0.0, 0, 37}, false},
      {"flanger", [] { return MakeFlangerTask({5, 0.5, 70, 90}); }, {5, 0.5, 70, 90}, false},
      {"fast flanger", [] { return MakeFlangerTask({3, 4.7, 100, 50}); }, {3, 4.7, 100, 50}, false},
      {"chorus", [] { return MakeChorusTask({40, 0.5, 5, 80}); }, {40, 0.5, 5, 80}, true},
      {"wide chorus", [] { return MakeChorusTask({65, 1.9, 30, 100}); }, {65, 1.9, 30, 100}, true},
  };
  for (const LCase& c : cases) {
    for (int channels : {2, 3}) {
      const int32_t rate = 32000;
      const int32_t length = rate;
      LReferenceModulation reference(rate, channels, c.values, c.chorus);
      const std::vector<int32_t> in = TestSamples(channels, length);
      LRef<LSoundStream> stream = c.task().processor->MakeStream(TestAudio(rate, channels, length));
      EXPECT_EQ(test::ReadInSlices(*stream, 20000, 11), reference.Process(test::Frames(in, channels, 0, 20000)))
          << c.name;
      // A seek clears the line and takes the phases of the frame sought.
      stream->Seek(25000);
      reference.SeekTo(25000);
      EXPECT_EQ(test::ReadInSlices(*stream, 7000, 12), reference.Process(test::Frames(in, channels, 25000, length)))
          << c.name << " after a seek";
    }
  }
}

// On a mono document the whole sound becomes two channels: the chorus of the doubled
// channel in the selection, both channels of the sound elsewhere.
TEST(ModulationTest, ChorusMakesMonoStereo) {
  const LModulation values{40, 0.5, 5, 70};
  std::vector<int32_t> doubled;
  for (int32_t x : TestSamples(1, 5000)) doubled.insert(doubled.end(), {x, x});
  LRef<LSoundDocument> document = test::Document(44100, 1, TestSamples(1, 5000));
  document->SetSelection(1000, 3000, 0);
  LSilentProgress progress;
  ASSERT_EQ(RunChorus(*document, values, progress), LResult::kDone);
  ASSERT_EQ(document->sound.Channels(), 2);
  const std::vector<int32_t> middle = LReferenceModulation(44100, 2, values, true).Process(test::Frames(doubled, 2, 1000, 3000));
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
    radio->Seek(0);
    EXPECT_EQ(test::ReadFrames(*radio, length), expected);
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
  for (LFirMethod method : {LFirMethod::kFastest, LFirMethod::kDirect}) {
    LFirStream fir(MakeRef<test::LFunctionStream>(44100, channels, 40000, input), h, method);
    EXPECT_EQ(fir.BlockShift(), 5);
    EXPECT_EQ(test::ReadInSlices(fir, frames, 21, 12000), expected);
    EXPECT_EQ(fir.Position(), frames);
    fir.Seek(20000);
    EXPECT_EQ(fir.Position(), 20000);
    EXPECT_EQ(test::ReadInSlices(fir, 8300, 22, 5000), afterSeek);
  }
}

TEST(FirFilterTest, LoudBlocksAndSpreadKernelsStayExact) {
  // Samples beyond 2^30 need a shift of 16; a mask at 255 needs kernel taps beyond 16 bits,
  // and with a square wave at full level its blocks are computed directly.
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
  EXPECT_GT(fir.DirectBlocks(), 0);
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
