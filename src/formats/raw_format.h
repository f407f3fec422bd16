#pragma once
// Headerless sample files (".raw", ".snd", ".vox"): the format record that says how to read
// and write them, the openers over it, and the model of the raw format dialog.
//
// Two records are kept in the settings store, machine-wide: "VoxAudio" (8000 Hz, mono, Dialogic
// ADPCM when nothing is stored) and "RawAudio" (44100 Hz, mono, 16-bit little-endian).

#include <array>
#include <cstdint>
#include <string>

#include "app/settings_store.h"
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

enum class LRawRecord { kVoxAudio, kRawAudio };

// The record with the defaults above for values that are missing; a stored channel count of
// 0 reads as 1.
LRawFormat LoadRawFormat(const LSettingsStore& store, LRawRecord record);
bool SaveRawFormat(LSettingsStore& store, LRawRecord record, const LRawFormat& format);

// The whole file read with the record's codec, rate and channels (Dialogic ADPCM is always
// mono). Never null: a file that cannot be opened gives state kCannotOpen, a codec number
// outside the list kCorrupt.
LRef<LSoundStream> OpenRawFile(const LRawFormat& format, const std::string& path);
// A headerless writer for the record (Dialogic ADPCM always mono); a codec number outside the
// list gives an LNullSink.
LRef<LSoundSink> CreateRawFile(const LRawFormat& format, const std::string& path);
// The rate and channel count that CreateRawFile writes for the record.
int RawFileChannels(const LRawFormat& format);

// The raw format dialog ("LRawDlg") without its window: the controls' contents and what OK
// does. A form shows EncodingTexts() and ChannelTexts() as its two lists and the rate as a
// signed number in an edit box.
class LRawDlg {
 public:
  static constexpr int32_t kMinSampleRate = 6000;
  static constexpr int32_t kMaxSampleRate = 196000;
  static constexpr char kRateMessage[] = "Please select a sample rate between 6000 and 196000.";

  static const std::array<const char*, kRawCodecCount>& EncodingTexts();
  static const std::array<const char*, 2>& ChannelTexts();

  LRawDlg(LRawRecord record, const LRawFormat& format);

  // The controls: the selected list entries (-1: none) and the edit box's text.
  int encodingIndex;
  int channelsIndex;
  std::string sampleRateText;

  // OK: takes the encoding, then checks the rate. A rate that is not a number within
  // 6000..196000 gives kRateMessage, to be shown with an error icon while the dialog stays
  // open. Otherwise the rate and channels are taken too, the record is saved under its key,
  // and the result is empty: the dialog closes.
  std::string Ok(LSettingsStore& store);

  const LRawFormat& Format() const { return format_; }

 private:
  LRawRecord record_;
  LRawFormat format_;
};

}  // namespace klangor
