#pragma once
// Compressed WAVE writing: the codecs that FFmpeg encodes into WAVE files (IMA and MS ADPCM,
// A-law, mu-law, GSM 6.10, MPEG layer 3), the format records that describe them, and the sink
// that writes such a file. The file holds "RIFF", "WAVE", "fmt " with the full record and its
// extra bytes, and "data" with the encoded bytes; both sizes read 4294967295 until the sink
// finishes. Input is taken as 16-bit samples ((x + 8) >> 4 of the internal ones).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "formats/wave_format.h"

namespace klangor {

inline constexpr uint16_t kWaveFormatMsAdpcm = 0x0002;
inline constexpr uint16_t kWaveFormatALaw = 0x0006;
inline constexpr uint16_t kWaveFormatMuLaw = 0x0007;
inline constexpr uint16_t kWaveFormatImaAdpcm = 0x0011;
inline constexpr uint16_t kWaveFormatGsm610 = 0x0031;
inline constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;

// A compressed format that saving offers, with what it allows.
struct LWaveCodec {
  uint16_t formatTag;
  const char* name;               // as the format list shows it
  std::vector<int32_t> rates;     // the rates it encodes (Hz)
  int maxChannels;                // 1 or 2
  bool bitRateChoice;             // the byte rate is chosen (kbit/s), not fixed by the codec
};

// The compressed formats, in the order of the format list.
const std::vector<LWaveCodec>& WaveCodecs();
const LWaveCodec* FindWaveCodec(uint16_t formatTag);
// The kbit/s choices of a codec with a bit-rate choice at `sampleRate`; empty for the others.
std::vector<int32_t> WaveCodecBitRates(uint16_t formatTag, int32_t sampleRate);

// The record of `formatTag` at `sampleRate` and `channels` (and `bitRate` in kbit/s for the
// codecs that have a choice), with the block size, byte rate and extra bytes of its encoder;
// nothing when no installed encoder writes that combination.
std::optional<LWaveFormat> MakeCodecWaveFormat(uint16_t formatTag, int32_t sampleRate, int channels,
                                               int32_t bitRate = 0);

// The kbit/s of a record of a codec with a bit-rate choice (from its byte rate); 0 otherwise.
int32_t CodecBitRate(const LWaveFormat& format);

// The sink that writes `path` in the compressed `format`. Only the tag, rate, channels and
// (for MPEG layer 3) byte rate are taken from it; the rest of the written record comes from
// the encoder, so a stored record with odd fields still gives a consistent file. A format
// that no encoder writes gives a sink whose error bit is set.
LRef<LSoundSink> CreateWaveCodecSink(const std::string& path, const LWaveFormat& format);

}  // namespace klangor
