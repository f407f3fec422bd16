#pragma once
// The player as commands see it: the playback engine implements it; tests use a recording one.

#include <cstdint>

namespace klangor {

class LSoundDocument;

class LPlayer {
 public:
  virtual ~LPlayer() = default;
  virtual bool IsPlaying() const = 0;
  // Stops playback and recording of the active window.
  virtual void Stop() = 0;
  // Plays `document` from `fromFrame`.
  virtual void Play(LSoundDocument& document, int32_t fromFrame) = 0;
};

}  // namespace klangor
