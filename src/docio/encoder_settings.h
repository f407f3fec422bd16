#pragma once
// The stored settings of the encoders that saving runs ("MP3Encoder", "OggEncoder",
// "FlacEncoder", "AACEncoder", "AMREncoder") and of the list files ("RSSEncode"), as records.
// Loading brings every value into its range (settings/settings_keys.h); saving writes them all.

#include <array>
#include <cstdint>
#include <string>

#include "settings/settings_store.h"

namespace klangor {

enum class LMp3ChannelMode : int32_t { kStereo = 0, kJoint = 1, kForced = 2, kMono = 3 };

struct LMp3EncoderSettings {
  bool constantBitRate = true;
  int32_t cbrBitRate = 128;  // kbit/s
  bool highQuality = true;
  int32_t vbrMinBitRate = 32;
  int32_t vbrMaxBitRate = 128;
  int32_t vbrQuality = 4;  // 0 best .. 9 worst
  bool errorProtection = false;
  LMp3ChannelMode channelMode = LMp3ChannelMode::kJoint;
};

struct LOggEncoderSettings {
  bool qualityMode = true;  // else a bit-rate range
  int32_t vbrQuality = 4;   // 0 lowest .. 10 highest
  int32_t vbrMinBitRate = 96;
  int32_t vbrMaxBitRate = 128;
  int32_t channels = 1;     // 1 mono (a stereo sound is mixed down), 2 stereo
  bool stripComments = false;
};

struct LFlacEncoderSettings {
  int32_t compression = 4;  // 0 fastest .. 8 best
  int32_t channels = 1;
  int32_t sampleRate = 44100;
};

struct LAacEncoderSettings {
  bool averageBitRate = false;  // else quality
  int32_t abrBitRate = 128;
  int32_t vbrQuality = 100;
  bool forceMpeg2 = false;
  bool disableTns = false;
};

// The eight AMR narrowband modes: the dialog's texts and the encoder's mode arguments.
inline constexpr int kAmrModeCount = 8;
const std::array<const char*, kAmrModeCount>& AmrModeTexts();     // "4.75" .. "12.2"
const std::array<const char*, kAmrModeCount>& AmrModeArguments(); // "MR475" .. "MR122"

LMp3EncoderSettings LoadMp3Settings(const LSettingsStore& store);
void SaveMp3Settings(LSettingsStore& store, const LMp3EncoderSettings& settings);
LOggEncoderSettings LoadOggSettings(const LSettingsStore& store);
void SaveOggSettings(LSettingsStore& store, const LOggEncoderSettings& settings);
LFlacEncoderSettings LoadFlacSettings(const LSettingsStore& store);
void SaveFlacSettings(LSettingsStore& store, const LFlacEncoderSettings& settings);
LAacEncoderSettings LoadAacSettings(const LSettingsStore& store);
void SaveAacSettings(LSettingsStore& store, const LAacEncoderSettings& settings);
int LoadAmrMode(const LSettingsStore& store);  // 0..7
void SaveAmrMode(LSettingsStore& store, int mode);
std::string LoadRootUrl(const LSettingsStore& store);
void SaveRootUrl(LSettingsStore& store, const std::string& url);

}  // namespace klangor
