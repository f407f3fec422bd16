#pragma once
// The envelope ("Dynamik") and its two special cases fade in and fade out.
//
// An envelope is 2 to 64 points of (position 0..255 in 255ths of the selection, level 0..255
// with the Q24 gain level x 131072, so 128 is unity). Over a selection of T frames the gain
// starts at the level of point 0 (its position is not used) and ramps towards each following
// point, whose frame is (T mod 255) x position div 255 + (T div 255) x position. The ramp
// runs in pieces of at most 8192 frames that end at a point's frame; each piece's step is
// (target gain - gain) div (target frame - frames done), every channel of a frame is
// multiplied by the gain (the Q24 product of effects/fixed_point.h) and the gain then grows
// by the step. Points whose frame has been reached are passed over; after the last one the
// ramp aims at its level at frame T.
//
// The envelope file "envelope.dat" in the data folder holds the count byte and count x
// (position, level) bytes. Loading: a missing file gives count 0; a count above 63 becomes
// 64; a file cut short keeps the points it holds; a position below its predecessor is raised
// to it; count 0 becomes the flat envelope (0, 128), (255, 128), which is written back.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/segment_list.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kEnvelopeTitle[] = "Envelope";
inline constexpr char kEnvelopeFileName[] = "envelope.dat";
inline constexpr int kMaxEnvelopePoints = 64;
inline constexpr int32_t kEnvelopeLevelGain = 131072;  // Q24 gain of one level step

struct LEnvelopePoint {
  uint8_t position = 0;
  uint8_t level = 0;
  bool operator==(const LEnvelopePoint&) const = default;
};

using LEnvelope = std::vector<LEnvelopePoint>;

LEnvelope FadeInEnvelope();   // (0, 0), (255, 128)
LEnvelope FadeOutEnvelope();  // (0, 128), (255, 0)
LEnvelope FlatEnvelope();     // (0, 128), (255, 128)

// The envelope of a count byte followed by points, with the loading rules (count 0 gives the
// flat envelope). `bytes` may be empty.
LEnvelope EnvelopeFromBytes(const std::string& bytes);
// The count byte and the points (at most 64).
std::string EnvelopeBytes(const LEnvelope& envelope);

// "envelope.dat" in the data folder.
std::string EnvelopeFilePath();
// Loads an envelope file with the loading rules; a file that gives count 0 is replaced by the
// flat envelope.
LEnvelope LoadEnvelopeFile(const std::string& path);
bool SaveEnvelopeFile(const std::string& path, const LEnvelope& envelope);

// The frame of a point's position in a selection of `total` frames.
int32_t EnvelopeFrame(int32_t total, uint8_t position);

// The envelope over `total` frames of the input from its position on (frames after them keep
// the last gain). Output does not depend on how the caller slices its reads; Seek(f) places
// the envelope's frame f - start where `start` is the input position at construction.
class LEnvelopeStream final : public LSoundFilter {
 public:
  LEnvelopeStream(LRef<LSoundStream> input, const LEnvelope& envelope, int32_t total);
  void Read(int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t frame) override;

 private:
  void Restart();
  void BeginPiece();
  void Skip(int64_t frames);

  LEnvelope points_;
  int32_t start_;
  int32_t total_;
  int64_t done_ = 0;
  int32_t gain_ = 0;
  int32_t step_ = 0;
  int32_t targetGain_ = 0;
  int64_t targetFrame_ = 0;
  size_t next_ = 1;          // the next point to aim at
  int64_t pieceEnd_ = 0;
};

// Applies the envelope to the document's selection. A selection whose end lies before its
// start, or an empty one, is done at once; fewer than two points fail (2) without change.
LResult RunEnvelope(LSoundDocument& document, const LEnvelope& envelope, LProgress& progress);

// Fade out, then (when it completed) everything after the selection is deleted.
LResult RunFadeOutAndTrim(LSoundDocument& document, LProgress& progress);

// The dialog "Dynamik": the envelope's points, edited graphically. Points keep their order (a
// point cannot be moved past its neighbours); there are at most 64, and removing stops at two.
class LEnvelopeDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Dynamik";

  LEnvelopeDialog(LEnvelope envelope, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }
  const LEnvelope& Envelope() const { return envelope_; }
  // Adds a point in position order (after points at the same position); false when 64
  // points are there already.
  bool AddPoint(uint8_t position, uint8_t level);
  // Moves point `index`, its position kept between its neighbours'.
  void MovePoint(size_t index, uint8_t position, uint8_t level);
  // Removes point `index`; false when only two are left.
  bool RemovePoint(size_t index);
  LRef<LSoundStream> PreviewStream() const override;

 private:
  LEnvelope envelope_;
};

// The menu commands "Einblenden" and "Ausblenden" (the fade envelopes, no after-effect step),
// "Ausblenden und trimmen" and "Dynamik..." (the envelope dialog over "envelope.dat").
void FadeInCommand(LCommandContext& context);
void FadeOutCommand(LCommandContext& context);
void FadeOutAndTrimCommand(LCommandContext& context);
void EnvelopeCommand(LCommandContext& context);

}  // namespace klangor
