#pragma once
// The hybrid synthesis of one granule channel (ISO/IEC 11172-3 Layer III): alias reduction,
// the IMDCT with the window of the block type, overlap-add with the previous granule and the
// frequency inversion that the polyphase filter bank expects. Out come 18 time slots of 32
// subband samples.

#include "formats/mp3_side_info.h"
#include "formats/mp3_tables.h"

namespace klangor {

// Subband samples laid out by time slot, the order the polyphase synthesis reads them.
using LMp3SubbandSamples = float[kMp3LinesPerSubband][kMp3Subbands];

// `xr` holds 576 spectral values by subband (18 lines each; short blocks already reordered, see
// ReorderMp3ShortBlocks), of which only the first `subbands` subbands may be non-zero.
// `longSubbands` is the number of subbands coded as long blocks in a mixed block. `overlap`
// carries the second half of the previous granule's IMDCT and is updated. `xr` is used as
// working space.
void Mp3HybridSynthesis(float xr[kMp3GranuleLines], const LMp3GranuleInfo& info, int longSubbands,
                        int subbands, LMp3SubbandSamples& overlap, LMp3SubbandSamples& out);

}  // namespace klangor
