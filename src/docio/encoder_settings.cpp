#include "docio/encoder_settings.h"

#include "settings/settings_keys.h"

namespace klangor {

const std::array<const char*, kAmrModeCount>& AmrModeTexts() {
  static const std::array<const char*, kAmrModeCount> texts = {"4.75", "5.15", "5.9",  "6.7",
                                                              "7.4",  "7.95", "10.2", "12.2"};
  return texts;
}

const std::array<const char*, kAmrModeCount>& AmrModeArguments() {
  static const std::array<const char*, kAmrModeCount> modes = {"MR475", "MR515", "MR59",  "MR67",
                                                              "MR74",  "MR795", "MR102", "MR122"};
  return modes;
}

LMp3EncoderSettings LoadMp3Settings(const LSettingsStore& store) {
  LMp3EncoderSettings s;
  s.constantBitRate = store.Read(kMp3ConstantBitRate);
  s.cbrBitRate = store.Read(kMp3CbrBitRate);
  s.highQuality = store.Read(kMp3HighQuality);
  s.vbrMinBitRate = store.Read(kMp3VbrMinBitRate);
  s.vbrMaxBitRate = store.Read(kMp3VbrMaxBitRate);
  s.vbrQuality = store.Read(kMp3VbrQuality);
  s.errorProtection = store.Read(kMp3ErrorProtection);
  const int32_t mode = store.Read(kMp3ChannelMode);
  s.channelMode = mode >= 0 && mode <= 3 ? static_cast<LMp3ChannelMode>(mode) : LMp3ChannelMode::kJoint;
  // A maximum above 160 kbit/s needs a minimum of at least 32.
  if (s.vbrMaxBitRate > 160 && s.vbrMinBitRate < 32) s.vbrMinBitRate = 32;
  return s;
}

void SaveMp3Settings(LSettingsStore& store, const LMp3EncoderSettings& s) {
  store.Write(kMp3ConstantBitRate, s.constantBitRate);
  store.Write(kMp3CbrBitRate, s.cbrBitRate);
  store.Write(kMp3HighQuality, s.highQuality);
  store.Write(kMp3VbrMinBitRate, s.vbrMinBitRate);
  store.Write(kMp3VbrMaxBitRate, s.vbrMaxBitRate);
  store.Write(kMp3VbrQuality, s.vbrQuality);
  store.Write(kMp3ErrorProtection, s.errorProtection);
  store.Write(kMp3ChannelMode, static_cast<int32_t>(s.channelMode));
}

LOggEncoderSettings LoadOggSettings(const LSettingsStore& store) {
  LOggEncoderSettings s;
  s.qualityMode = store.Read(kOggQualityMode);
  s.vbrQuality = store.Read(kOggVbrQuality);
  s.vbrMinBitRate = store.Read(kOggVbrMinBitRate);
  s.vbrMaxBitRate = store.Read(kOggVbrMaxBitRate);
  s.channels = store.Read(kOggChannels);
  s.stripComments = store.Read(kOggStripComments);
  return s;
}

void SaveOggSettings(LSettingsStore& store, const LOggEncoderSettings& s) {
  store.Write(kOggQualityMode, s.qualityMode);
  store.Write(kOggVbrQuality, s.vbrQuality);
  store.Write(kOggVbrMinBitRate, s.vbrMinBitRate);
  store.Write(kOggVbrMaxBitRate, s.vbrMaxBitRate);
  store.Write(kOggChannels, s.channels);
  store.Write(kOggStripComments, s.stripComments);
}

LFlacEncoderSettings LoadFlacSettings(const LSettingsStore& store) {
  return {store.Read(kFlacCompression), store.Read(kFlacChannels), store.Read(kFlacSampleRate)};
}

void SaveFlacSettings(LSettingsStore& store, const LFlacEncoderSettings& s) {
  store.Write(kFlacCompression, s.compression);
  store.Write(kFlacChannels, s.channels);
  store.Write(kFlacSampleRate, s.sampleRate);
}

LAacEncoderSettings LoadAacSettings(const LSettingsStore& store) {
  return {store.Read(kAacAverageBitRate), store.Read(kAacAbrBitRate), store.Read(kAacVbrQuality),
          store.Read(kAacForceMpeg2), store.Read(kAacDisableTns)};
}

void SaveAacSettings(LSettingsStore& store, const LAacEncoderSettings& s) {
  store.Write(kAacAverageBitRate, s.averageBitRate);
  store.Write(kAacAbrBitRate, s.abrBitRate);
  store.Write(kAacVbrQuality, s.vbrQuality);
  store.Write(kAacForceMpeg2, s.forceMpeg2);
  store.Write(kAacDisableTns, s.disableTns);
}

int LoadAmrMode(const LSettingsStore& store) { return store.Read(kAmrModeRateSelection); }
void SaveAmrMode(LSettingsStore& store, int mode) { store.Write(kAmrModeRateSelection, mode); }
std::string LoadRootUrl(const LSettingsStore& store) { return store.Read(kRssRootUrl); }
void SaveRootUrl(LSettingsStore& store, const std::string& url) { store.Write(kRssRootUrl, url); }

}  // namespace klangor
