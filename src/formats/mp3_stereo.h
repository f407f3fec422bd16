#pragma once
// Joint stereo of one granule (ISO/IEC 11172-3, and ISO/IEC 13818-3 for intensity stereo at
// the lower sample rates): middle/side stereo and intensity stereo on the spectral values of
// both channels, in the stream's order (before short blocks are reordered).

#include "formats/mp3_bands.h"
#include "formats/mp3_scalefactors.h"
#include "formats/mp3_side_info.h"
#include "formats/mp3_tables.h"

namespace klangor {

struct LMp3StereoMode {
  bool midSide = false;
  bool intensity = false;
  bool mpeg1 = true;
};

// The right channel's granule info and scale factors say where intensity stereo applies and
// with which positions: every band above the highest band in which the right channel has a
// non-zero value (per window for short blocks), except bands whose position is the illegal one.
// Other bands get middle/side stereo when it is on. Only the first `lines` values of either
// channel may be non-zero.
void ProcessMp3Stereo(const LMp3StereoMode& mode, const LMp3GranuleInfo& rightInfo,
                      const LMp3ScaleFactors& rightFactors, const LMp3Bands& bands, int lines,
                      float left[kMp3GranuleLines], float right[kMp3GranuleLines]);

}  // namespace klangor
