#include "edit/wave_format_dialog.h"

#include <algorithm>
#include <cstdlib>

#include "docio/wav_codec_file.h"
#include "formats/wav_codec_sink.h"

namespace klangor {
namespace {

const std::vector<int32_t>& PcmRates() {
  static const std::vector<int32_t> rates = {8000,  11025, 16000, 22050, 32000,  44100,
                                             48000, 88200, 96000, 176400, 192000};
  return rates;
}
const std::vector<int32_t>& PcmBits() {
  static const std::vector<int32_t> bits = {8, 16, 24, 32};
  return bits;
}

// "44.100 Hz": thousands with a dot, as German texts write them.
std::string RateText(int32_t rate) {
  std::string digits = std::to_string(rate);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ".");
  return digits + " Hz";
}

std::string ChannelText(int channels) {
  if (channels == 1) return "Mono";
  if (channels == 2) return "Stereo";
  return std::to_string(channels) + " Kanäle";
}

// The index of the entry nearest to `value`.
int Nearest(const std::vector<int32_t>& values, int32_t value) {
  int best = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (std::llabs(int64_t{values[i]} - value) < std::llabs(int64_t{values[static_cast<size_t>(best)]} - value)) {
      best = static_cast<int>(i);
    }
  }
  return best;
}

}  // namespace

LWaveFormatDlg::LWaveFormatDlg(const LWaveFormat& initial) {
  ownRate_ = static_cast<int32_t>(std::min<uint32_t>(initial.samplesPerSec, 192000));
  ownChannels_ = std::clamp<int>(initial.channels, 1, 255);
  if (!IsPcmFormat(initial)) {
    const std::vector<LWaveCodec>& codecs = WaveCodecs();
    for (size_t i = 0; i < codecs.size(); ++i) {
      if (codecs[i].formatTag == initial.formatTag) format_ = static_cast<int>(i) + 1;
    }
  }
  const int32_t detail = format_ == 0 ? initial.bitsPerSample : CodecBitRate(initial);
  Refit(ownRate_, ownChannels_, detail);
}

uint16_t LWaveFormatDlg::Tag() const {
  return format_ == 0 ? kWaveFormatPcm : WaveCodecs()[static_cast<size_t>(format_ - 1)].formatTag;
}

std::vector<int32_t> LWaveFormatDlg::Rates() const {
  if (format_ != 0) return WaveCodecs()[static_cast<size_t>(format_ - 1)].rates;
  std::vector<int32_t> rates = PcmRates();
  // The sound's own rate is always offered for PCM.
  if (ownRate_ > 0 && std::find(rates.begin(), rates.end(), ownRate_) == rates.end()) {
    rates.insert(std::upper_bound(rates.begin(), rates.end(), ownRate_), ownRate_);
  }
  return rates;
}

std::vector<int32_t> LWaveFormatDlg::Details() const {
  if (format_ == 0) return PcmBits();
  return WaveCodecBitRates(Tag(), Rate());
}

int32_t LWaveFormatDlg::Rate() const {
  const std::vector<int32_t> rates = Rates();
  return rates[static_cast<size_t>(std::clamp<int>(rate_, 0, static_cast<int>(rates.size()) - 1))];
}

std::vector<std::string> LWaveFormatDlg::FormatNames() const {
  std::vector<std::string> names = {"PCM"};
  for (const LWaveCodec& codec : WaveCodecs()) names.emplace_back(codec.name);
  return names;
}

std::vector<std::string> LWaveFormatDlg::RateNames() const {
  std::vector<std::string> names;
  for (int32_t rate : Rates()) names.push_back(RateText(rate));
  return names;
}

std::vector<std::string> LWaveFormatDlg::ChannelNames() const {
  std::vector<std::string> names = {ChannelText(1)};
  const int most = format_ == 0 ? std::max(ownChannels_, 2) : WaveCodecs()[static_cast<size_t>(format_ - 1)].maxChannels;
  if (most >= 2) names.push_back(ChannelText(2));
  if (most > 2) names.push_back(ChannelText(most));
  return names;
}

std::vector<std::string> LWaveFormatDlg::DetailNames() const {
  std::vector<std::string> names;
  for (int32_t value : Details()) names.push_back(std::to_string(value) + (format_ == 0 ? " Bit" : " kBit/s"));
  return names;
}

int LWaveFormatDlg::ChannelCount() const {
  return channels_ == 0 ? 1 : channels_ == 1 ? 2 : std::max(ownChannels_, 3);
}

void LWaveFormatDlg::Refit(int32_t rate, int channels, int32_t detail) {
  rate_ = Nearest(Rates(), rate);
  channels_ = std::min<int>(channels <= 1 ? 0 : channels == 2 ? 1 : 2, static_cast<int>(ChannelNames().size()) - 1);
  const std::vector<int32_t> details = Details();
  // A detail that does not fit picks the usual one: 16 bits, 128 kbit/s (or the nearest).
  const int32_t fallback = format_ == 0 ? 16 : 128;
  detail_ = details.empty() ? 0
            : std::find(details.begin(), details.end(), detail) != details.end() ? Nearest(details, detail)
                                                                                    : Nearest(details, fallback);
}

void LWaveFormatDlg::SelectFormat(int index) {
  const int32_t rate = Rate();
  const int channels = ChannelCount();
  const std::vector<int32_t> details = Details();
  const int32_t detail = details.empty() ? 0 : details[static_cast<size_t>(detail_)];
  format_ = std::clamp<int>(index, 0, static_cast<int>(WaveCodecs().size()));
  Refit(rate, channels, detail);
}

void LWaveFormatDlg::SelectRate(int index) {
  const std::vector<int32_t> details = Details();
  const int32_t detail = details.empty() ? 0 : details[static_cast<size_t>(detail_)];
  rate_ = std::clamp<int>(index, 0, static_cast<int>(Rates().size()) - 1);
  Refit(Rate(), ChannelCount(), detail);
}

void LWaveFormatDlg::SelectChannels(int index) {
  channels_ = std::clamp<int>(index, 0, static_cast<int>(ChannelNames().size()) - 1);
}

void LWaveFormatDlg::SelectDetail(int index) {
  detail_ = std::clamp<int>(index, 0, std::max<int>(static_cast<int>(Details().size()) - 1, 0));
}

std::optional<LWaveFormat> LWaveFormatDlg::Chosen() const {
  const std::vector<int32_t> details = Details();
  const int32_t detail = details.empty() ? 0 : details[static_cast<size_t>(detail_)];
  if (format_ == 0) return MakePcmFormat(Rate(), ChannelCount(), detail);
  return MakeCodecWaveFormat(Tag(), Rate(), ChannelCount(), detail);
}

std::string LWaveFormatDlg::Validate() { return Chosen() ? std::string() : std::string(kUnavailable); }

std::string LWaveFormatDlg::Summary() const {
  const std::optional<LWaveFormat> chosen = Chosen();
  std::string text = FormatNames()[static_cast<size_t>(format_)] + ", " + RateText(Rate()) + ", " +
                     ChannelText(ChannelCount());
  if (format_ == 0) text += ", " + DetailNames()[static_cast<size_t>(detail_)];
  if (!chosen) return text + ": nicht verfügbar";
  return text + ": " + std::to_string((chosen->avgBytesPerSec + 512) / 1024) + " KB/s";
}

bool ChooseWaveSaveFormat(LUserInterface& ui, const std::string& wavCodecFile, int32_t sampleRate, int channels) {
  LWaveFormatDlg dialog(InitialSaveFormat(wavCodecFile, sampleRate, channels));
  if (!ui.RunDialog(dialog)) return false;
  const std::optional<LWaveFormat> chosen = dialog.Chosen();
  if (chosen && WriteWavCodecFile(wavCodecFile, *chosen)) return true;
  // Saving on in another format than the one chosen would surprise: the save stops.
  ui.Message("Das gewählte Format konnte nicht in \"" + wavCodecFile + "\" gespeichert werden.",
             LWaveFormatDlg::kTitle, LButtons::kOk, LIcon::kError);
  return false;
}

}  // namespace klangor
