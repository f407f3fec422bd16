#include "formats/wav_codec_stream.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/error_stream.h"
#include "audio/sample_format.h"
#include "formats/ffmpeg_decoder.h"

namespace klangor {
namespace {

constexpr int kReadBytes = 16384;
// The sub-format GUID of the extensible format: a format tag in its first two bytes, then this.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr size_t kExtensibleBytes = 22;

struct LParametersFreer {
  void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};
using LParametersPtr = std::unique_ptr<AVCodecParameters, LParametersFreer>;

struct LParserCloser {
  void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct LPacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The codec parameters that the WAVE header describes.
LParametersPtr ParametersOf(const LWaveFormat& format) {
  LParametersPtr parameters(avcodec_parameters_alloc());
  if (!parameters) return parameters;
  unsigned tag = format.formatTag;
  const uint8_t* extra = format.extraBytes.data();
  size_t extraBytes = format.extraBytes.size();
  if (tag == kWaveFormatExtensible && extraBytes >= kExtensibleBytes &&
      std::memcmp(extra + 8, kGuidTail, sizeof kGuidTail) == 0) {
    tag = extra[6] | (unsigned{extra[7]} << 8);
    extra += kExtensibleBytes;
    extraBytes -= kExtensibleBytes;
  }
  const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
  // An extensible format whose sub-format is not a plain tag names no codec we know.
  AVCodecID id = tag == kWaveFormatExtensible ? AV_CODEC_ID_NONE : av_codec_get_id(tables, tag);
  if (id == AV_CODEC_ID_PCM_F32LE && format.bitsPerSample == 64) id = AV_CODEC_ID_PCM_F64LE;
  parameters->codec_type = AVMEDIA_TYPE_AUDIO;
  parameters->codec_id = id;
  parameters->codec_tag = tag;
  parameters->sample_rate = static_cast<int>(format.samplesPerSec);
  av_channel_layout_default(&parameters->ch_layout, format.channels);
  parameters->block_align = format.blockAlign;
  parameters->bit_rate = int64_t{format.avgBytesPerSec} * 8;
  parameters->bits_per_coded_sample = format.bitsPerSample;
  if (extraBytes > 0) {
    parameters->extradata = static_cast<uint8_t*>(av_mallocz(extraBytes + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata != nullptr) {
      std::memcpy(parameters->extradata, extra, extraBytes);
      parameters->extradata_size = static_cast<int>(extraBytes);
    }
  }
  return parameters;
}

bool IsPlainPcmCodec(AVCodecID id) { return std::strncmp(avcodec_get_name(id), "pcm_", 4) == 0; }

// Codecs whose frames vary in size: their data is split into frames by FFmpeg's parser.
bool IsFramedCodec(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AC3:
    case AV_CODEC_ID_EAC3:
    case AV_CODEC_ID_DTS: return true;
    default: return false;
  }
}

class LWaveCodecStream final : public LDecodedStream {
 public:
  LWaveCodecStream(std::unique_ptr<LFfmpegDecoder> decoder, int32_t estimate, LFile file, LParametersPtr parameters,
                   int64_t dataStart, int64_t dataBytes, int32_t framesPerBlock)
      : LDecodedStream(std::move(decoder), estimate),
        file_(std::move(file)),
        parameters_(std::move(parameters)),
        dataStart_(dataStart),
        dataBytes_(dataBytes),
        framesPerBlock_(framesPerBlock),
        packet_(av_packet_alloc()) {
    const int blockAlign = std::max(parameters_->block_align, 1);
    // Whole blocks per packet; plain sample codecs take many blocks at once.
    packetBytes_ = blockAlign;
    if (IsPlainPcmCodec(parameters_->codec_id) || framesPerBlock_ <= 0) {
      packetBytes_ = std::max(blockAlign, kReadBytes / blockAlign * blockAlign);
    }
    if (framesPerBlock_ <= 0) parser_.reset(av_parser_init(parameters_->codec_id));
    buffer_.resize(static_cast<size_t>(std::max(packetBytes_, kReadBytes)) + AV_INPUT_BUFFER_PADDING_SIZE);
  }

 protected:
  bool FeedDecoder(LFfmpegDecoder& decoder) override {
    if (inputEnded_ || !packet_) return false;
    const int64_t left = dataBytes_ - offset_;
    const auto want = static_cast<int>(std::min<int64_t>(left, parser_ ? kReadBytes : packetBytes_));
    int64_t got = want > 0 ? file_.ReadAt(dataStart_ + offset_, buffer_.data(), want) : 0;
    if (got <= 0) {
      if (parser_) Parse(decoder, nullptr, 0);
      decoder.Decode(nullptr);
      inputEnded_ = true;
      return decoder.Available() > 0;
    }
    offset_ += got;
    std::memset(buffer_.data() + got, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    if (parser_) {
      Parse(decoder, buffer_.data(), static_cast<int>(got));
    } else {
      packet_->data = buffer_.data();
      packet_->size = static_cast<int>(got);
      decoder.Decode(packet_.get());
    }
    return true;
  }

  int32_t MoveInputNear(int32_t frame) override {
    inputEnded_ = false;
    if (parser_) {
      parser_.reset(av_parser_init(parameters_->codec_id));
    }
    if (framesPerBlock_ <= 0 || frame <= 0) {
      offset_ = 0;
      return 0;
    }
    const int64_t block = frame / framesPerBlock_;
    offset_ = std::min(block * parameters_->block_align, dataBytes_);
    return static_cast<int32_t>(offset_ / parameters_->block_align * framesPerBlock_);
  }

  bool JumpsAhead() const override { return framesPerBlock_ > 0; }

 private:
  void Parse(LFfmpegDecoder& decoder, const uint8_t* data, int bytes) {
    do {
      uint8_t* out = nullptr;
      int outBytes = 0;
      const int used = av_parser_parse2(parser_.get(), codecForParser_.get(), &out, &outBytes, data, bytes,
                                        AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
      if (used < 0) return;
      data += used;
      bytes -= used;
      if (outBytes > 0) {
        packet_->data = out;
        packet_->size = outBytes;
        decoder.Decode(packet_.get());
      } else if (data == nullptr || used == 0) {
        return;
      }
    } while (bytes > 0 || data == nullptr);
  }

  struct LCodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  };

  LFile file_;
  LParametersPtr parameters_;
  int64_t dataStart_;
  int64_t dataBytes_;
  int32_t framesPerBlock_;
  std::unique_ptr<AVPacket, LPacketFreer> packet_;
  std::unique_ptr<AVCodecParserContext, LParserCloser> parser_;
  // The parser wants a codec context; an unopened one serves.
  std::unique_ptr<AVCodecContext, LCodecFreer> codecForParser_{avcodec_alloc_context3(nullptr)};
  std::vector<uint8_t> buffer_;
  int packetBytes_ = 0;
  int64_t offset_ = 0;  // bytes of the data read
  bool inputEnded_ = false;
};

}  // namespace

LRef<LSoundStream> OpenWaveCodecStream(LFile file, const LWaveFormat& format, int64_t dataStart, int64_t dataBytes) {
  LParametersPtr parameters = ParametersOf(format);
  if (!parameters || parameters->codec_id == AV_CODEC_ID_NONE) return MakeErrorStream(LStreamState::kCodecMissing);
  LStreamState state;
  std::unique_ptr<LFfmpegDecoder> decoder = LFfmpegDecoder::Create(*parameters, &state);
  if (!decoder) return MakeErrorStream(state);

  // Frames per block for codecs with a fixed ratio; the length then follows from the size.
  int32_t framesPerBlock = 0;
  int64_t estimate = 0;
  if (parameters->block_align > 0 && !IsFramedCodec(parameters->codec_id)) {
    framesPerBlock = std::max(av_get_audio_frame_duration2(parameters.get(), parameters->block_align), 0);
  }
  if (framesPerBlock > 0) {
    const int64_t blocks = dataBytes / parameters->block_align;
    const int64_t rest = dataBytes % parameters->block_align;
    estimate = blocks * framesPerBlock;
    if (rest > 0) estimate += std::max(av_get_audio_frame_duration2(parameters.get(), static_cast<int>(rest)), 0);
  } else {
    // An average byte rate of 0 counts as the sample rate.
    const int64_t bytesPerSecond = format.avgBytesPerSec > 0 ? format.avgBytesPerSec : format.samplesPerSec;
    estimate = dataBytes * format.samplesPerSec / std::max<int64_t>(bytesPerSecond, 1);
  }
  return MakeRef<LWaveCodecStream>(std::move(decoder), SaturateToInt32(estimate), std::move(file),
                                   std::move(parameters), dataStart, dataBytes, framesPerBlock);
}

}  // namespace klangor
