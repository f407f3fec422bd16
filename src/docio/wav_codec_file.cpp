#include "docio/wav_codec_file.h"

#include "platform/paths.h"
#include "platform/small_file.h"

namespace klangor {

std::string WavCodecFilePath() { return JoinPath(DataFolderPath(), "WavCodec.wff"); }

std::optional<LWaveFormat> ReadWavCodecFile(const std::string& path) {
  std::string bytes;
  if (ReadSmallFile(path, &bytes, kWavCodecFileBytes) != LReadStatus::kRead || bytes.size() != kWavCodecFileBytes) {
    return std::nullopt;
  }
  std::optional<LWaveFormat> format =
      ParseWaveFormat(reinterpret_cast<const uint8_t*>(bytes.data()), kWavCodecFileBytes);
  // A record without channels or rate describes nothing that can be saved.
  if (!format || format->channels == 0 || format->samplesPerSec == 0) return std::nullopt;
  return format;
}

bool WriteWavCodecFile(const std::string& path, const LWaveFormat& format) {
  LWaveFormat fitted = format;
  if (fitted.extraBytes.size() > kWavCodecFileBytes - kWaveFormatFixedBytes) {
    fitted.extraBytes.resize(kWavCodecFileBytes - kWaveFormatFixedBytes);
  }
  std::vector<uint8_t> record = SerializeWaveFormat(fitted);
  record.resize(kWavCodecFileBytes, 0);
  EnsureFolder(FolderOf(path));
  return ReplaceSmallFile(path, std::string(record.begin(), record.end()));
}

LWaveFormat InitialSaveFormat(const std::string& path, int32_t sampleRate, int channels) {
  std::optional<LWaveFormat> saved = ReadWavCodecFile(path);
  if (!saved) return MakePcm16Format(sampleRate, channels);
  if (IsPcmFormat(*saved) && sampleRate > 0 && channels > 0) {
    const int bits = saved->bitsPerSample >= 1 && saved->bitsPerSample <= 32 ? saved->bitsPerSample : 16;
    return MakePcmFormat(sampleRate, channels, bits);
  }
  return *saved;
}

}  // namespace klangor
