#pragma once
// The table of file formats that Klangor reads and writes itself, by extension. Every
// format registers one row here; opening and saving look files up in it.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_sink.h"
#include "audio/sound_stream.h"
#include "formats/raw_format.h"

namespace klangor {

// What the formats without a header of their own read and write with. The caller fills it
// (from the stored records in the program; tests fill it directly).
struct LFormatSettings {
  LRawFormat vox{8000, 1, static_cast<uint32_t>(LRawCodec::kDialogicAdpcm)};
  LRawFormat raw{};
};

struct LFormatEntry {
  const char* extension;  // lower case, without the dot
  // Opens a file of this format; never null (a failure is a stream with a non-zero state).
  LRef<LSoundStream> (*open)(const std::string& path, const LFormatSettings& settings);
  // Creates a sink that writes this format at the given rate and channel count; null when
  // the format cannot be written. Headerless formats write the rate and channels of their record.
  LRef<LSoundSink> (*create)(const std::string& path, int32_t sampleRate, int channels,
                             const LFormatSettings& settings);
};

const std::vector<LFormatEntry>& FormatTable();

// The row for `extension` (any case, with or without the dot), or null.
const LFormatEntry* FindFormat(const std::string& extension);

// Opens `path` with the row of its extension; `message` receives what to tell the user when
// the stream is not usable (empty otherwise). Never null.
LRef<LSoundStream> OpenByExtension(const std::string& path, const LFormatSettings& settings,
                                   std::string* message);

// The extension of a path in lower case, without the dot ("" when there is none).
std::string LowerExtension(const std::string& path);

}  // namespace klangor
