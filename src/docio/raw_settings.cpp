#include "docio/raw_settings.h"

#include <cctype>
#include <charconv>

#include "settings/settings_keys.h"

namespace klangor {
namespace {

struct LRawKeys {
  const LIntSetting& sampleRate;
  const LIntSetting& channels;
  const LIntSetting& codec;
};

LRawKeys KeysOf(LRawRecord record) {
  if (record == LRawRecord::kVoxAudio) return {kVoxAudioSampleRate, kVoxAudioChannels, kVoxAudioCodec};
  return {kRawAudioSampleRate, kRawAudioChannels, kRawAudioCodec};
}

// The edit box's number: optional blanks, an optional sign and decimal digits, nothing else.
bool ParseRate(const std::string& text, int64_t* rate) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (begin < end && text[begin] == '+') ++begin;
  auto [last, error] = std::from_chars(text.data() + begin, text.data() + end, *rate);
  return error == std::errc() && last == text.data() + end && begin < end;
}

}  // namespace

LRawFormat LoadRawFormat(const LSettingsStore& store, LRawRecord record) {
  const LRawKeys keys = KeysOf(record);
  LRawFormat format;
  format.sampleRate = static_cast<uint32_t>(store.Read(keys.sampleRate));
  format.channels = static_cast<uint8_t>(store.Read(keys.channels));
  if (format.channels == 0) format.channels = 1;
  format.codec = static_cast<uint32_t>(store.Read(keys.codec));
  return format;
}

bool SaveRawFormat(LSettingsStore& store, LRawRecord record, const LRawFormat& format) {
  const LRawKeys keys = KeysOf(record);
  const int32_t channels = format.channels == 0 ? 1 : format.channels;
  bool written = store.Write(keys.sampleRate, static_cast<int32_t>(format.sampleRate));
  written = store.Write(keys.channels, channels) && written;
  return store.Write(keys.codec, static_cast<int32_t>(format.codec)) && written;
}

LFormatSettings StoredFormatSettings(const LSettingsStore& store) {
  return {LoadRawFormat(store, LRawRecord::kVoxAudio), LoadRawFormat(store, LRawRecord::kRawAudio)};
}

// --- LRawDlg ---

const std::array<const char*, kRawCodecCount>& LRawDlg::EncodingTexts() {
  static const std::array<const char*, kRawCodecCount> texts = {
      "Dialogic ADPCM", "G711 uLaw",      "G711 aLaw",      "16 bit PCM (LE)",
      "8 bit unsigned", "8 bit signed",   "16 bit PCM (BE)",
  };
  return texts;
}

const std::array<const char*, 2>& LRawDlg::ChannelTexts() {
  static const std::array<const char*, 2> texts = {"1 - Mono", "2 - Stereo"};
  return texts;
}

LRawDlg::LRawDlg(LRawRecord record, const LRawFormat& format)
    : encodingIndex(format.codec < kRawCodecCount ? static_cast<int>(format.codec) : -1),
      channelsIndex(format.channels == 1 || format.channels == 2 ? format.channels - 1 : -1),
      sampleRateText(std::to_string(format.sampleRate)),
      record_(record),
      format_(format) {}

std::string LRawDlg::Ok(LSettingsStore& store) {
  // A list without a selection leaves the record's value as it was.
  if (encodingIndex >= 0 && encodingIndex < static_cast<int>(kRawCodecCount)) {
    format_.codec = static_cast<uint32_t>(encodingIndex);
  }
  int64_t rate = 0;
  if (!ParseRate(sampleRateText, &rate) || rate < kMinSampleRate || rate > kMaxSampleRate) return kRateMessage;
  format_.sampleRate = static_cast<uint32_t>(rate);
  if (channelsIndex == 0 || channelsIndex == 1) format_.channels = static_cast<uint8_t>(channelsIndex + 1);
  SaveRawFormat(store, record_, format_);
  return {};
}

}  // namespace klangor
