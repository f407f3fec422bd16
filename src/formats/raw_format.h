#pragma once
// Headerless sample files (".raw", ".snd", ".vox"): the format record that says how to read
// and write them, and the openers over it. Where the records are stored is docio's business
// (docio/raw_settings.h).

#include <cstdint>
#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

// The codec numbers as stored; their order is that of the dialog's encoding list.
enum class LRawCodec : uint32_t {
  kDialogicAdpcm = 0,
  kMuLaw = 1,
  kALaw = 2,
  kPcm16LittleEndian = 3,
  kPcm8Unsigned = 4,
  kPcm8Signed = 5,
  kPcm16BigEndian = 6,
};
inline constexpr uint32_t kRawCodecCount = 7;

struct LRawFormat {
  uint32_t sampleRate = 44100;
  uint8_t channels = 1;  // never 0
  uint32_t codec = static_cast<uint32_t>(LRawCodec::kPcm16LittleEndian);  // any number may be stored
};

// The whole file read with the record's codec, rate and channels (Dialogic ADPCM is always
// mono). Never null: a file that cannot be opened gives state kCannotOpen, a codec number
// outside the list kCorrupt.
LRef<LSoundStream> OpenRawFile(const LRawFormat& format, const std::string& path);
// A headerless writer for the record (Dialogic ADPCM always mono); a codec number outside the
// list gives an LNullSink.
LRef<LSoundSink> CreateRawFile(const LRawFormat& format, const std::string& path);
// The rate and channel count that CreateRawFile writes for the record.
int RawFileChannels(const LRawFormat& format);

}  // namespace klangor
