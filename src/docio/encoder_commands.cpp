#include "docio/encoder_commands.h"

#include <algorithm>
#include <cstdio>

#include "docio/decoder_program.h"

namespace klangor {
namespace {

std::string Number(int64_t value) { return std::to_string(value); }

// A bit rate (kbit/s) no higher than `channels` x `rate` x 0.0045, truncated.
int32_t LimitedBitRate(int32_t bitRate, int channels, int32_t rate) {
  const auto limit = static_cast<int32_t>(static_cast<double>(channels) * rate * 0.0045);
  return std::min(bitRate, limit);
}

int BitRateTop(const LMp3EncoderSettings& s) { return s.constantBitRate ? s.cbrBitRate : s.vbrMaxBitRate; }
int BitRateBottom(const LMp3EncoderSettings& s) { return s.constantBitRate ? s.cbrBitRate : s.vbrMinBitRate; }

// "NAME=VALUE" comments for the encoders that take them as options: control characters
// become blanks, values keep at most 259 characters, empty ones are left out.
void AddTagOptions(std::vector<std::string>& args, const char* option, const LTagList& tags) {
  for (const LTag& tag : tags.Tags()) {
    const std::string value = CleanTagValue(tag.value);
    std::string name = tag.name;
    name.erase(std::remove_if(name.begin(), name.end(),
                              [](char c) { return c == '=' || static_cast<unsigned char>(c) < 0x20; }),
               name.end());
    if (value.empty() || name.empty()) continue;
    args.push_back(option);
    args.push_back(name + "=" + value);
  }
}

}  // namespace

int32_t Mp3EncoderRate(const LMp3EncoderSettings& settings, int32_t sampleRate) {
  int32_t r = std::min(sampleRate, 48000);
  if (BitRateTop(settings) > 160 && sampleRate < 32000) {
    r = 44100;
  } else if (BitRateBottom(settings) < 32 && r > 22050) {
    r = 22050;
  }
  if (r > 44100 && r < 48000) return 44100;
  if (r > 32000 && r < 44100) return 44100;
  if (r > 24000 && r < 32000) return 32000;
  if (r > 22050 && r < 24000) return 22050;
  if (r > 16000 && r < 22050) return 22050;
  if (r > 11025 && r < 16000) return 11025;
  if (r > 8000 && r < 11025) return 11025;
  if (r < 8000) return 8000;
  return r;
}

LEncoderCommand Mp3EncoderCommand(const std::string& program, const LMp3EncoderSettings& s, int32_t sampleRate,
                                  int channels, const std::string& target) {
  LEncoderCommand command;
  command.sampleRate = Mp3EncoderRate(s, sampleRate);
  const bool low = BitRateTop(s) < 24;
  command.channels = low ? 1 : std::clamp(channels, 1, 2);
  auto& args = command.arguments;
  args.push_back(program);
  int mode = static_cast<int>(s.channelMode);
  if (low || command.channels == 1) {
    mode = 3;
  } else if (mode == 3) {
    args.push_back("-a");  // lame mixes the stereo input down
  }
  args.push_back("-m");
  args.push_back(std::string(1, "sjfm"[mode]));
  if (s.errorProtection) args.push_back("-p");
  if (!s.constantBitRate) {
    for (const char* option : {"-v", "-b"}) args.push_back(option);
    args.push_back(Number(s.vbrMinBitRate));
    args.push_back("-B");
    args.push_back(Number(s.vbrMaxBitRate));
    args.push_back("-V");
    args.push_back(Number(s.vbrQuality));
  } else {
    args.push_back("-b");
    args.push_back(Number(s.cbrBitRate));
    if (s.highQuality) args.push_back("-h");
  }
  // lame reads raw input in the machine's byte order: the samples are little-endian already,
  // so it is told so instead of being asked to swap them.
  char rate[32];
  std::snprintf(rate, sizeof rate, "%d.%.3d", command.sampleRate / 1000, command.sampleRate % 1000);
  for (const char* option : {"-r", "--little-endian", "-s"}) args.push_back(option);
  args.push_back(rate);
  args.push_back("-S");
  args.push_back("-");
  args.push_back(SafeName(target));
  return command;
}

LEncoderCommand OggEncoderCommand(const std::string& program, const LOggEncoderSettings& s, int32_t sampleRate,
                                  int channels, const LTagList& tags, const std::string& target) {
  LEncoderCommand command{{program, "-r", "-C", Number(channels), "-R", Number(sampleRate)}, sampleRate, channels};
  auto& args = command.arguments;
  if (channels == 2 && s.channels == 1) args.push_back("--downmix");
  if (s.qualityMode) {
    args.push_back("-q");
    args.push_back(Number(s.vbrQuality));
  } else {
    const int32_t maximum = LimitedBitRate(s.vbrMaxBitRate, std::min<int>(s.channels, channels), sampleRate);
    args.push_back("-m");
    args.push_back(Number(std::min(s.vbrMinBitRate, maximum)));
    args.push_back("-M");
    args.push_back(Number(maximum));
  }
  if (s.stripComments) {
    args.push_back("--discard-comments");
  } else {
    AddTagOptions(args, "-c", tags);
  }
  for (const char* option : {"-Q", "-", "-o"}) args.push_back(option);
  args.push_back(SafeName(target));
  return command;
}

LEncoderCommand FlacEncoderCommand(const std::string& program, const LFlacEncoderSettings& s, const LTagList& tags,
                                   const std::string& target) {
  LEncoderCommand command{{program, "--force-raw-format", "--channels=" + Number(s.channels),
                           "--sample-rate=" + Number(s.sampleRate), "--compression-level-" + Number(s.compression)},
                          s.sampleRate, s.channels};
  auto& args = command.arguments;
  AddTagOptions(args, "-T", tags);
  for (const char* option : {"--endian=little", "--bps=16", "--sign=signed", "-f", "-", "-o"}) args.push_back(option);
  args.push_back(SafeName(target));
  return command;
}

LEncoderCommand AacEncoderCommand(const std::string& program, const LAacEncoderSettings& s, int32_t sampleRate,
                                  int channels, const std::string& target) {
  LEncoderCommand command{{program, "-C", Number(channels), "-R", Number(sampleRate)}, sampleRate, channels};
  auto& args = command.arguments;
  if (s.averageBitRate) {
    args.push_back("-b");
    args.push_back(Number(LimitedBitRate(s.abrBitRate, channels, sampleRate)));
  } else {
    args.push_back("-q");
    args.push_back(Number(s.vbrQuality));
  }
  if (s.forceMpeg2) {
    args.push_back("--mpeg-vers");
    args.push_back("2");
  }
  if (s.disableTns) args.push_back("--no-tns");
  for (const char* option : {"-X", "-", "-o"}) args.push_back(option);
  args.push_back(SafeName(target));
  return command;
}

LEncoderCommand AmrEncoderCommand(const std::string& program, int mode, const std::string& target) {
  return {{program, AmrModeArguments()[static_cast<size_t>(std::clamp(mode, 0, kAmrModeCount - 1))], "-",
           SafeName(target)},
          8000,
          1};
}

std::vector<std::string> AmrFileArguments(const std::string& program, int mode, const std::string& input,
                                          const std::string& target) {
  return {program, AmrModeArguments()[static_cast<size_t>(std::clamp(mode, 0, kAmrModeCount - 1))], SafeName(input),
          SafeName(target)};
}

}  // namespace klangor
