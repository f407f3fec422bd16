#pragma once
// The argument vectors of the encoder programs that saving feeds through a pipe ("mp3el" is
// lame, "oggenc", "flacenc" is flac, "aacenc" and "amrenc" are Klangor's shims), and the rate
// and channel count each of them is fed with. The program itself comes first in the vector;
// a target that begins with "-" is given as "./-...".
//
// Every encoder reads raw 16-bit little-endian interleaved samples from its standard input.
// Tags that the format carries in its own comments (Vorbis comments, FLAC tags) go into the
// vector as the encoder's options.

#include <cstdint>
#include <string>
#include <vector>

#include "docio/encoder_settings.h"
#include "store/tag_list.h"

namespace klangor {

struct LEncoderCommand {
  std::vector<std::string> arguments;
  int32_t sampleRate = 0;  // what the encoder is fed
  int channels = 0;
};

// The rate lame gets for a sound of `sampleRate` Hz under `settings` (48000, 44100, 32000,
// 24000, 22050, 16000, 11025 or 8000).
int32_t Mp3EncoderRate(const LMp3EncoderSettings& settings, int32_t sampleRate);

LEncoderCommand Mp3EncoderCommand(const std::string& program, const LMp3EncoderSettings& settings,
                                  int32_t sampleRate, int channels, const std::string& target);
LEncoderCommand OggEncoderCommand(const std::string& program, const LOggEncoderSettings& settings,
                                  int32_t sampleRate, int channels, const LTagList& tags, const std::string& target);
LEncoderCommand FlacEncoderCommand(const std::string& program, const LFlacEncoderSettings& settings,
                                   const LTagList& tags, const std::string& target);
LEncoderCommand AacEncoderCommand(const std::string& program, const LAacEncoderSettings& settings,
                                  int32_t sampleRate, int channels, const std::string& target);
// The AMR encoder fed through the pipe (8000 Hz mono): program MODE - TARGET.
LEncoderCommand AmrEncoderCommand(const std::string& program, int mode, const std::string& target);
// The AMR encoder run on a WAV file of 8000 Hz mono 16-bit samples: program MODE INPUT TARGET.
std::vector<std::string> AmrFileArguments(const std::string& program, int mode, const std::string& input,
                                          const std::string& target);

}  // namespace klangor
