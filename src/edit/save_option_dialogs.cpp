#include "edit/save_option_dialogs.h"

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/text.h"
#include "settings/settings_keys.h"

namespace klangor {
namespace {

// The entry of `list` nearest to `value` (the first of two equally near ones).
int NearestIndex(const std::vector<int32_t>& list, int32_t value) {
  int best = 0;
  for (int i = 1; i < static_cast<int>(list.size()); ++i) {
    if (std::abs(list[i] - value) < std::abs(list[best] - value)) best = i;
  }
  return best;
}

// `index` brought into 0..count-1 (a list field that was never set selects the first entry).
int InList(int index, int count) { return index < 0 ? 0 : index >= count ? count - 1 : index; }

std::vector<std::string> Texts(const std::vector<int32_t>& values) {
  std::vector<std::string> texts;
  for (int32_t value : values) texts.push_back(std::to_string(value));
  return texts;
}

// The number typed into `text` when it lies within `range`.
std::optional<int32_t> InRange(const std::string& text, const LIntRange& range) {
  std::optional<int32_t> value = LeadingIntOfText(text);
  if (!value || !range.Contains(*value)) return std::nullopt;
  return value;
}

std::string RangeMessage(const char* what, const LIntRange& range, const char* unit) {
  const std::string space = unit[0] == '\0' ? "" : " ";
  return std::string("Bitte geben Sie ") + what + " zwischen " + std::to_string(range.min) + " und " +
         std::to_string(range.max) + space + unit + " ein.";
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// Empty, or "http://", "https://" or "ftp://" followed by a host, without blanks or control
// characters (the URL goes into the list file as it is).
bool AcceptableRootUrl(const std::string& url) {
  if (url.empty()) return true;
  for (unsigned char c : url) {
    if (c <= ' ' || c == 0x7F) return false;
  }
  for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
    if (StartsWithNoCase(url, scheme)) return url.size() > scheme.size() && url[scheme.size()] != '/';
  }
  return false;
}

}  // namespace

// --- MP3 ---

const std::vector<int32_t>& LMp3EncodeDlg::BitRates() {
  static const std::vector<int32_t> rates = {16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 192, 224, 256, 320};
  return rates;
}

std::vector<std::string> LMp3EncodeDlg::BitRateTexts() { return Texts(BitRates()); }

const std::array<const char*, 10>& LMp3EncodeDlg::QualityTexts() {
  static const std::array<const char*, 10> texts = {"0 (Highest)", "1", "2", "3", "4",
                                                    "5",           "6", "7", "8", "9 (Lowest)"};
  return texts;
}

const std::array<const char*, 4>& LMp3EncodeDlg::ChannelModeTexts() {
  static const std::array<const char*, 4> texts = {"Stereo", "Joint", "Force", "Mono"};
  return texts;
}

LMp3EncodeDlg::LMp3EncodeDlg(const LMp3EncoderSettings& s, int channels)
    : constantBitRate(s.constantBitRate),
      cbrIndex(NearestIndex(BitRates(), s.cbrBitRate)),
      highQuality(s.highQuality),
      vbrMinIndex(NearestIndex(BitRates(), s.vbrMinBitRate)),
      vbrMaxIndex(NearestIndex(BitRates(), s.vbrMaxBitRate)),
      qualityIndex(InList(s.vbrQuality, 10)),
      errorProtection(s.errorProtection),
      channelModeIndex(static_cast<int>(s.channelMode)),
      channels_(channels) {}

LMp3EncoderSettings LMp3EncodeDlg::Settings() const {
  const auto& rates = BitRates();
  const int count = static_cast<int>(rates.size());
  LMp3EncoderSettings s;
  s.constantBitRate = constantBitRate;
  s.cbrBitRate = rates[InList(cbrIndex, count)];
  s.highQuality = highQuality;
  s.vbrMinBitRate = rates[InList(vbrMinIndex, count)];
  s.vbrMaxBitRate = rates[InList(vbrMaxIndex, count)];
  s.vbrQuality = InList(qualityIndex, 10);
  s.errorProtection = errorProtection;
  s.channelMode = static_cast<LMp3ChannelMode>(InList(channelModeIndex, 4));
  return s;
}

std::string LMp3EncodeDlg::Validate() {
  if (constantBitRate) return {};
  const LMp3EncoderSettings s = Settings();
  if (s.vbrMinBitRate > s.vbrMaxBitRate) return kMinAboveMaxMessage;
  // Loading would raise such a minimum silently; the user hears about it here.
  if (s.vbrMaxBitRate > 160 && s.vbrMinBitRate < 32) return kMinTooLowMessage;
  return {};
}

void LMp3EncodeDlg::Store(LSettingsStore& settings) const { SaveMp3Settings(settings, Settings()); }

// --- Ogg Vorbis ---

const std::vector<int32_t>& LOggEncodeDlg::BitRates() {
  static const std::vector<int32_t> rates = [] {
    std::vector<int32_t> within;
    for (int32_t rate : LMp3EncodeDlg::BitRates()) {
      if (kOggVbrMaxBitRate.range.Contains(rate)) within.push_back(rate);
    }
    return within;
  }();
  return rates;
}

std::vector<std::string> LOggEncodeDlg::BitRateTexts() { return Texts(BitRates()); }

const std::array<const char*, 11>& LOggEncodeDlg::QualityTexts() {
  static const std::array<const char*, 11> texts = {"0 (Lowest)", "1", "2", "3", "4",           "5",
                                                    "6",          "7", "8", "9", "10 (Highest)"};
  return texts;
}

const std::array<const char*, 2>& LOggEncodeDlg::ChannelTexts() {
  static const std::array<const char*, 2> texts = {"Mono", "Stereo"};
  return texts;
}

LOggEncodeDlg::LOggEncodeDlg(const LOggEncoderSettings& s, int channels)
    : qualityMode(s.qualityMode),
      qualityIndex(InList(s.vbrQuality, 11)),
      minIndex(NearestIndex(BitRates(), s.vbrMinBitRate)),
      maxIndex(NearestIndex(BitRates(), s.vbrMaxBitRate)),
      channelsIndex(s.channels == 2 ? 1 : 0),
      stripComments(s.stripComments),
      channels_(channels) {}

LOggEncoderSettings LOggEncodeDlg::Settings() const {
  const auto& rates = BitRates();
  const int count = static_cast<int>(rates.size());
  return {qualityMode, InList(qualityIndex, 11), rates[InList(minIndex, count)], rates[InList(maxIndex, count)],
          InList(channelsIndex, 2) + 1, stripComments};
}

std::string LOggEncodeDlg::Validate() {
  if (qualityMode) return {};
  const LOggEncoderSettings s = Settings();
  return s.vbrMinBitRate > s.vbrMaxBitRate ? kMinAboveMaxMessage : std::string();
}

void LOggEncodeDlg::Store(LSettingsStore& settings) const { SaveOggSettings(settings, Settings()); }

// --- FLAC ---

std::string LFlacEncodeDlg::RateMessage() { return RangeMessage("eine Samplerate", kFlacSampleRate.range, "Hz"); }

const std::array<const char*, 9>& LFlacEncodeDlg::CompressionTexts() {
  static const std::array<const char*, 9> texts = {"0 (fastest)", "1", "2", "3", "4", "5", "6", "7", "8 (best)"};
  return texts;
}

const std::array<const char*, 2>& LFlacEncodeDlg::ChannelTexts() { return LOggEncodeDlg::ChannelTexts(); }

const std::vector<int32_t>& LFlacEncodeDlg::CommonRates() {
  static const std::vector<int32_t> rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};
  return rates;
}

LFlacEncodeDlg::LFlacEncodeDlg(const LFlacEncoderSettings& s)
    : compressionIndex(InList(s.compression, 9)),
      channelsIndex(s.channels == 2 ? 1 : 0),
      sampleRateText(std::to_string(s.sampleRate)) {}

LFlacEncoderSettings LFlacEncodeDlg::Settings() const {
  const std::optional<int32_t> rate = InRange(sampleRateText, kFlacSampleRate.range);
  return {InList(compressionIndex, 9), InList(channelsIndex, 2) + 1, rate.value_or(kFlacSampleRate.defaultValue)};
}

std::string LFlacEncodeDlg::Validate() {
  return InRange(sampleRateText, kFlacSampleRate.range) ? std::string() : RateMessage();
}

void LFlacEncodeDlg::Store(LSettingsStore& settings) const { SaveFlacSettings(settings, Settings()); }

// --- AAC ---

std::string LAACEncodeDlg::BitRateMessage() { return RangeMessage("eine Bitrate", kAacAbrBitRate.range, "kbit/s"); }
std::string LAACEncodeDlg::QualityMessage() { return RangeMessage("eine Qualität", kAacVbrQuality.range, ""); }

LAACEncodeDlg::LAACEncodeDlg(const LAacEncoderSettings& s)
    : averageBitRate(s.averageBitRate),
      bitRateText(std::to_string(s.abrBitRate)),
      qualityText(std::to_string(s.vbrQuality)),
      forceMpeg2(s.forceMpeg2),
      disableTns(s.disableTns),
      stored_(s) {}

LAacEncoderSettings LAACEncodeDlg::Settings() const {
  // The field of the other mode keeps its stored value when it holds no valid number.
  return {averageBitRate, InRange(bitRateText, kAacAbrBitRate.range).value_or(stored_.abrBitRate),
          InRange(qualityText, kAacVbrQuality.range).value_or(stored_.vbrQuality), forceMpeg2, disableTns};
}

std::string LAACEncodeDlg::Validate() {
  if (averageBitRate && !InRange(bitRateText, kAacAbrBitRate.range)) return BitRateMessage();
  if (!averageBitRate && !InRange(qualityText, kAacVbrQuality.range)) return QualityMessage();
  return {};
}

void LAACEncodeDlg::Store(LSettingsStore& settings) const { SaveAacSettings(settings, Settings()); }

// --- AMR ---

void LAMREncodeDlg::Store(LSettingsStore& settings) const { SaveAmrMode(settings, InList(modeIndex, kAmrModeCount)); }

// --- Playlist and podcast files ---

LPlaylistEncodeDlg::LPlaylistEncodeDlg(bool podcast, std::string url, const LMp3EncoderSettings& settings, int channels)
    : rootUrl(std::move(url)), mp3(settings, channels), podcast_(podcast) {}

std::string LPlaylistEncodeDlg::Validate() {
  if (!AcceptableRootUrl(rootUrl)) return kUrlMessage;
  return mp3.Validate();
}

void LPlaylistEncodeDlg::Store(LSettingsStore& settings) const {
  SaveRootUrl(settings, rootUrl);
  mp3.Store(settings);
}

}  // namespace klangor
