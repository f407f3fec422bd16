#pragma once
// "Select Wave File Format": the choice of the WAV format for saving, as a dialog model. The
// user picks the format (PCM or one of the compressed ones FFmpeg encodes), then its rate,
// channels and, for PCM, the bit depth or, for MPEG layer 3, the bit rate; the lists follow
// the chosen format. The chosen format is stored in "WavCodec.wff" (docio/wav_codec_file.h).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/wave_format.h"
#include "frame/user_interface.h"

namespace klangor {

class LWaveFormatDlg final : public LDialogModel {
 public:
  static constexpr char kTitle[] = "Select Wave File Format";
  static constexpr char kFormatLabel[] = "Format:";
  static constexpr char kRateLabel[] = "Abtastrate:";
  static constexpr char kChannelsLabel[] = "Kanäle:";
  static constexpr char kDetailLabel[] = "Attribute:";
  static constexpr char kUnavailable[] =
      "The requested format is not available because the required CODEC is not installed on this computer.";
  static constexpr char kUnavailableTitle[] = "Format Not Available";

  // Starts at `initial`; what it does not fit (an unknown tag, an odd rate) falls back to the
  // nearest entry of the lists.
  explicit LWaveFormatDlg(const LWaveFormat& initial);
  std::string Title() const override { return kTitle; }
  // Empty when the choice can be written, else the not-available message.
  std::string Validate() override;

  // The lists of the current format.
  std::vector<std::string> FormatNames() const;
  std::vector<std::string> RateNames() const;     // "44.100 Hz"
  std::vector<std::string> ChannelNames() const;  // "Mono", "Stereo"
  std::vector<std::string> DetailNames() const;   // "16 Bit", "128 kBit/s"; empty when none apply

  int FormatIndex() const { return format_; }
  int RateIndex() const { return rate_; }
  int ChannelIndex() const { return channels_; }
  int DetailIndex() const { return detail_; }
  // A new format keeps the rate, channels and detail where the new lists hold them.
  void SelectFormat(int index);
  void SelectRate(int index);
  void SelectChannels(int index);
  void SelectDetail(int index);

  // The chosen format as it will be written (with the encoder's block size and extra bytes);
  // nothing when no encoder writes it.
  std::optional<LWaveFormat> Chosen() const;
  // One line about the choice: "IMA ADPCM, 44.100 Hz, Stereo: 86 KB/s".
  std::string Summary() const;

 private:
  uint16_t Tag() const;
  std::vector<int32_t> Rates() const;
  std::vector<int32_t> Details() const;  // bits per sample or kbit/s
  int32_t Rate() const;
  int ChannelCount() const;
  void Refit(int32_t rate, int channels, int32_t detail);

  int32_t ownRate_ = 0;   // the sound's rate and channels, always offered for PCM
  int ownChannels_ = 1;
  int format_ = 0;
  int rate_ = 0;
  int channels_ = 0;
  int detail_ = 0;
};

// Shows the dialog for a sound of `sampleRate` Hz and `channels` channels, started from the
// format stored in `wavCodecFile`; OK stores the choice there. False when the user cancelled.
bool ChooseWaveSaveFormat(LUserInterface& ui, const std::string& wavCodecFile, int32_t sampleRate, int channels);

}  // namespace klangor
