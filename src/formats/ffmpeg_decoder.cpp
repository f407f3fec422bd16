#include "formats/ffmpeg_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "audio/sample_format.h"
#include "formats/ffmpeg_file.h"

namespace klangor {
namespace {

constexpr int kMaxChannels = 255;
constexpr int32_t kMaxFrames = std::numeric_limits<int32_t>::max();
// A seek this far ahead moves the input instead of decoding the way there.
constexpr int32_t kSeekAheadFrames = 1 << 20;

// Signed 32-bit to the internal scale, rounding as the 32-bit WAV rule does.
void ToInternal(int32_t* samples, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<int32_t>((int64_t{samples[i]} + 2048) >> 12);
  }
}

}  // namespace

void QuietFfmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::unique_ptr<LFfmpegDecoder> LFfmpegDecoder::Create(const AVCodecParameters& parameters, LStreamState* state) {
  QuietFfmpegLog();
  *state = LStreamState::kCodecMissing;
  const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
  if (codec == nullptr) return nullptr;
  std::unique_ptr<LFfmpegDecoder> decoder(new LFfmpegDecoder());
  decoder->codec_ = avcodec_alloc_context3(codec);
  decoder->frame_ = av_frame_alloc();
  if (decoder->codec_ == nullptr || decoder->frame_ == nullptr) return nullptr;
  if (avcodec_parameters_to_context(decoder->codec_, &parameters) < 0) return nullptr;
  decoder->codec_->thread_count = 1;
  if (avcodec_open2(decoder->codec_, codec, nullptr) < 0) return nullptr;

  const int rate = decoder->codec_->sample_rate > 0 ? decoder->codec_->sample_rate : parameters.sample_rate;
  const int channels = decoder->codec_->ch_layout.nb_channels > 0 ? decoder->codec_->ch_layout.nb_channels
                                                                  : parameters.ch_layout.nb_channels;
  if (rate <= 0 || channels <= 0 || channels > kMaxChannels) {
    *state = LStreamState::kCorrupt;
    return nullptr;
  }
  decoder->sampleRate_ = rate;
  decoder->channels_ = channels;
  *state = LStreamState::kOk;
  return decoder;
}

LFfmpegDecoder::~LFfmpegDecoder() {
  swr_free(&converter_);
  av_frame_free(&frame_);
  avcodec_free_context(&codec_);
}

void LFfmpegDecoder::Decode(const AVPacket* packet) {
  // A refused packet (damaged data) is dropped; decoding goes on with the next one.
  int rc = avcodec_send_packet(codec_, packet);
  if (rc == AVERROR(EAGAIN)) {
    Receive();
    rc = avcodec_send_packet(codec_, packet);
  }
  Receive();
}

void LFfmpegDecoder::Receive() {
  while (avcodec_receive_frame(codec_, frame_) == 0) {
    if (frame_->nb_samples > 0 && frame_->sample_rate > 0 && frame_->ch_layout.nb_channels > 0) Convert(*frame_);
    av_frame_unref(frame_);
  }
}

void LFfmpegDecoder::Convert(const AVFrame& frame) {
  const uint64_t mask = frame.ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame.ch_layout.u.mask : 0;
  if (converter_ == nullptr || converterRate_ != frame.sample_rate || converterFormat_ != frame.format ||
      converterChannels_ != frame.ch_layout.nb_channels || converterMask_ != mask) {
    swr_free(&converter_);
    // The same channel count converts sample by sample; another count is remixed to the
    // channels the stream started with.
    AVChannelLayout in{};
    AVChannelLayout out{};
    if (frame.ch_layout.nb_channels == channels_) {
      av_channel_layout_copy(&in, &frame.ch_layout);
      av_channel_layout_copy(&out, &frame.ch_layout);
    } else {
      av_channel_layout_default(&in, frame.ch_layout.nb_channels);
      av_channel_layout_default(&out, channels_);
    }
    const int rc = swr_alloc_set_opts2(&converter_, &out, AV_SAMPLE_FMT_S32, sampleRate_, &in,
                                       static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc < 0 || swr_init(converter_) < 0) {
      swr_free(&converter_);
      return;
    }
    converterRate_ = frame.sample_rate;
    converterFormat_ = frame.format;
    converterChannels_ = frame.ch_layout.nb_channels;
    converterMask_ = mask;
  }
  const int capacity = swr_get_out_samples(converter_, frame.nb_samples);
  if (capacity <= 0) return;
  if (pendingStart_ > 0 && pendingStart_ == pending_.size()) {
    pending_.clear();
    pendingStart_ = 0;
  }
  const size_t old = pending_.size();
  pending_.resize(old + static_cast<size_t>(capacity) * channels_);
  auto* out = reinterpret_cast<uint8_t*>(pending_.data() + old);
  const int got = swr_convert(converter_, &out, capacity, const_cast<const uint8_t**>(frame.extended_data),
                              frame.nb_samples);
  const size_t samples = got > 0 ? static_cast<size_t>(got) * channels_ : 0;
  pending_.resize(old + samples);
  ToInternal(pending_.data() + old, samples);
}

int32_t LFfmpegDecoder::Available() const {
  return static_cast<int32_t>((pending_.size() - pendingStart_) / static_cast<size_t>(channels_));
}

int32_t LFfmpegDecoder::Take(int32_t* out, int32_t maxFrames) {
  const int32_t frames = std::min(Available(), std::max(maxFrames, 0));
  const size_t samples = static_cast<size_t>(frames) * channels_;
  if (out != nullptr && samples > 0) std::memcpy(out, pending_.data() + pendingStart_, samples * sizeof(int32_t));
  pendingStart_ += samples;
  if (pendingStart_ == pending_.size()) {
    pending_.clear();
    pendingStart_ = 0;
  } else if (pendingStart_ > (1u << 20)) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_));
    pendingStart_ = 0;
  }
  return frames;
}

void LFfmpegDecoder::Reset() {
  avcodec_flush_buffers(codec_);
  if (converter_ != nullptr) swr_free(&converter_);
  pending_.clear();
  pendingStart_ = 0;
}

LDecodedStream::LDecodedStream(std::unique_ptr<LFfmpegDecoder> decoder, int32_t estimate)
    : LSoundStream(decoder->SampleRate(), kFullScale16, decoder->Channels()),
      decoder_(std::move(decoder)),
      estimate_(std::max(estimate, 0)) {}

int32_t LDecodedStream::Length() const {
  if (ended_) return total_;
  const int64_t ahead = int64_t{std::max(position_, decoded_)} + kLengthLookaheadFrames;
  return std::max(estimate_, static_cast<int32_t>(std::min<int64_t>(ahead, kMaxFrames)));
}

void LDecodedStream::MoveTo(int32_t frame) {
  decoder_->Reset();
  decoded_ = std::clamp(MoveInputNear(frame), 0, frame);
  ended_ = false;
}

void LDecodedStream::Read(int32_t* frames, int32_t frameCount) {
  const int channels = Channels();
  int32_t* out = frames;
  int32_t left = std::max(frameCount, 0);
  if (position_ < 0) {
    const auto silent = static_cast<int32_t>(std::min<int64_t>(left, -int64_t{position_}));
    std::fill(out, out + static_cast<size_t>(silent) * channels, 0);
    out += static_cast<size_t>(silent) * channels;
    left -= silent;
    position_ += silent;
  }
  if (left > 0) {
    // Backwards, or far ahead: the input moves; a short way ahead is decoded through.
    if (decoded_ > position_ || (JumpsAhead() && position_ - decoded_ > kSeekAheadFrames)) MoveTo(position_);
    while (left > 0 && !ended_) {
      if (decoder_->Available() == 0) {
        if (!FeedDecoder(*decoder_) && decoder_->Available() == 0) {
          ended_ = true;
          total_ = decoded_;
        }
        continue;
      }
      if (decoded_ < position_) {
        decoded_ += decoder_->Take(nullptr, position_ - decoded_);
        continue;
      }
      const int32_t got = decoder_->Take(out, left);
      out += static_cast<size_t>(got) * channels;
      left -= got;
      decoded_ += got;
      position_ += got;
      if (decoded_ == kMaxFrames) {
        ended_ = true;  // as far as 32-bit positions count
        total_ = decoded_;
      }
    }
  }
  std::fill(out, out + static_cast<size_t>(left) * channels, 0);
  position_ = static_cast<int32_t>(std::min<int64_t>(int64_t{position_} + left, kMaxFrames));
}

}  // namespace klangor
