#include "recorder/take_file.h"

#include "formats/wav_file.h"

namespace klangor {

LRef<LSoundStream> OpenTakeSource(const std::string& path) { return OpenWaveFile(path); }

LRef<LSoundSink> CreateTakeFile(const std::string& path, int32_t sampleRate, int channels, int32_t keepFrames) {
  return CreatePcmWaveSink(path, channels, 2, sampleRate, keepFrames);
}

}  // namespace klangor
