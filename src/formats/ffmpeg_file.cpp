#include "formats/ffmpeg_file.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <limits>
#include <memory>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "formats/ffmpeg_decoder.h"
#include "formats/ffmpeg_input.h"

namespace klangor {
namespace {

struct LPacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The container's duration of the stream in frames (0 when it states none).
int32_t EstimatedFrames(const AVFormatContext& input, const AVStream& stream, int32_t rate) {
  int64_t frames = 0;
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    frames = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate});
  } else if (input.duration != AV_NOPTS_VALUE && input.duration > 0) {
    frames = av_rescale(input.duration, rate, AV_TIME_BASE);
  }
  return SaturateToInt32(std::max<int64_t>(frames, 0));
}

class LFfmpegFileStream final : public LDecodedStream {
 public:
  LFfmpegFileStream(LFormatContextPtr input, int streamIndex, std::unique_ptr<LFfmpegDecoder> decoder,
                    int32_t estimate)
      : LDecodedStream(std::move(decoder), estimate),
        input_(std::move(input)),
        streamIndex_(streamIndex),
        packet_(av_packet_alloc()) {}

 protected:
  bool FeedDecoder(LFfmpegDecoder& decoder) override {
    if (inputEnded_ || !packet_) return false;
    for (;;) {
      if (av_read_frame(input_.get(), packet_.get()) < 0) {
        decoder.Decode(nullptr);  // what the decoder still holds
        inputEnded_ = true;
        return decoder.Available() > 0;
      }
      const bool ours = packet_->stream_index == streamIndex_;
      if (ours) decoder.Decode(packet_.get());
      av_packet_unref(packet_.get());
      if (ours) return true;
    }
  }

  // Seeking inside compressed audio is not frame-exact: the input goes back to its start.
  int32_t MoveInputNear(int32_t /*frame*/) override {
    const AVStream& stream = *input_->streams[streamIndex_];
    const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    if (av_seek_frame(input_.get(), streamIndex_, start, AVSEEK_FLAG_BACKWARD) < 0) {
      avformat_seek_file(input_.get(), -1, std::numeric_limits<int64_t>::min(), 0, 0, 0);
    }
    inputEnded_ = false;
    return 0;
  }

 private:
  LFormatContextPtr input_;
  int streamIndex_;
  std::unique_ptr<AVPacket, LPacketFreer> packet_;
  bool inputEnded_ = false;
};

}  // namespace

LRef<LSoundStream> OpenFfmpegFile(const std::string& path) {
  LStreamState state;
  LFormatContextPtr input = OpenMediaInput(path, true, &state);
  if (!input) return MakeErrorStream(state);
  const int index = FirstAudioStream(*input);
  if (index < 0) return MakeErrorStream(LStreamState::kCorrupt);
  // Only the audio stream's packets are wanted; the demuxer may drop the others early.
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (static_cast<int>(i) != index) input->streams[i]->discard = AVDISCARD_ALL;
  }
  std::unique_ptr<LFfmpegDecoder> decoder = LFfmpegDecoder::Create(*input->streams[index]->codecpar, &state);
  if (!decoder) return MakeErrorStream(state);
  const int32_t estimate = EstimatedFrames(*input, *input->streams[index], decoder->SampleRate());
  return MakeRef<LFfmpegFileStream>(std::move(input), index, std::move(decoder), estimate);
}

}  // namespace klangor
