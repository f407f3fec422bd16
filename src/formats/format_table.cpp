#include "formats/format_table.h"

#include <cctype>

#include "app/settings_store.h"
#include "audio/error_stream.h"
#include "formats/aiff_file.h"
#include "formats/au_file.h"
#include "formats/gsm_file.h"
#include "formats/mp3_stream.h"
#include "formats/raw_format.h"
#include "audio/error_stream.h"
#include "formats/open_messages.h"
#include "formats/wav_file.h"
#include "formats/wave_format.h"
#include "platform/paths.h"

namespace klangor {
namespace {

LRef<LSoundSink> CreateWave16(const std::string& path, int32_t sampleRate, int channels) {
  return CreateWaveFile(path, MakePcm16Format(sampleRate, channels));
}

// Headerless files read and written as the stored record says: the sink has the record's
// rate and channels, and saving converts the sound to them.
template <LRawRecord kRecord>
LRef<LSoundStream> OpenStoredRaw(const std::string& path) {
  return OpenRawFile(LoadRawFormat(Settings(), kRecord), path);
}

template <LRawRecord kRecord>
LRef<LSoundSink> CreateStoredRaw(const std::string& path, int32_t /*sampleRate*/, int /*channels*/) {
  return CreateRawFile(LoadRawFormat(Settings(), kRecord), path);
}

}  // namespace

const std::vector<LFormatEntry>& FormatTable() {
  static const std::vector<LFormatEntry> table = {
      {"wav", OpenWaveFile, CreateWave16},
      {"aif", OpenAiffFile, CreateAiffFile},
      {"aiff", OpenAiffFile, CreateAiffFile},
      {"au", OpenAuFile, CreateAuFile},
      {"gsm", OpenGsmFile, CreateGsmFile},
      {"mp3", OpenMp3File, nullptr},
      {"vox", OpenStoredRaw<LRawRecord::kVoxAudio>, CreateStoredRaw<LRawRecord::kVoxAudio>},
      {"raw", OpenStoredRaw<LRawRecord::kRawAudio>, CreateStoredRaw<LRawRecord::kRawAudio>},
      {"snd", OpenStoredRaw<LRawRecord::kRawAudio>, nullptr},
  };
  return table;
}

std::string LowerExtension(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

LRef<LSoundStream> OpenByExtension(const std::string& path, std::string* message) {
  const std::string extension = LowerExtension(path);
  const LFormatEntry* format = FindFormat(extension);
  if (format == nullptr) {
    *message = UnsupportedFormatMessage(path);
    return MakeErrorStream(LStreamState::kCorrupt);
  }
  LRef<LSoundStream> stream = format->open(path);
  *message = OpenMessage(extension, stream->State(), path);
  return stream;
}

const LFormatEntry* FindFormat(const std::string& extension) {
  std::string key = extension;
  if (!key.empty() && key[0] == '.') key.erase(0, 1);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const LFormatEntry& entry : FormatTable()) {
    if (key == entry.extension) return &entry;
  }
  return nullptr;
}

}  // namespace klangor
