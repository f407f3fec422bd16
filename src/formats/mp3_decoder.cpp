#include "formats/mp3_decoder.h"

#include <algorithm>
#include <iterator>
#include <cstring>

#include "formats/mp3_bands.h"
#include "formats/mp3_bits.h"
#include "formats/mp3_huffman.h"
#include "formats/mp3_requantize.h"
#include "formats/mp3_stereo.h"

namespace klangor {
namespace {

// main_data_begin reaches back at most 511 bytes (9 bits; 8 bits for MPEG-2).
constexpr int kReservoirBytes = 1024;
constexpr int kMainBytes = 512 + kMp3MaxFrameBytes;

}  // namespace

struct LMp3Decoder::LState {
  // The last main data bytes of earlier frames, oldest first.
  uint8_t reservoir[kReservoirBytes] = {};
  int reservoirFill = 0;
  // This frame's main data: the part from the reservoir, then the frame's own, then padding.
  uint8_t main[kMainBytes + kMp3BitPaddingBytes] = {};

  LMp3ScaleFactors factors[2];
  LMp3GranuleInfo infos[2];
  alignas(16) float xr[2][kMp3GranuleLines] = {};
  int lines[2] = {0, 0};
  LMp3SubbandSamples overlap[2] = {};
  LMp3SubbandSamples hybrid = {};
  LMp3Synthesis synthesis[2];
  alignas(16) int32_t samples[2][kMp3GranuleLines] = {};

  void Keep(const uint8_t* data, int count) {
    if (count >= kReservoirBytes) {
      std::memcpy(reservoir, data + count - kReservoirBytes, kReservoirBytes);
      reservoirFill = kReservoirBytes;
      return;
    }
    if (reservoirFill + count > kReservoirBytes) {
      const int keep = kReservoirBytes - count;
      std::memmove(reservoir, reservoir + reservoirFill - keep, static_cast<size_t>(keep));
      reservoirFill = keep;
    }
    std::memcpy(reservoir + reservoirFill, data, static_cast<size_t>(count));
    reservoirFill += count;
  }
};

LMp3Decoder::LMp3Decoder() : state_(std::make_unique<LState>()) {}
LMp3Decoder::~LMp3Decoder() = default;

void LMp3Decoder::Reset() {
  state_ = std::make_unique<LState>();
  silenced_ = 0;
}

void LMp3Decoder::Silence(int channel) {
  LState& s = *state_;
  std::fill(std::begin(s.xr[channel]), std::end(s.xr[channel]), 0.0f);
  s.infos[channel] = LMp3GranuleInfo{};
  s.lines[channel] = 0;
  ++silenced_;
}

bool LMp3Decoder::DecodeFrame(const uint8_t* frame, int64_t bytes, int32_t* pcm) {
  if (bytes < kMp3HeaderBytes) return false;
  const std::optional<LMp3Header> parsed = ParseMp3Header(frame);
  if (!parsed) return false;
  const LMp3Header& header = *parsed;
  LState& s = *state_;

  const int frameBytes = header.FrameBytes();
  const int present = static_cast<int>(std::min<int64_t>(bytes, frameBytes));
  const int sideEnd = header.SideInfoOffset() + header.SideInfoBytes();
  LMp3SideInfo side;
  const bool sideValid = present >= sideEnd && ReadMp3SideInfo(frame, header, &side);
  const int mainPresent = sideValid ? present - sideEnd : 0;

  int64_t availableBits = 0;
  if (sideValid && side.mainDataBegin <= s.reservoirFill) {
    const int begin = side.mainDataBegin;
    std::memcpy(s.main, s.reservoir + s.reservoirFill - begin, static_cast<size_t>(begin));
    std::memcpy(s.main + begin, frame + sideEnd, static_cast<size_t>(mainPresent));
    std::memset(s.main + begin + mainPresent, 0, kMp3BitPaddingBytes);
    availableBits = int64_t{begin + mainPresent} * 8;
  }
  DecodeGranules(header, side, sideValid ? availableBits : -1, pcm);

  if (present == frameBytes && frameBytes > sideEnd) {
    s.Keep(frame + sideEnd, frameBytes - sideEnd);  // later frames may refer to these bytes
  } else {
    s.reservoirFill = 0;  // later frames cannot rely on what this one left out
  }
  return true;
}

void LMp3Decoder::DecodeGranules(const LMp3Header& header, const LMp3SideInfo& side, int64_t availableBits,
                                 int32_t* pcm) {
  LState& s = *state_;
  const int channels = header.Channels();
  const bool mpeg1 = header.Mpeg1();
  const LMp3Bands& bands = Mp3Bands(header.RateTableIndex());
  const bool joint = channels == 2 && header.mode == 1 && header.modeExtension != 0;
  LMp3BitReader bits(s.main, std::max<int64_t>(availableBits, 0) / 8);
  int64_t granuleStart = 0;

  for (int gr = 0; gr < header.Granules(); ++gr) {
    for (int ch = 0; ch < channels; ++ch) {
      if (availableBits < 0) {
        Silence(ch);
        continue;
      }
      LMp3GranuleInfo info = side.granules[gr][ch];
      const int64_t end = granuleStart + info.part23Bits;
      bits.SetPosition(granuleStart);
      granuleStart = end;
      if (end > availableBits) {
        Silence(ch);
        continue;
      }
      if (mpeg1) {
        ReadMp3ScaleFactorsMpeg1(bits, info, side.scfsi[ch], gr, &s.factors[ch]);
      } else {
        const bool intensityRight = ch == 1 && header.mode == 1 && (header.modeExtension & 1) != 0;
        ReadMp3ScaleFactorsMpeg2(bits, &info, intensityRight, &s.factors[ch]);
      }
      if (bits.Position() > end) {
        Silence(ch);
        continue;
      }
      LMp3SpectrumLayout layout;
      layout.bigValueLines = info.bigValues * 2;
      if (info.ShortBlocks()) {
        layout.region1Start = 3 * bands.shortStart[3];
        layout.region2Start = kMp3GranuleLines;
      } else {
        layout.region1Start = bands.longStart[std::min(info.region0Count + 1, kMp3LongBands)];
        layout.region2Start = bands.longStart[std::min(info.region0Count + info.region1Count + 2, kMp3LongBands)];
      }
      std::copy(std::begin(info.tables), std::end(info.tables), layout.tables);
      layout.count1TableB = info.count1TableB;
      const int lines = DecodeMp3Spectrum(bits, end, layout, s.xr[ch]);
      if (lines < 0) {
        Silence(ch);
        continue;
      }
      RequantizeMp3(lines, info, s.factors[ch], bands, mpeg1, s.xr[ch]);
      s.infos[ch] = info;
      s.lines[ch] = lines;
    }

    int subbands[2] = {0, 0};
    for (int ch = 0; ch < channels; ++ch) {
      const int used = (s.lines[ch] + kMp3LinesPerSubband - 1) / kMp3LinesPerSubband;
      subbands[ch] = s.infos[ch].ShortBlocks() ? kMp3Subbands : used;
    }
    if (joint) {
      LMp3StereoMode mode;
      mode.midSide = (header.modeExtension & 2) != 0;
      mode.intensity = (header.modeExtension & 1) != 0;
      mode.mpeg1 = mpeg1;
      ProcessMp3Stereo(mode, s.infos[1], s.factors[1], bands, std::max(s.lines[0], s.lines[1]), s.xr[0], s.xr[1]);
      subbands[0] = subbands[1] = std::max(subbands[0], subbands[1]);
    }

    const int longSubbands = Mp3MixedLongLines(bands, mpeg1) / kMp3LinesPerSubband;
    for (int ch = 0; ch < channels; ++ch) {
      const LMp3GranuleInfo& info = s.infos[ch];
      if (info.ShortBlocks()) ReorderMp3ShortBlocks(bands, info.mixed, mpeg1, s.xr[ch]);
      Mp3HybridSynthesis(s.xr[ch], info, longSubbands, subbands[ch], s.overlap[ch], s.hybrid);
      s.synthesis[ch].Run(s.hybrid, s.samples[ch]);
    }
    int32_t* out = pcm + static_cast<ptrdiff_t>(gr) * kMp3GranuleLines * channels;
    if (channels == 1) {
      std::copy_n(s.samples[0], kMp3GranuleLines, out);
    } else {
      for (int i = 0; i < kMp3GranuleLines; ++i) {
        out[2 * i] = s.samples[0][i];
        out[2 * i + 1] = s.samples[1][i];
      }
    }
  }
}

}  // namespace klangor
