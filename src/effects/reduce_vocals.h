#pragma once
// Reduce vocals ("Stimmen reduzieren"): the difference of the two channels, left minus right
// (saturated at the 32-bit range), as one channel with a full scale of 2097152; what is
// mixed equally into both channels, usually the voice, cancels. Inputs without exactly two
// channels pass through untouched.
//
// The selection is read from a copy of it and moved by the processing pump (which puts the
// limiter at 16-bit full scale behind it). The document then has one channel: the parts
// before and after the selection become one channel too, keeping their left channel as the
// processing pump's channel conversion to mono does, so that nothing outside the selection is
// lost. The
// selection then ends at its start plus the written length.

#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "frame/command_table.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kReduceVocalsName[] = "Stimmen reduzieren";
inline constexpr char kReduceVocalsTitle[] = "Reduce Vocals";

class LReduceVocalsStream final : public LSoundFilter {
 public:
  explicit LReduceVocalsStream(LRef<LSoundStream> input);
  void Read(int32_t* frames, int32_t frameCount) override;

 private:
  std::vector<int32_t> pairs_;
};

class LReduceVocalsProcessor final : public LEffectProcessor {
 public:
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;
};

// The runner over the document's selection; a selection whose end lies before its start is
// done at once. Cancel or failure leave the document as it was.
LResult RunReduceVocals(LSoundDocument& document, LProgress& progress);

// The menu command "Stimmen reduzieren" (stereo only, no dialog).
void ReduceVocalsCommand(LCommandContext& context);

}  // namespace klangor
