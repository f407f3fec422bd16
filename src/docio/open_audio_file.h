#pragma once
// OpenAudioFile: the one way files are opened, by the extension of their name (the text after
// the last "." of the last path component, in any case). Klangor's own readers (the format
// table) open their formats directly; ".raw", ".snd" and ".vox" ask for their raw format
// while prompting; ".dct" is unwrapped into a temporary WAV file; ".ogg", ".flac", ".aac",
// ".m4a", ".shn", ".act", ".rec", ".rcd" and ".amr" go through their decoder programs
// (docio/decoder_program.h) into a temporary WAV (or, for ".amr", raw) file; ".sri" needs a
// library that does not exist here; everything else, ".wma", ".dss", RealAudio and video
// files included, is read by FFmpeg (the first audio stream).
//
// The prompt flag belongs to the caller: while it is set, OpenAudioFile may show one
// interaction (the raw format dialog or one error message box) and clears it when it does,
// so a caller that opens many files asks at most once per setting. A decoder's own messages
// are shown whatever the flag says.
//
// Temporary files are numbered "Temp<n>.wav" (with "Temp<n>.lck" held while in use) in the
// private temporary folder, and are deleted when the stream that reads them is released.

#include <string>

#include "audio/ref_counted.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "docio/open_context.h"

namespace klangor {

// kDone with a usable stream, kCancelled (the user cancelled the dialog or the conversion) or
// kFailed (the message, if any, has been shown). `stream` is always set: an LErrorStream when
// nothing could be opened.
LResult OpenAudioFile(LRef<LSoundStream>& stream, const std::string& path, bool& prompt, LOpenContext& context);

// The lower-case extensions of the Open dialog's "Audio Files" filter.
const char* const* AudioFileExtensions();

}  // namespace klangor
