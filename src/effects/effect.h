#pragma once
// Effect processors and effect tasks.
//
// A processor is a small parameter record whose MakeStream builds the effect's output stream
// over an input. A processor whose parameters make it neutral returns its input itself (one
// more reference) instead of a filter. A dialog's preview builds the same processor from its
// controls, so what the user hears is what the effect does.
//
// A task names a stream effect (the name is the progress window's title) and holds the
// processor that the effect run uses.

#include <memory>
#include <string>

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"

namespace klangor {

class LEffectProcessor {
 public:
  virtual ~LEffectProcessor() = default;
  virtual LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const = 0;
};

struct LEffectTask {
  std::string name;
  std::shared_ptr<const LEffectProcessor> processor;
};

}  // namespace klangor
