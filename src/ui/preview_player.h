#pragma once
// What the dialogs' "Vorschau" button plays through. The main window supplies it; without a
// player (none built in) the button says so in its tooltip.

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"

namespace klangor {

class LPreviewPlayer {
 public:
  virtual ~LPreviewPlayer() = default;
  virtual bool Available() const = 0;
  virtual void Play(LRef<LSoundStream> stream) = 0;
  virtual void Stop() = 0;
  virtual bool Playing() const = 0;
};

}  // namespace klangor
