#pragma once
// Where the headerless-file records live, and the raw format dialog that edits them.
//
// Two records are kept in the settings store, machine-wide: "VoxAudio" (8000 Hz, mono, Dialogic
// ADPCM when nothing is stored) and "RawAudio" (44100 Hz, mono, 16-bit little-endian).

#include <array>
#include <cstdint>
#include <string>

#include "formats/format_table.h"
#include "formats/raw_format.h"
#include "settings/settings_store.h"

namespace klangor {

enum class LRawRecord { kVoxAudio, kRawAudio };

// The record with the defaults above for values that are missing; a stored channel count of
// 0 reads as 1.
LRawFormat LoadRawFormat(const LSettingsStore& store, LRawRecord record);
bool SaveRawFormat(LSettingsStore& store, LRawRecord record, const LRawFormat& format);

// The format table's settings as stored: both headerless records.
LFormatSettings StoredFormatSettings(const LSettingsStore& store);


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
