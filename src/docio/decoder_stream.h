#pragma once
// The output of a decoder program read while the program still writes it: a PCM WAV file
// whose header already states its size (platform's growing-file reader, formats/wav_file.h).
// Each read first waits until the file holds the frames asked for or the program has ended,
// asking the progress object whether the user cancelled meanwhile. The stream owns the
// program and the temporary file: releasing it stops the program (if it still runs), reaps
// it, and deletes the file.
//
// A program that fails or is cancelled midway leaves the stream in state kCorrupt (the
// frames it did not write read as zeros); its failure message has then been shown as a
// decoder message.

#include <cstdint>
#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"
#include "docio/decoder_program.h"
#include "docio/open_context.h"
#include "formats/wav_file.h"
#include "platform/temporary_file.h"

namespace klangor {

struct LRunningDecoder {
  LChildProcess child;
  std::string program;
  std::string input;  // the file being decoded, for messages
  LTemporaryFile output;
  int64_t timeLeftMs = 0;
};

LRef<LSoundStream> MakeDecoderStream(LGrowingWave wave, LRunningDecoder decoder, LOpenContext& context);

}  // namespace klangor
