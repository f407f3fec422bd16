#pragma once
// The options dialogs of the encoder formats, as dialog models over the stored encoder
// settings (docio/encoder_settings.h). Each starts from the stored values; list fields hold
// the index of the selected entry (a stored value between two entries selects the nearer).
// After the user confirmed with fields that validate, Store() writes the settings under
// their key. The *Enabled() questions tell the form which fields apply at the moment.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "docio/encoder_settings.h"
#include "frame/user_interface.h"
#include "settings/settings_store.h"

namespace klangor {

class LSaveOptionsDialog : public LDialogModel {
 public:
  virtual void Store(LSettingsStore& settings) const = 0;
};

// "LMp3EncodeDlg": constant or variable bit rate, for a sound of `channels` channels.
class LMp3EncodeDlg final : public LSaveOptionsDialog {
 public:
  static constexpr char kTitle[] = "MP3 Einstellungen";
  static constexpr char kMinAboveMaxMessage[] =
      "Die minimale Bitrate darf nicht größer als die maximale Bitrate sein.";
  static constexpr char kMinTooLowMessage[] =
      "Bei einer maximalen Bitrate über 160 kbit/s muss die minimale Bitrate mindestens 32 kbit/s betragen.";

  static const std::vector<int32_t>& BitRates();  // kbit/s, the entries of the bit-rate lists
  static std::vector<std::string> BitRateTexts();
  static const std::array<const char*, 10>& QualityTexts();     // "0 (Highest)" .. "9 (Lowest)"
  static const std::array<const char*, 4>& ChannelModeTexts();  // "Stereo", "Joint", "Force", "Mono"

  LMp3EncodeDlg(const LMp3EncoderSettings& settings, int channels);
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void Store(LSettingsStore& settings) const override;
  LMp3EncoderSettings Settings() const;

  bool ConstantRateEnabled() const { return constantBitRate; }    // bit rate, high quality
  bool VariableRateEnabled() const { return !constantBitRate; }   // minimum, maximum, quality
  bool ChannelModeEnabled() const { return channels_ >= 2; }      // a mono sound is encoded mono

  bool constantBitRate;
  int cbrIndex;
  bool highQuality;
  int vbrMinIndex;
  int vbrMaxIndex;
  int qualityIndex;  // 0 best .. 9 worst
  bool errorProtection;
  int channelModeIndex;

 private:
  int channels_;
};

// "OggEncodeDlg": a quality, or a bit-rate range from 32 to 224 kbit/s.
class LOggEncodeDlg final : public LSaveOptionsDialog {
 public:
  static constexpr char kTitle[] = "Ogg Vorbis Einstellungen";
  static constexpr const char* kMinAboveMaxMessage = LMp3EncodeDlg::kMinAboveMaxMessage;

  static const std::vector<int32_t>& BitRates();
  static std::vector<std::string> BitRateTexts();
  static const std::array<const char*, 11>& QualityTexts();  // "0 (Lowest)" .. "10 (Highest)"
  static const std::array<const char*, 2>& ChannelTexts();   // "Mono", "Stereo"

  LOggEncodeDlg(const LOggEncoderSettings& settings, int channels);
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void Store(LSettingsStore& settings) const override;
  LOggEncoderSettings Settings() const;

  bool QualityEnabled() const { return qualityMode; }
  bool BitRateRangeEnabled() const { return !qualityMode; }
  bool ChannelsEnabled() const { return channels_ >= 2; }  // only a stereo sound is mixed down

  bool qualityMode;
  int qualityIndex;  // 0 lowest .. 10 highest
  int minIndex;
  int maxIndex;
  int channelsIndex;  // 0 mono, 1 stereo
  bool stripComments;

 private:
  int channels_;
};

// "FlacEncodeDlg": compression level, channels and sample rate of the FLAC file.
class LFlacEncodeDlg final : public LSaveOptionsDialog {
 public:
  static constexpr char kTitle[] = "FLAC Einstellungen";
  static std::string RateMessage();  // names the allowed range

  static const std::array<const char*, 9>& CompressionTexts();  // "0 (fastest)" .. "8 (best)"
  static const std::array<const char*, 2>& ChannelTexts();
  static const std::vector<int32_t>& CommonRates();  // offered in the rate box

  explicit LFlacEncodeDlg(const LFlacEncoderSettings& settings);
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void Store(LSettingsStore& settings) const override;
  LFlacEncoderSettings Settings() const;

  int compressionIndex;
  int channelsIndex;
  std::string sampleRateText;
};

// "LAACEncodeDlg": an average bit rate, or a quality; MPEG-2 and no TNS.
class LAACEncodeDlg final : public LSaveOptionsDialog {
 public:
  static constexpr char kTitle[] = "AAC Einstellungen";
  static std::string BitRateMessage();
  static std::string QualityMessage();

  explicit LAACEncodeDlg(const LAacEncoderSettings& settings);
  std::string Title() const override { return kTitle; }
  std::string Validate() override;
  void Store(LSettingsStore& settings) const override;
  LAacEncoderSettings Settings() const;

  bool BitRateEnabled() const { return averageBitRate; }
  bool QualityEnabled() const { return !averageBitRate; }

  bool averageBitRate;
  std::string bitRateText;  // kbit/s
  std::string qualityText;
  bool forceMpeg2;
  bool disableTns;

 private:
  LAacEncoderSettings stored_;
};

// "LAMREncodeDlg": one of the eight AMR modes (AmrModeTexts).
class LAMREncodeDlg final : public LSaveOptionsDialog {
 public:
  static constexpr char kTitle[] = "AMR Einstellungen";

  explicit LAMREncodeDlg(int mode) : modeIndex(mode) {}
  std::string Title() const override { return kTitle; }
  void Store(LSettingsStore& settings) const override;

  int modeIndex;
};

// "LPlaylistEncodeDlg": the root URL of a list file together with the MP3 settings of its
// MP3 file.
class LPlaylistEncodeDlg final : public LSaveOptionsDialog {
 public:
  static constexpr char kRssTitle[] = "RSS Podcast File Settings";
  static constexpr char kPlaylistTitle[] = "Playlist File Settings";
  static constexpr char kUrlMessage[] =
      "Die Basis-URL muss leer sein oder mit http://, https:// oder ftp:// beginnen, gefolgt von einem "
      "Servernamen, und darf keine Leerzeichen enthalten.";

  // `podcast`: the ".rss" title, else the playlist one.
  LPlaylistEncodeDlg(bool podcast, std::string rootUrl, const LMp3EncoderSettings& mp3, int channels);
  std::string Title() const override { return podcast_ ? kRssTitle : kPlaylistTitle; }
  std::string Validate() override;
  void Store(LSettingsStore& settings) const override;

  std::string rootUrl;
  LMp3EncodeDlg mp3;

 private:
  bool podcast_;
};

}  // namespace klangor
