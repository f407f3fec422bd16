#pragma once
// Media files read through FFmpeg (libavformat, libavcodec, libswresample): the first audio
// stream of any file FFmpeg can read, video files included, decoded at its own rate and
// channel count (full scale 524272).
//
// The length is the stream's duration as the container states it until decoding reaches
// the real end; from then on it is exact. So that a reader that goes by the length never
// stops short, the length stays at least 8192 frames beyond the position until the end is
// known (docio's loading step reads on until the position meets the length and then trims).

#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"

namespace klangor {

// Never null: state kCannotOpen (missing or unreadable), kCorrupt (not a media file FFmpeg
// knows, or one without an audio stream) or kCodecMissing (no decoder for its audio).
LRef<LSoundStream> OpenFfmpegFile(const std::string& path);

// How far an estimated length stays ahead of the position while the end is unknown.
inline constexpr int32_t kLengthLookaheadFrames = 8192;

}  // namespace klangor
