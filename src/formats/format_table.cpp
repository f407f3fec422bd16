#include "formats/format_table.h"

#include <cctype>

#include "formats/wav_file.h"
#include "formats/wave_format.h"
#include "platform/paths.h"

namespace klangor {
namespace {

LRef<LSoundSink> CreateWave16(const std::string& path, int32_t sampleRate, int channels) {
  return CreateWaveFile(path, MakePcm16Format(sampleRate, channels));
}

}  // namespace

const std::vector<LFormatEntry>& FormatTable() {
  static const std::vector<LFormatEntry> table = {
      {"wav", OpenWaveFile, CreateWave16},
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
