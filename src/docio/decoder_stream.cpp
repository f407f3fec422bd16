#include "docio/decoder_stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

namespace klangor {
namespace {

constexpr int64_t kWaitStepMs = 20;
constexpr int64_t kCancelCheckMs = 250;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

class LDecoderStream final : public LSoundStream {
 public:
  LDecoderStream(LGrowingWave wave, LRunningDecoder decoder, LOpenContext& context)
      : LSoundStream(wave.stream->SampleRate(), wave.stream->FullScale(), wave.stream->Channels()),
        wave_(std::move(wave)),
        decoder_(std::move(decoder)),
        context_(context),
        deadline_(NowMs() + decoder_.timeLeftMs) {}

  ~LDecoderStream() override {
    decoder_.child.Stop();
    decoder_.output.Remove();
  }

  void Read(int32_t* frames, int32_t frameCount) override {
    const int64_t end = std::min<int64_t>(int64_t{Position()} + std::max(frameCount, 0), Length());
    if (end > 0) WaitForBytes(wave_.dataStart + end * wave_.frameBytes);
    const int32_t first = Position();
    wave_.stream->Read(frames, frameCount);
    // Past the stated length there is nothing, whatever else the file holds.
    const int64_t keep = std::clamp<int64_t>(int64_t{Length()} - first, 0, std::max(frameCount, 0));
    std::fill(frames + keep * Channels(), frames + int64_t{std::max(frameCount, 0)} * Channels(), 0);
  }
  int32_t Position() const override { return wave_.stream->Position(); }
  int32_t Length() const override { return wave_.lengthFrames; }
  void Seek(int32_t frame) override { wave_.stream->Seek(frame); }

 private:
  int64_t FileBytes() const {
    struct stat info;
    return ::stat(decoder_.output.Path().c_str(), &info) == 0 ? int64_t{info.st_size} : 0;
  }

  void WaitForBytes(int64_t bytes) {
    int64_t nextCheck = NowMs() + kCancelCheckMs;
    while (decoder_.child.Running() && FileBytes() < bytes) {
      if (decoder_.child.Wait(kWaitStepMs)) break;
      const int64_t now = NowMs();
      if (now < nextCheck) continue;
      nextCheck = now + kCancelCheckMs;
      if (context_.progress.Cancelled()) {
        decoder_.child.Stop();
        SetState(LStreamState::kCorrupt);
        return;
      }
      if (now >= deadline_) {
        decoder_.child.Stop();
        Fail(DecoderTimeOutMessage(decoder_.input, decoder_.program));
        return;
      }
    }
    if (!decoder_.child.Running() && !reported_) {
      reported_ = true;
      const LExitStatus status = decoder_.child.Status();
      // A decoder that ends early without saying so has met a damaged input: the rest reads as
      // silence, as in a truncated WAV file.
      if (!status.Success()) Fail(DecoderFailedMessage(decoder_.input, decoder_.program, status, decoder_.child.ErrorText()));
    }
  }

  void Fail(const std::string& message) {
    if (State() != LStreamState::kOk) return;
    SetState(LStreamState::kCorrupt);
    context_.interaction.ShowDecoderMessage(message);
  }

  LGrowingWave wave_;
  LRunningDecoder decoder_;
  LOpenContext& context_;
  int64_t deadline_;
  bool reported_ = false;
};

}  // namespace

LRef<LSoundStream> MakeDecoderStream(LGrowingWave wave, LRunningDecoder decoder, LOpenContext& context) {
  return MakeRef<LDecoderStream>(std::move(wave), std::move(decoder), context);
}

}  // namespace klangor
