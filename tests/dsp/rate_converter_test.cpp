// The sample-rate converter: its integer arithmetic written out, block scaling of loud
// input, independence from how it is read, unusable rates, its filter's response, and
// agreement with sox.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "audio/error_stream.h"
#include "dsp/rate_converter.h"
#include "platform/cpu_features.h"
#include "support/test_env.h"
#include "support/test_signals.h"

namespace klangor {
namespace {


std::vector<int32_t> Noise(int channels, int32_t frames, int32_t amplitude, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> value(-amplitude, amplitude);
  std::vector<int32_t> samples(static_cast<size_t>(frames) * channels);
  for (int32_t& s : samples) s = value(random);
  return samples;
}

// The converter's arithmetic written out for samples within 16 bits (no block shift): output
// frame f is the 63 input frames from floor(f s / P) - 31 under the taps of phase (f s) mod P,
// each half of the window summed and halved, then (sum + 2^14) >> 15.
std::vector<int32_t> Reference(const LRateDesign& design, const std::vector<int32_t>& input, int channels,
                               int32_t outputFrames) {
  const auto inputFrames = static_cast<int64_t>(input.size() / channels);
  std::vector<int32_t> out(static_cast<size_t>(outputFrames) * channels);
  for (int64_t f = 0; f < outputFrames; ++f) {
    const int64_t first = f * design.step / design.phases - 31;
    const int64_t phase = f * design.step % design.phases;
    for (int c = 0; c < channels; ++c) {
      int64_t sums[2] = {0, 0};
      for (int i = 0; i < kRateTaps; ++i) {
        const int64_t at = first + i;
        const int64_t x = at >= 0 && at < inputFrames ? input[at * channels + c] : 0;
        sums[i < 32 ? 0 : 1] += x * design.taps[phase * kRateTaps + i];
      }
      out[f * channels + c] = static_cast<int32_t>(((sums[0] >> 1) + (sums[1] >> 1) + (1 << 14)) >> 15);
    }
  }
  return out;
}

std::vector<int32_t> Convert(const std::vector<int32_t>& input, int channels, int32_t from, int32_t to) {
  LRef<LSoundStream> stream = MakeRateConverter(test::SamplesStream(from, channels, input), to);
  return test::ReadFrames(*stream, stream->Length());
}

TEST(RateConverterTest, SixteenBitSignalsFollowTheArithmeticExactly) {
  for (auto [from, to] : {std::pair{44100, 48000}, std::pair{48000, 44100}, std::pair{44100, 22050},
                          std::pair{22050, 44100}, std::pair{44100, 16000}}) {
    for (int channels : {1, from == 44100 && to == 48000 ? 2 : 1}) {
      SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to) + " x" + std::to_string(channels));
      // Longer than one buffer of 32768 frames, so that it refills and moves.
      const std::vector<int32_t> input = Noise(channels, 36000, 32767, static_cast<uint32_t>(from + to + channels));
      const std::vector<int32_t> got = Convert(input, channels, from, to);
      const LRateDesign design = DesignRateConverter(from, to, false);
      ASSERT_EQ(static_cast<int64_t>(got.size() / channels), (int64_t{36000} * design.phases + design.step - 1) / design.step);
      EXPECT_EQ(got, Reference(design, input, channels, static_cast<int32_t>(got.size() / channels)));
    }
  }
  // Two stages are the two conversions one after the other.
  const std::vector<int32_t> input = Noise(1, 48000, 12000, 3);
  // The first stage goes on past its length (its filter's tail), as the second stage reads it.
  const std::vector<int32_t> middle = Reference(DesignRateConverter(48000, 16000, true), input, 1, 16100);
  EXPECT_EQ(Convert(input, 1, 48000, 8000), Reference(DesignRateConverter(16000, 8000, false), middle, 1, 8000));
}

TEST(RateConverterTest, VectorSumsMatchThePlainSumsOverRandomInput) {
  // Whichever path the processor picks, random full-scale and extreme (+-32767 only) input
  // at odd ratios and channel counts gives the plain 64-bit sums to the bit.
  std::mt19937 random(22);
  for (auto [from, to, channels] : {std::tuple{8000, 11025, 3}, std::tuple{11025, 8000, 1},
                                    std::tuple{44100, 48000, 2}, std::tuple{96000, 44100, 2}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    std::vector<int32_t> input = Noise(channels, 9000, 32767, random());
    std::vector<int32_t> extreme(input.size());
    for (size_t i = 0; i < extreme.size(); ++i) extreme[i] = (random() & 1) ? 32767 : -32767;
    const LRateDesign design = DesignRateConverter(from, to, false);
    for (const auto& signal : {input, extreme}) {
      const std::vector<int32_t> got = Convert(signal, channels, from, to);
      EXPECT_EQ(got, Reference(design, signal, channels, static_cast<int32_t>(got.size() / channels)));
    }
  }
}

TEST(RateConverterTest, Avx2AndPortablePathsGiveTheSameSamples) {
  // Long random, full-scale and loud (block-shifted) input through both paths, to the bit.
  std::mt19937 random(41);
  for (auto [from, to] : {std::pair{44100, 48000}, std::pair{48000, 44100}, std::pair{8000, 44100},
                          std::pair{96000, 22050}}) {
    for (int channels : {1, 2, 3}) {  // channels in pairs and alone
      SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to) + " x" + std::to_string(channels));
      const int32_t frames = 70000;
      std::vector<std::vector<int32_t>> signals;
      signals.push_back(Noise(channels, frames, 32767, random()));
      std::vector<int32_t> extreme(static_cast<size_t>(frames) * channels);
      for (int32_t& s : extreme) s = (random() & 1) ? 32767 : -32767;
      signals.push_back(extreme);
      signals.push_back(Noise(channels, frames, 600000, random()));      // shift 5
      signals.push_back(Noise(channels, frames, 2147483647, random()));  // shift 17
      for (const auto& signal : signals) {
        SetAvx2Allowed(false);
        const std::vector<int32_t> portable = Convert(signal, channels, from, to);
        SetAvx2Allowed(true);
        const std::vector<int32_t> wide = Convert(signal, channels, from, to);
        ASSERT_EQ(portable.size(), wide.size());
        EXPECT_TRUE(portable == wide);
      }
    }
  }
}

TEST(RateConverterTest, LoudSignalsAreScaledInBlocksAndSumsNeverWrap) {
  // Full-scale document audio: within 2^(b+1) of the exact result (b = 7 for 2^21).
  const std::vector<int32_t> loud = test::Tone(44100, 2, 30000, 3000, 2000000, 700);
  const LRateDesign design = DesignRateConverter(44100, 48000, false);
  const std::vector<int32_t> got = Convert(loud, 2, 44100, 48000);
  for (int64_t f = 100; f < static_cast<int64_t>(got.size() / 2) - 100; f += 7) {
    const int64_t first = f * design.step / design.phases - 31;
    const int64_t phase = f * design.step % design.phases;
    double exact = 0.0;
    for (int i = 0; i < kRateTaps; ++i) {
      exact += static_cast<double>(loud[(first + i) * 2 + 1]) * design.taps[phase * kRateTaps + i] / 65536.0;
    }
    ASSERT_NEAR(got[f * 2 + 1], exact, 256.0) << f;
  }

  // A window that matches the signs of the taps at 16-bit full scale: each half sums to more
  // than 32 bits hold, and the output is still the true value (far beyond full scale).
  int64_t frame = 0;
  int64_t half = 0;
  for (int64_t f = 37; f < 74; ++f) {  // the phase whose taps have the largest half
    const int64_t p = f * design.step % design.phases;
    int64_t sums[2] = {0, 0};
    for (int i = 0; i < kRateTaps; ++i) sums[i < 32 ? 0 : 1] += int64_t{32767} * std::abs(design.taps[p * kRateTaps + i]);
    if (std::max(sums[0], sums[1]) > half) {
      half = std::max(sums[0], sums[1]);
      frame = f;
    }
  }
  ASSERT_GT(half, std::numeric_limits<int32_t>::max());
  const int64_t first = frame * design.step / design.phases - 31;
  const int64_t phase = frame * design.step % design.phases;
  std::vector<int32_t> worst(400, 0);
  for (int i = 0; i < kRateTaps; ++i) worst[first + i] = design.taps[phase * kRateTaps + i] < 0 ? -32767 : 32767;
  const std::vector<int32_t> out = Convert(worst, 1, 44100, 48000);
  const std::vector<int32_t> expected = Reference(design, worst, 1, static_cast<int32_t>(out.size()));
  EXPECT_EQ(out[frame], expected[frame]);
  EXPECT_GT(out[frame], 32767 * 2);
  EXPECT_EQ(out, expected);
}

// A seek lands exactly where reading would for 16-bit input; louder input is scaled in blocks
// that start where reading starts, so there it agrees within the rounding of the block shift.
TEST(RateConverterTest, SeeksLandWhereReadingWould) {
  struct LCase {
    int32_t from, to;
    int channels;
  };
  for (const LCase& c : {LCase{44100, 48000, 2}, LCase{48000, 8000, 1}, LCase{96000, 44100, 3}}) {
    for (int32_t amplitude : {20000, 600000}) {
      SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to) + " at " + std::to_string(amplitude));
      const std::vector<int32_t> input = Noise(c.channels, 12000, amplitude, 11);
      LRef<LSoundStream> stream = MakeRateConverter(test::SamplesStream(c.from, c.channels, input), c.to);
      const int32_t length = stream->Length();
      const std::vector<int32_t> whole = test::ReadFrames(*stream, length);
      EXPECT_EQ(stream->Position(), length);
      for (int32_t at : {1, 777, length / 2}) {
        stream->Seek(at);
        const std::vector<int32_t> rest = test::ReadFrames(*stream, length - at);
        int32_t worst = 0;
        for (size_t i = 0; i < rest.size(); ++i) {
          worst = std::max(worst, std::abs(rest[i] - whole[static_cast<size_t>(at) * c.channels + i]));
        }
        EXPECT_LE(worst, amplitude <= 32767 ? 0 : 64) << at;
      }
    }
  }
  // A converter made over a stream that is already under way starts at the matching frame.
  auto input = test::SamplesStream(44100, 1, Noise(1, 20000, 30000, 2));
  input->Seek(3400);
  LRef<LSoundStream> late = MakeRateConverter(input, 48000);
  EXPECT_EQ(late->Position(), 3700);  // ceil(3400 x 37 / 34)
}

TEST(RateConverterTest, BadRatesNeverHangOrCrash) {
  LRef<LSoundStream> tone = test::ToneStream(44100, 1, 1000, 440, 10000);
  EXPECT_EQ(MakeRateConverter(tone, 0), tone);
  EXPECT_EQ(MakeRateConverter(tone, -48000), tone);
  EXPECT_EQ(MakeRateConverter(tone, 44100), tone);
  LRef<LSoundStream> broken = MakeErrorStream(LStreamState::kCorrupt);
  EXPECT_EQ(MakeRateConverter(broken, 8000), broken);

  // Ratios no phase count can hold: steps stay at least 1 and below 2^24.
  const LRateDesign up = DesignRateConverter(1, std::numeric_limits<int32_t>::max(), false);
  EXPECT_EQ(up.phases, 255);
  EXPECT_EQ(up.step, 1);
  EXPECT_LE(DesignRateConverter(std::numeric_limits<int32_t>::max(), 1, false).step, 1 << 24);
  EXPECT_EQ(DesignRateConverter(0, -5, false).inputRate, 1);

  // A conversion far below a quarter splits until every cutoff is positive.
  LRef<LSoundStream> deep = MakeRateConverter(test::ToneStream(192000, 1, 192000, 10, 100000), 1000);
  int stages = 0;
  for (LSoundStream* s = deep.Get(); auto* stage = dynamic_cast<LRateConverterStream*>(s); s = &stage->Source()) {
    EXPECT_GT(stage->Design().cutoff, 0.0);
    ++stages;
  }
  EXPECT_GT(stages, 2);
  EXPECT_EQ(deep->Length(), 1000);
  const std::vector<int32_t> out = test::ReadFrames(*deep, 1000);
  EXPECT_GT(*std::max_element(out.begin(), out.end()), 50000);  // the 10 Hz tone comes through

  LRef<LSoundStream> wide = MakeRateConverter(test::ToneStream(6000, 1, 600, 440, 10000), 96000);
  EXPECT_EQ(test::ReadFrames(*wide, wide->Length()).size(), 9600u);
}

// The filter's image and alias levels and its passband ripple (facts of the design, printed
// for reference; the bounds only guard against regressions).
TEST(RateConverterTest, FilterResponseNearTheBandEdges) {
  const auto gainAt = [](int32_t from, int32_t to, double freq, double measuredAt) {
    LRef<LSoundStream> stream = MakeRateConverter(test::ToneStream(from, 1, from * 3 / 2, freq, 500000), to);
    stream->Seek(to / 2);
    const std::vector<int32_t> out = test::ReadFrames(*stream, to / 2);
    // The output of the approximated step runs at s / P of the exact ratio.
    double scale = 1.0;
    for (LSoundStream* s = stream.Get(); auto* stage = dynamic_cast<LRateConverterStream*>(s); s = &stage->Source()) {
      const LRateDesign& d = stage->Design();
      scale *= static_cast<double>(d.step) / d.phases * d.outputRate / d.inputRate;
    }
    return test::Amplitude(test::Channel(out, 1, 0, 0, to / 2), to, measuredAt * scale) / 500000;
  };
  const auto ripple = [&](int32_t from, int32_t to, double top) {
    double low = 1e9, high = 0.0;
    for (double f = 100; f <= top; f += top / 12) {
      const double g = gainAt(from, to, f, f);
      low = std::min(low, g);
      high = std::max(high, g);
    }
    return test::Db(high / low);
  };
  const double upRipple = ripple(44100, 48000, 18000);
  const double upImage = test::Db(gainAt(44100, 48000, 20000, 44100 - 20000));
  const double downRipple = ripple(48000, 8000, 3200);
  const double downAlias = test::Db(gainAt(48000, 8000, 4400, 8000 - 4400));
  std::cout << "[ FILTER   ] 44100 -> 48000: passband ripple (100..18000 Hz) " << upRipple
            << " dB, image of 20000 Hz at 24100 Hz " << upImage << " dB\n"
            << "[ FILTER   ] 48000 -> 8000: passband ripple (100..3200 Hz) " << downRipple
            << " dB, alias of 4400 Hz at 3600 Hz " << downAlias << " dB\n";
  EXPECT_LT(upRipple, 0.5);
  EXPECT_LT(upImage, -30.0);
  EXPECT_LT(downRipple, 0.5);
  EXPECT_LT(downAlias, -45.0);
}

// sox as the reference for exact ratios: within both filters' passbands the outputs agree.
TEST(RateConverterTest, AgreesWithSoxWithinThePassband) {
  if (!test::HaveProgram("sox")) GTEST_SKIP() << "sox is not installed";
  for (auto [from, to] : {std::pair{44100, 22050}, std::pair{48000, 8000}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    const int32_t frames = from;
    std::vector<int32_t> input(static_cast<size_t>(frames));
    std::string bytes;
    for (int32_t f = 0; f < frames; ++f) {
      const auto s = static_cast<int16_t>(std::lround(9000 * std::sin(2 * test::kPi * 500.0 * f / from) +
                                                      7000 * std::sin(2 * test::kPi * (to / 4.0) * f / from)));
      input[f] = s * 16;
      bytes += static_cast<char>(s & 0xff);
      bytes += static_cast<char>((s >> 8) & 0xff);
    }
    const std::string in = test::TempPath(".raw");
    const std::string out = test::TempPath(".raw");
    test::WriteBytes(in, bytes);
    ASSERT_EQ(test::Run({"sox", "-V1", "-t", "s16", "-r", std::to_string(from), "-c", "1", in, "-t", "s16", "-r",
                         std::to_string(to), out}), 0);
    const std::string theirs = test::ReadBytes(out);
    const std::vector<int32_t> ours = Convert(input, 1, from, to);
    double signal = 0.0, noise = 0.0;
    for (int32_t f = to / 10; f < to * 9 / 10; ++f) {
      const auto them = static_cast<int16_t>(static_cast<uint8_t>(theirs[2 * f]) | static_cast<uint8_t>(theirs[2 * f + 1]) << 8);
      const double mine = (ours[f] + 8) >> 4;
      signal += static_cast<double>(them) * them;
      noise += (mine - them) * (mine - them);
    }
    const double snr = 10 * std::log10(signal / noise);
    std::cout << "[ SOX      ] " << from << " -> " << to << ": ours against sox " << snr << " dB\n";
    EXPECT_GT(snr, 40.0);
  }
}

}  // namespace
}  // namespace klangor
