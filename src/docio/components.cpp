#include "docio/components.h"

#include <vector>

#include "platform/paths.h"
#include "platform/process.h"

namespace klangor {

const LComponentInfo* FindComponentInfo(const std::string& name) {
  // The shims ("aacdec", "shndec", "actdec", "amrdec") ship with Klangor and run ffmpeg.
  static const std::vector<LComponentInfo> components = {
      {"oggdec", "oggdec", "vorbis-tools"},  {"flacdec", "flac", "flac"},     {"aacdec", "aacdec", "ffmpeg"},
      {"shndec", "shndec", "ffmpeg"},        {"actdec", "actdec", "ffmpeg"},   {"amrdec", "amrdec", "ffmpeg"},
      {"mp3el", "lame", "lame"},             {"oggenc", "oggenc", "vorbis-tools"}, {"flacenc", "flac", "flac"},
      {"aacenc", "aacenc", "ffmpeg"},        {"amrenc", "amrenc", "libopencore-amrnb0"},
  };
  for (const LComponentInfo& component : components) {
    if (component.name == name) return &component;
  }
  return nullptr;
}

std::string FindComponent(const LSettingsStore& settings, const LComponentInfo& component) {
  const std::string section = "Components/" + component.name;
  const std::string configured = settings.ReadStringMachineFallback(section, "Path", "", kMaxPathLength);
  if (!configured.empty()) return FindProgram(configured);
  const std::string folder = ProgramFolder();
  if (!folder.empty()) {
    std::string beside = FindProgram(JoinPath(folder, component.program));
    if (!beside.empty()) return beside;
  }
  return FindProgram(component.program);
}

std::string MissingComponentMessage(const LComponentInfo& component) {
  // There is no download of components: the address is that of the Debian package.
  return "Klangor kann die benötigte Install-On-Demand Komponente nicht installieren \"" + component.name +
         "\". Bitte downloaden Sie diese von https://packages.debian.org/bookworm/" + component.package +
         " (Debian-Paket \"" + component.package + "\") und installieren dann manuell.";
}

}  // namespace klangor
