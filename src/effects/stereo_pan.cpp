#include "effects/stereo_pan.h"

#include <algorithm>
#include <cmath>

#include "audio/sample_format.h"
#include "dsp/db_table.h"
#include "dsp/effect_math.h"
#include "dsp/fixed_point.h"
#include "effects/effect_command.h"
#include "settings/settings_keys.h"
#include "store/segment_stream.h"

namespace klangor {

// The sliders span the ranges of their stored values.
static_assert(LStereoPanDialog::kMin == kStereoPan.range.min);
static_assert(LStereoPanDialog::kMax == kStereoPan.range.max);
namespace {

int32_t Add(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

}  // namespace

LStereoPanLists StereoPanLists(int32_t value) {
  const double d = std::clamp(value, 0, 100) * 0.01;
  const int32_t left = TruncToInt32(std::sqrt(1.0 - d) * 1.4142 * 16777216.0);
  const int32_t right = TruncToInt32(std::sqrt(d) * 1.4142 * 16777216.0);
  LStereoPanLists lists;
  lists.left = {DbByteOfGain(left), kStereoPanCrossDb};
  lists.right = {kStereoPanCrossDb, DbByteOfGain(right)};
  return lists;
}

LStereoPanStream::LStereoPanStream(LRef<LSoundStream> input, const LStereoPanLists& lists)
    : LSoundFilter(std::move(input)), inputChannels_(Channels()) {
  for (size_t c = 0; c < 2; ++c) {
    left_[c] = GainOfDb(lists.left[c]);
    right_[c] = GainOfDb(lists.right[c]);
  }
  SetFormat(SampleRate(), 2);
  SetFullScale(kDocumentFullScale);
}

void LStereoPanStream::Read(int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  const auto count = static_cast<size_t>(frameCount);
  // Two input channels are read in place; others go through a buffer of their own.
  const int32_t* in = frames;
  if (inputChannels_ != 2) {
    input_.resize(count * inputChannels_);
    Input().Read(input_.data(), frameCount);
    in = input_.data();
  } else {
    Input().Read(frames, frameCount);
  }
  const int32_t ll = left_[0];
  const int32_t lr = inputChannels_ > 1 ? left_[1] : 0;
  const int32_t rl = right_[0];
  const int32_t rr = inputChannels_ > 1 ? right_[1] : 0;
  const size_t stride = static_cast<size_t>(inputChannels_);
  if (inputChannels_ == 2 && lr == 0 && rl == 0) {
    // Silent cross terms: each output channel is its own input channel with its gain.
    for (size_t i = 0; i < count; ++i) {
      frames[2 * i] = MulQ24(frames[2 * i], ll);
      frames[2 * i + 1] = MulQ24(frames[2 * i + 1], rr);
    }
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const int32_t a = in[i * stride];
    const int32_t b = stride > 1 ? in[i * stride + 1] : 0;
    frames[2 * i] = Add(MulQ24(a, ll), MulQ24(b, lr));
    frames[2 * i + 1] = Add(MulQ24(a, rl), MulQ24(b, rr));
  }
}

LRef<LSoundStream> LStereoPanProcessor::MakeStream(LRef<LSoundStream> input) const {
  return LRef<LSoundStream>(MakeRef<LStereoPanStream>(std::move(input), StereoPanLists(value_)));
}

LEffectTask MakeStereoPanTask(int32_t value) {
  return {kStereoPanName, std::make_shared<LStereoPanProcessor>(value)};
}

LStereoPanDialog::LStereoPanDialog(int32_t value, const LSegmentList& selection)
    : LPreviewDialog(selection), value_(std::clamp(value, kMin, kMax)) {}

void LStereoPanDialog::SetValue(int32_t value) { value_ = std::clamp(value, kMin, kMax); }

LRef<LSoundStream> LStereoPanDialog::PreviewStream() const {
  return LStereoPanProcessor(value_).MakeStream(SelectionStream());
}

void StereoPanCommand(LCommandContext& context) {
  int32_t value = 50;
  LEffectCommand command{.undoName = kStereoPanUndoName, .title = kStereoPanName, .stereoOnly = true};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    LStereoPanDialog dialog(ctx.settings.Read(kStereoPan), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    value = dialog.Value();
    ctx.settings.Write(kStereoPan, value);
    return true;
  };
  RunStreamEffectCommand(context, command, [&] { return MakeStereoPanTask(value); });
}

}  // namespace klangor
