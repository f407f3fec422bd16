#include "formats/format_table.h"

#include <cctype>

#include "audio/error_stream.h"
#include "formats/aiff_file.h"
#include "formats/au_file.h"
#include "formats/gsm_file.h"
#include "formats/mp3_stream.h"
#include "formats/open_messages.h"
#include "formats/raw_format.h"
#include "formats/wav_file.h"
#include "formats/wave_format.h"
#include "platform/paths.h"

namespace klangor {
namespace {

// Rows for formats that need no settings: the opener and writer of the format itself.
template <LRef<LSoundStream> (*kOpen)(const std::string&)>
LRef<LSoundStream> Open(const std::string& path, const LFormatSettings&) {
  return kOpen(path);
}

template <LRef<LSoundSink> (*kCreate)(const std::string&, int32_t, int)>
LRef<LSoundSink> Create(const std::string& path, int32_t sampleRate, int channels, const LFormatSettings&) {
  return kCreate(path, sampleRate, channels);
}

LRef<LSoundSink> CreateWave16(const std::string& path, int32_t sampleRate, int channels) {
  return CreateWaveFile(path, MakePcm16Format(sampleRate, channels));
}

// Headerless files are read and written as their record says: the sink has the record's rate
// and channels, and saving converts the sound to them.
LRef<LSoundStream> OpenVox(const std::string& path, const LFormatSettings& settings) {
  return OpenRawFile(settings.vox, path);
}
LRef<LSoundSink> CreateVox(const std::string& path, int32_t, int, const LFormatSettings& settings) {
  return CreateRawFile(settings.vox, path);
}
LRef<LSoundStream> OpenRaw(const std::string& path, const LFormatSettings& settings) {
  return OpenRawFile(settings.raw, path);
}
LRef<LSoundSink> CreateRaw(const std::string& path, int32_t, int, const LFormatSettings& settings) {
  return CreateRawFile(settings.raw, path);
}

}  // namespace

const std::vector<LFormatEntry>& FormatTable() {
  static const std::vector<LFormatEntry> table = {
      {"wav", Open<OpenWaveFile>, Create<CreateWave16>},
      {"aif", Open<OpenAiffFile>, Create<CreateAiffFile>},
      {"aiff", Open<OpenAiffFile>, Create<CreateAiffFile>},
      {"au", Open<OpenAuFile>, Create<CreateAuFile>},
      {"gsm", Open<OpenGsmFile>, Create<CreateGsmFile>},
      {"mp3", Open<OpenMp3File>, nullptr},
      {"vox", OpenVox, CreateVox},
      {"raw", OpenRaw, CreateRaw},
      {"snd", OpenRaw, nullptr},
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

LRef<LSoundStream> OpenByExtension(const std::string& path, const LFormatSettings& settings,
                                   std::string* message) {
  const std::string extension = LowerExtension(path);
  const LFormatEntry* format = FindFormat(extension);
  if (format == nullptr) {
    *message = UnsupportedFormatMessage(path);
    return MakeErrorStream(LStreamState::kCorrupt);
  }
  LRef<LSoundStream> stream = format->open(path, settings);
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
