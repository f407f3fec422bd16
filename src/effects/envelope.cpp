#include "effects/envelope.h"

#include <algorithm>
#include <limits>

#include "audio/pump.h"
#include "dsp/fixed_point.h"
#include "effects/effect_command.h"
#include "platform/paths.h"
#include "platform/small_file.h"
#include "store/range_process.h"
#include "store/segment_stream.h"

namespace klangor {
namespace {

int32_t GainOfLevel(uint8_t level) { return level * kEnvelopeLevelGain; }

// The points of the bytes with the loading rules; empty when the count comes out 0.
LEnvelope ParseEnvelope(const std::string& bytes) {
  if (bytes.empty()) return {};
  size_t count = static_cast<uint8_t>(bytes[0]);
  if (count > 63) count = kMaxEnvelopePoints;
  count = std::min(count, (bytes.size() - 1) / 2);
  LEnvelope points(count);
  for (size_t i = 0; i < count; ++i) {
    points[i].position = static_cast<uint8_t>(bytes[1 + 2 * i]);
    points[i].level = static_cast<uint8_t>(bytes[2 + 2 * i]);
    if (i > 0) points[i].position = std::max(points[i].position, points[i - 1].position);
  }
  return points;
}

}  // namespace

LEnvelope FadeInEnvelope() { return {{0, 0}, {255, 128}}; }
LEnvelope FadeOutEnvelope() { return {{0, 128}, {255, 0}}; }
LEnvelope FlatEnvelope() { return {{0, 128}, {255, 128}}; }

LEnvelope EnvelopeFromBytes(const std::string& bytes) {
  LEnvelope points = ParseEnvelope(bytes);
  return points.empty() ? FlatEnvelope() : points;
}

std::string EnvelopeBytes(const LEnvelope& envelope) {
  const size_t count = std::min<size_t>(envelope.size(), kMaxEnvelopePoints);
  std::string bytes(1, static_cast<char>(count));
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<char>(envelope[i].position));
    bytes.push_back(static_cast<char>(envelope[i].level));
  }
  return bytes;
}

std::string EnvelopeFilePath() { return JoinPath(DataFolder(), kEnvelopeFileName); }

LEnvelope LoadEnvelopeFile(const std::string& path) {
  std::string bytes;
  if (ReadSmallFile(path, &bytes) != LReadStatus::kRead) bytes.clear();
  LEnvelope points = ParseEnvelope(bytes);
  if (!points.empty()) return points;
  points = FlatEnvelope();
  SaveEnvelopeFile(path, points);
  return points;
}

bool SaveEnvelopeFile(const std::string& path, const LEnvelope& envelope) {
  return ReplaceSmallFile(path, EnvelopeBytes(envelope));
}

int32_t EnvelopeFrame(int32_t total, uint8_t position) {
  return (total % 255) * position / 255 + (total / 255) * position;
}

LEnvelopeStream::LEnvelopeStream(LRef<LSoundStream> input, const LEnvelope& envelope, int32_t total)
    : LSoundFilter(std::move(input)), points_(envelope), start_(Input().Position()), total_(std::max(total, 1)) {
  // Without two points the level of the only point (or unity) holds throughout.
  if (points_.empty()) points_.push_back({0, 128});
  if (points_.size() < 2) points_.push_back(points_.front());
  Restart();
}

void LEnvelopeStream::Restart() {
  done_ = 0;
  gain_ = GainOfLevel(points_[0].level);
  step_ = 0;
  next_ = 1;
  targetGain_ = GainOfLevel(points_[1].level);
  targetFrame_ = EnvelopeFrame(total_, points_[1].position);
  pieceEnd_ = 0;
}

void LEnvelopeStream::BeginPiece() {
  if (done_ < 0) {  // before the start the first level holds
    step_ = 0;
    pieceEnd_ = 0;
    return;
  }
  while (targetFrame_ <= done_) {
    if (next_ + 1 < points_.size()) {
      ++next_;
      targetGain_ = GainOfLevel(points_[next_].level);
      targetFrame_ = EnvelopeFrame(total_, points_[next_].position);
    } else {
      targetFrame_ = total_;
      break;
    }
  }
  if (done_ >= total_) {  // past the end the last gain holds
    step_ = 0;
    pieceEnd_ = std::numeric_limits<int64_t>::max();
    return;
  }
  const int64_t left = targetFrame_ - done_;
  step_ = static_cast<int32_t>((int64_t{targetGain_} - gain_) / left);
  pieceEnd_ = done_ + std::min<int64_t>(left, kPumpFrames);
}

void LEnvelopeStream::Read(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  while (frameCount > 0) {
    if (done_ >= pieceEnd_) BeginPiece();
    const auto n = static_cast<int32_t>(std::min<int64_t>(frameCount, pieceEnd_ - done_));
    Input().Read(frames, n);
    gain_ = ApplyGainRamp(frames, n, channels, gain_, step_);
    frames += static_cast<size_t>(n) * channels;
    frameCount -= n;
    done_ += n;
  }
}

void LEnvelopeStream::Skip(int64_t frames) {
  const int64_t until = done_ + frames;
  while (done_ < until) {
    if (done_ >= pieceEnd_) BeginPiece();
    const auto n = static_cast<int32_t>(std::min<int64_t>({until - done_, pieceEnd_ - done_, kPumpFrames}));
    gain_ = RampGain(gain_, step_, n);
    done_ += n;
  }
}

void LEnvelopeStream::Seek(int32_t frame) {
  Input().Seek(frame);
  Restart();
  const int64_t offset = int64_t{frame} - start_;
  if (offset < 0) {
    done_ = offset;
  } else {
    Skip(offset);
  }
}

LResult RunEnvelope(LSoundDocument& document, const LEnvelope& envelope, LProgress& progress) {
  const int32_t start = document.selectionStart;
  const int32_t end = document.selectionEnd;
  if (end < start) return LResult::kDone;
  if (envelope.size() < 2) return LResult::kFailed;
  if (end == start) return LResult::kDone;
  progress.SetTitle(kEnvelopeTitle);
  LRef<LSoundStream> reader = OpenSegmentStream(document.sound);
  reader->Seek(start);
  auto stream = MakeRef<LEnvelopeStream>(std::move(reader), envelope, end - start);
  return ReplaceSelectionWith(document, [&](LSoundSink& sink) { return PumpRange(*stream, sink, start, end, progress); });
}

LResult RunFadeOutAndTrim(LSoundDocument& document, LProgress& progress) {
  const LResult result = RunEnvelope(document, FadeOutEnvelope(), progress);
  if (result != LResult::kDone) return result;
  document.sound.DeleteRange(document.selectionEnd, document.Length());
  document.LengthChanged();
  return LResult::kDone;
}

LEnvelopeDialog::LEnvelopeDialog(LEnvelope envelope, const LSegmentList& selection)
    : LPreviewDialog(selection), envelope_(std::move(envelope)) {
  if (envelope_.size() > kMaxEnvelopePoints) envelope_.resize(kMaxEnvelopePoints);
  for (size_t i = 1; i < envelope_.size(); ++i) {
    envelope_[i].position = std::max(envelope_[i].position, envelope_[i - 1].position);
  }
}

bool LEnvelopeDialog::AddPoint(uint8_t position, uint8_t level) {
  if (envelope_.size() >= kMaxEnvelopePoints) return false;
  auto at = std::upper_bound(envelope_.begin(), envelope_.end(), position,
                             [](uint8_t p, const LEnvelopePoint& point) { return p < point.position; });
  envelope_.insert(at, LEnvelopePoint{position, level});
  return true;
}

void LEnvelopeDialog::MovePoint(size_t index, uint8_t position, uint8_t level) {
  if (index >= envelope_.size()) return;
  const uint8_t low = index > 0 ? envelope_[index - 1].position : 0;
  const uint8_t high = index + 1 < envelope_.size() ? envelope_[index + 1].position : 255;
  envelope_[index] = {std::clamp(position, low, high), level};
}

bool LEnvelopeDialog::RemovePoint(size_t index) {
  if (envelope_.size() <= 2 || index >= envelope_.size()) return false;
  envelope_.erase(envelope_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

LRef<LSoundStream> LEnvelopeDialog::PreviewStream() const {
  return LRef<LSoundStream>(MakeRef<LEnvelopeStream>(SelectionStream(), envelope_, Selection().Length()));
}

namespace {

// A fade: the envelope over the selection, with no after-effect step.
LEffectCommand FadeCommand(const char* undoName, const LEnvelope& envelope) {
  LEffectCommand command{.undoName = undoName, .title = kEnvelopeTitle, .after = LAfterEffect::kNothing};
  command.run = [envelope](LSoundDocument& document, LProgress& progress) {
    return RunEnvelope(document, envelope, progress);
  };
  return command;
}

}  // namespace

void FadeInCommand(LCommandContext& context) { RunEffectCommand(context, FadeCommand("Fade In", FadeInEnvelope())); }

void FadeOutCommand(LCommandContext& context) { RunEffectCommand(context, FadeCommand("Fade Out", FadeOutEnvelope())); }

void FadeOutAndTrimCommand(LCommandContext& context) {
  RunEffectCommand(context, {.undoName = "Ausblenden und Trimmen", .title = kEnvelopeTitle, .run = RunFadeOutAndTrim});
}

void EnvelopeCommand(LCommandContext& context) {
  LEnvelope envelope;
  LEffectCommand command{.undoName = "Dynamik", .title = kEnvelopeTitle};
  command.askValues = [&](LCommandContext& ctx, const LSegmentList& selection) {
    const std::string path = EnvelopeFilePath();
    LEnvelopeDialog dialog(LoadEnvelopeFile(path), selection);
    if (!ctx.ui.RunDialog(dialog)) return false;
    envelope = dialog.Envelope();
    SaveEnvelopeFile(path, envelope);
    return true;
  };
  command.run = [&](LSoundDocument& document, LProgress& progress) {
    return RunEnvelope(document, envelope, progress);
  };
  RunEffectCommand(context, command);
}

}  // namespace klangor
