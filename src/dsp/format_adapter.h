#pragma once
// The format adapter: what goes between a source and a sink whose rate or channel count
// differ (saving, the processing pump, playback).
//
// To a target rate and channel count: fewer channels are converted first (so the rate
// converter has less to do), then the rate, then any remaining channel difference. Each
// step returns its input when it has nothing to do or the input is not usable, so an input
// that already fits comes back as it is.

#include <cstdint>

#include "audio/sound_stream.h"

namespace klangor {

// The input at `sampleRate` (not changed when 0 or less) with `channels` (not changed when
// outside 1..255).
LRef<LSoundStream> MakeFormatAdapter(LRef<LSoundStream> input, int32_t sampleRate, int channels);

}  // namespace klangor
