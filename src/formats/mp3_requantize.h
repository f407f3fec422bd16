#pragma once
// Requantisation of one granule channel's quantised values into spectral values, and the
// reordering of short blocks into the subband order that the IMDCT reads (ISO/IEC 11172-3
// Layer III).

#include <cstdint>

#include "formats/mp3_bands.h"
#include "formats/mp3_scalefactors.h"
#include "formats/mp3_side_info.h"
#include "formats/mp3_tables.h"

namespace klangor {

// The lines of the long part of a mixed block: 8 long bands (MPEG-1) or 6 (MPEG-2 and 2.5).
int Mp3MixedLongLines(const LMp3Bands& bands, bool mpeg1);

// xr = sign(v) |v|^(4/3) 2^((global_gain - 210 - 8 subblock_gain) / 4)
//      2^-(scalefac_multiplier (scalefac + preflag pretab)),
// band by band, where xr comes in as sign(v) |v|^(4/3) (as DecodeMp3Spectrum gives it) and
// is scaled in place. Short blocks stay in the stream's order (band, window, line). Only the
// first `lines` values may be non-zero; the rest are left as they are (zero).
void RequantizeMp3(int lines, const LMp3GranuleInfo& info, const LMp3ScaleFactors& factors,
                   const LMp3Bands& bands, bool mpeg1, float xr[kMp3GranuleLines]);

// Moves the short-block lines from (band, window, line) order to subband order: line l of
// window w goes to subband l / 6, place w * 6 + l % 6. The long part of a mixed block stays.
void ReorderMp3ShortBlocks(const LMp3Bands& bands, bool mixed, bool mpeg1, float xr[kMp3GranuleLines]);

}  // namespace klangor
