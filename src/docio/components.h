#pragma once
// Components: the decoder and encoder programs that Klangor runs. Each has a name
// ("oggdec", "flacdec", "aacenc", ...) and is found, in this order, through the "Path" value
// of the settings section "Components/NAME" (the user's file, then the machine file), next to
// the running program (where the build and the installation put the shipped shims), and on
// PATH under its program name.

#include <string>

#include "settings/settings_store.h"

namespace klangor {

struct LComponentInfo {
  std::string name;     // the component's name, e.g. "flacdec"
  std::string program;  // the program looked for next to Klangor and on PATH, e.g. "flac"
  std::string package;  // the Debian package that provides it (named when it is missing)
};

// The known components (decoders and encoders) by name; null for an unknown name.
const LComponentInfo* FindComponentInfo(const std::string& name);

// The full path of the component's program, or empty when it is nowhere to be found. A
// "Path" that is set but names no executable file counts as missing; one without a "/" is
// looked up on PATH.
std::string FindComponent(const LSettingsStore& settings, const LComponentInfo& component);

// "Klangor kann die benötigte Install-On-Demand Komponente nicht installieren "NAME". ..."
// with the address of the Debian package that provides it.
std::string MissingComponentMessage(const LComponentInfo& component);

}  // namespace klangor
