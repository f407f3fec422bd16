#pragma once
// The two building blocks of the automatic volume control's gain stream.
//
// LLevelTracker follows the window levels of the last second (a ring of 50 windows). It
// keeps Q, the 13th highest level in the ring, and a smoothed level M that moves towards Q:
// up by (Q - M) / 12 when the oldest entry and Q are above the rounded M and M is below the
// upper bound, down by (Q - M) / 50 when both are below it and M is above the lower bound.
// It is built with two parameters p and q that are stored negated: (2, -8) gives a lower
// bound of -2 and an upper bound of 8. It starts with 50 entries of level 0, Q = 0,
// M = -2.0 and a rounded level of 0. Once the levels run out, Advance() only turns the ring
// and applies the same two moves.
//
// The volume curve maps a level (relative to the tracked level) to a gain in dB bytes: below
// the low knee a the gain is a x f; from a to the high knee b it changes by f per level;
// above b it continues from the value at b and falls by 1 per level. Values are rounded to
// the nearest integer (halves away from zero).

#include <array>
#include <cstddef>
#include <cstdint>

namespace klangor {

class LLevelTracker {
 public:
  static constexpr int kRingSize = 50;
  static constexpr int kQuantileCount = 12;  // Q keeps more than this many entries at or above it

  LLevelTracker(int p, int q);

  // Replaces the oldest level with `level` (clamped to -127..127) and updates Q and M.
  void Add(int level);
  // Turns the ring without a new level and updates M.
  void Advance();

  // The smoothed level rounded to an integer.
  int Smoothed() const { return rounded_; }
  // The entry at the ring position: the oldest level.
  int Oldest() const { return ring_[static_cast<size_t>(position_)]; }
  int Quantile() const { return quantile_; }

 private:
  int Count(int level) const { return histogram_[static_cast<size_t>(level + 128)]; }
  void Smooth();

  int lower_;
  int upper_;
  std::array<int8_t, kRingSize> ring_{};
  std::array<int32_t, 256> histogram_{};  // counts per level + 128
  int position_ = 0;
  int quantile_ = 0;
  int atOrAbove_ = kRingSize;  // ring entries at or above the quantile
  double smoothed_ = -2.0;
  int rounded_ = 0;
};

using LVolumeCurve = std::array<int8_t, 256>;  // gain in dB per level + 128

LVolumeCurve BuildVolumeCurve(int lowKnee, int highKnee, double slope);

inline int VolumeCurveGain(const LVolumeCurve& curve, int level) {
  const int index = level < -128 ? 0 : (level > 127 ? 255 : level + 128);
  return curve[static_cast<size_t>(index)];
}

}  // namespace klangor
