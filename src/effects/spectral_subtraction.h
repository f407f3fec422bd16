#pragma once
// Spectral subtraction: the noise reduction with a noise profile (effects/noise_profile.h),
// estimated from the selection itself ("Auto Spectral Subtraction verwenden...") or captured
// earlier from another selection ("Grab Noise Sample aus markiertem Bereich", then
// "Spectral Subtraction basiert auf Noise Sample anwenden").
//
// The stream works in hops of H = N / 4 frames over a frame of N frames (three quarters
// history, silence at the start and after a seek, and H new frames). Per hop and channel the
// windowed frame is transformed; every bin k below N / 2 whose magnitude m exceeds the noise
// magnitude n(k) is scaled by n(k) / m (bins at or below the noise are left as they are), the
// result is transformed back and divided by the window: the frame's estimate of the noise.
// The output frames H..3H - 1 of the frame are the input minus the estimate, cross-faded with
// triangular weights between consecutive hops (the weights add up to one). So where a bin is
// louder than the noise its magnitude is reduced by the noise magnitude; where it is not, it
// is removed.
//
// The stream is in time with its input: the first frame it delivers is the input's frame at
// its start (the H frames of lead-in that the overlap produces are not delivered), so the
// output keeps the selection's length and place.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "effects/effect.h"
#include "effects/noise_profile.h"
#include "effects/preview_dialog.h"
#include "frame/command_table.h"
#include "store/sound_document.h"

namespace klangor {

inline constexpr char kAutoSubtractionUndoName[] = "Noise Reduction (Auto Spectral Subtraction)";
inline constexpr char kSampleSubtractionUndoName[] = "Noise Reduction (Spectral Subtraction basiert auf Noise Sample)";
inline constexpr char kGrabNoiseTitle[] = "Get Noise Sample";
inline constexpr int32_t kCaptureThreshold = 90;
inline constexpr char kSampleTooLongMessage[] =
    "Sie können einen Bereich, der länger als 8 Sek. ist nicht samplen. Bitte wählen Sie einen kürtzeren Bereich.";
inline constexpr char kSampleTooLongCaption[] = "Fehler Manuelle Noise Reduction";
inline constexpr char kSampleMismatchMessage[] =
    "Der gewählte Noise Sample ist nicht ist mit den Markierten nicht kompatibel.";
inline constexpr char kSampleMismatchCaption[] = "Fehler";

class LSpectralSubtractionStream final : public LSoundFilter {
 public:
  // The profile must match the input (size and channels); see ProfileFits.
  LSpectralSubtractionStream(LRef<LSoundStream> input, LNoiseProfile profile);
  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  void Seek(int32_t frame) override;

 private:
  void Restart();
  void Hop();

  LNoiseProfile profile_;
  int size_;
  int hop_;
  LSpectralFrame spectral_;
  std::vector<int32_t> input_;       // per channel, N frames (channel-major)
  std::vector<int32_t> accumulator_; // per channel, N / 2 frames
  std::vector<int32_t> output_;      // interleaved, H frames ready to deliver
  std::vector<int32_t> read_;        // interleaved, H frames read
  std::vector<float> frame_, estimate_, re_, im_;
  int32_t outputIndex_ = 0;          // next frame of output_ to deliver
  bool primed_ = false;
};

// Whether a profile fits a sound of this rate and channel count.
bool ProfileFits(const LNoiseProfile& profile, int32_t sampleRate, int channels);

class LSpectralSubtractionProcessor final : public LEffectProcessor {
 public:
  explicit LSpectralSubtractionProcessor(LNoiseProfile profile) : profile_(std::move(profile)) {}
  // The input itself when the profile does not fit it.
  LRef<LSoundStream> MakeStream(LRef<LSoundStream> input) const override;

 private:
  LNoiseProfile profile_;
};

// Automatic spectral subtraction of the document's selection with the threshold (0 to 100;
// values outside are brought into it): the profile is estimated from the selection, then
// subtracted. 2 when the transform would exceed 8192 points.
LResult RunAutoSpectralSubtraction(LSoundDocument& document, int32_t threshold, LProgress& progress);
// The selection's profile with threshold 90 becomes the captured noise sample.
LResult CaptureNoiseSample(LSoundDocument& document, LProgress& progress);
// Subtracts the captured noise sample; 2 (and no change) when there is none or it does not fit.
LResult RunNoiseSampleSubtraction(LSoundDocument& document, LProgress& progress);

// The dialog "Auto Spectral Subtraction": the threshold (edit 101) and the presets "Für
// Sprache anwenden" (20) and "Für Musik anwenden" (10).
class LSpectralSubtractionDialog final : public LPreviewDialog {
 public:
  static constexpr char kTitle[] = "Auto Spectral Subtraction";
  static constexpr int kThresholdEdit = 101;
  static constexpr int32_t kThresholdMin = 0;
  static constexpr int32_t kThresholdMax = 100;
  static constexpr std::array<const char*, 3> kPresets{"Voreinstellungen Wählen", "Für Sprache anwenden",
                                                       "Für Musik anwenden"};

  LSpectralSubtractionDialog(int32_t threshold, const LSegmentList& selection);
  std::string Title() const override { return kTitle; }
  void ChoosePreset(int index);
  // The profile of the selection copy with the current threshold, subtracted from it.
  LRef<LSoundStream> PreviewStream() const override;

  int32_t threshold;
};

// The menu commands.
void AutoSpectralSubtractionCommand(LCommandContext& context);
void GrabNoiseSampleCommand(LCommandContext& context);
void NoiseSampleSubtractionCommand(LCommandContext& context);

}  // namespace klangor
