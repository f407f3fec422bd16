#include "formats/mp3_stereo.h"

#include <algorithm>
#include <cmath>

#include "formats/mp3_requantize.h"

namespace klangor {
namespace {

// A run of lines that shares one scale factor: a long band, or one window of a short band.
struct LSegment {
  int start;
  int end;
  int band;
  int window;  // -1 for a long band
};

bool AnyNonZero(const float* values, int start, int end) {
  for (int i = start; i < end; ++i) {
    if (values[i] != 0.0f) return true;
  }
  return false;
}

// The left and right factors of an intensity position, or false when the position is the
// illegal one.
bool IntensityFactors(const LMp3StereoMode& mode, int position, int limit, int scale, float* kl, float* kr) {
  const LMp3Tables& t = Mp3Tables();
  if (mode.mpeg1) {
    if (position >= 7) return false;
    *kl = t.intensityLeft[position];
    *kr = t.intensityRight[position];
    return true;
  }
  if (position >= limit) return false;
  // io = 2^(-1/4) or, with the intensity scale bit, 2^(-1/2); io^k falls on the gain tables.
  auto power = [&](int k) { return scale != 0 ? t.halfPowers[k] : t.globalGain[210 - k]; };
  *kl = 1.0f;
  *kr = 1.0f;
  if (position % 2 == 1) {
    *kl = power((position + 1) / 2);
  } else if (position > 0) {
    *kr = power(position / 2);
  }
  return true;
}

}  // namespace

void ProcessMp3Stereo(const LMp3StereoMode& mode, const LMp3GranuleInfo& rightInfo,
                      const LMp3ScaleFactors& rightFactors, const LMp3Bands& bands, int lines,
                      float left[kMp3GranuleLines], float right[kMp3GranuleLines]) {
  if (!mode.midSide && !mode.intensity) return;

  LSegment segments[kMp3LongBands + 3 * kMp3ShortBands];
  int count = 0;
  if (rightInfo.ShortBlocks()) {
    int line = 0;
    if (rightInfo.mixed) {
      const int longEnd = Mp3MixedLongLines(bands, mode.mpeg1);
      for (int band = 0; bands.longStart[band] < longEnd; ++band) {
        segments[count++] = {bands.longStart[band], bands.longStart[band + 1], band, -1};
      }
      line = longEnd;
    }
    for (int band = rightInfo.mixed ? 3 : 0; band < kMp3ShortBands; ++band) {
      const int width = bands.shortStart[band + 1] - bands.shortStart[band];
      for (int w = 0; w < 3; ++w, line += width) segments[count++] = {line, line + width, band, w};
    }
  } else {
    for (int band = 0; band < kMp3LongBands; ++band) {
      segments[count++] = {bands.longStart[band], bands.longStart[band + 1], band, -1};
    }
  }

  // Where the right channel has its last non-zero values.
  int lastLong = -1;
  int lastShort[3] = {-1, -1, -1};
  bool anyShort = false;
  for (int i = 0; i < count && mode.intensity; ++i) {
    const LSegment& s = segments[i];
    if (!AnyNonZero(right, s.start, s.end)) continue;
    if (s.window < 0) {
      lastLong = std::max(lastLong, s.band);
    } else {
      lastShort[s.window] = std::max(lastShort[s.window], s.band);
      anyShort = true;
    }
  }

  const float invSqrt2 = static_cast<float>(1.0 / std::sqrt(2.0));
  const int scale = rightInfo.scalefacCompress & 1;
  for (int i = 0; i < count; ++i) {
    const LSegment& s = segments[i];
    if (s.start >= lines) break;  // zeros in both channels from here on
    float kl = 1.0f;
    float kr = 1.0f;
    bool useIntensity = false;
    if (mode.intensity) {
      if (s.window < 0) {
        if (s.band > lastLong && !anyShort) {
          // The last band has no scale factor of its own and takes the one below.
          const int b = std::min(s.band, kMp3LongBands - 2);
          useIntensity = IntensityFactors(mode, rightFactors.longBands[b], rightFactors.longLimit[b], scale, &kl, &kr);
        }
      } else if (s.band > lastShort[s.window]) {
        const int b = std::min(s.band, kMp3ShortBands - 2);
        useIntensity = IntensityFactors(mode, rightFactors.shortBands[b][s.window], rightFactors.shortLimit[b],
                                        scale, &kl, &kr);
      }
    }
    if (useIntensity) {
      for (int j = s.start; j < s.end; ++j) {
        const float value = left[j];
        left[j] = value * kl;
        right[j] = value * kr;
      }
    } else if (mode.midSide) {
      for (int j = s.start; j < s.end; ++j) {
        const float middle = left[j];
        const float side = right[j];
        left[j] = (middle + side) * invSqrt2;
        right[j] = (middle - side) * invSqrt2;
      }
    }
  }
}

}  // namespace klangor
