#pragma once
// The table of file formats that Klangor reads and writes itself, by extension. Every
// format registers one row here; opening and saving look files up in it.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"

namespace klangor {

struct LFormatEntry {
  const char* extension;  // lower case, without the dot
  // Opens a file of this format; never null (a failure is a stream with a non-zero state).
  LRef<LSoundStream> (*open)(const std::string& path);
  // Creates a sink that writes this format at the given rate and channel count; null when
  // the format cannot be written.
  LRef<LSoundSink> (*create)(const std::string& path, int32_t sampleRate, int channels);
};

const std::vector<LFormatEntry>& FormatTable();

// The row for `extension` (any case, with or without the dot), or null.
const LFormatEntry* FindFormat(const std::string& extension);

// Opens `path` with the row of its extension; `message` receives what to tell the user when
// the stream is not usable (empty otherwise). Never null.
LRef<LSoundStream> OpenByExtension(const std::string& path, std::string* message);

// The extension of a path in lower case, without the dot ("" when there is none).
std::string LowerExtension(const std::string& path);

}  // namespace klangor
