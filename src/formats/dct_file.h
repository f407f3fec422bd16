#pragma once
// The dictation container ".dct": a header of recording details (strings, notes, attachments)
// around a complete WAV file. Unwrapping copies that WAV file out; the header is checked on
// the way and its details are skipped.

#include <string>

#include "audio/progress.h"
#include "audio/result.h"
#include "platform/file.h"

namespace klangor {

inline constexpr char kDctLoadError[] = "DCT File load error";
inline constexpr char kDctCorrupt[] = "DCT File is corrupt";
inline constexpr char kDctEncrypted[] = "You cannot load encrypted files with this software.";
inline constexpr char kDctNotesError[] = "Unable to load dct file because of file corruption (notes error).";
inline constexpr char kDctAttachmentError[] =
    "Unable to load dct file because of file corruption (attachment too large).";
inline constexpr char kDctZeroChannels[] =
    "Unable to load dct file because of file corruption (zero channels error). Please ask the dictator to send it "
    "again.";

struct LDctUnwrap {
  LResult result = LResult::kFailed;
  std::string message;  // why it failed (empty when done or cancelled, or when the file cannot be read)
};

// Copies the payload of the container at `path` into `output` (from its current position),
// in pieces of 32768 bytes with the progress and the cancel question between them.
LDctUnwrap UnwrapDctFile(const std::string& path, LFile& output, LProgress& progress);

}  // namespace klangor
