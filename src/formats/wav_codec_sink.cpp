#include "formats/wav_codec_sink.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "audio/error_stream.h"
#include "formats/ffmpeg_decoder.h"
#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/sequential_writer.h"

namespace klangor {
namespace {

constexpr uint32_t kOpenSize = 0xFFFFFFFFu;
constexpr int kChunkFrames = 8192;

const std::vector<int32_t>& CommonRates() {
  static const std::vector<int32_t> rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
  return rates;
}

AVCodecID CodecIdOf(uint16_t tag) {
  switch (tag) {
    case kWaveFormatMsAdpcm: return AV_CODEC_ID_ADPCM_MS;
    case kWaveFormatALaw: return AV_CODEC_ID_PCM_ALAW;
    case kWaveFormatMuLaw: return AV_CODEC_ID_PCM_MULAW;
    case kWaveFormatImaAdpcm: return AV_CODEC_ID_ADPCM_IMA_WAV;
    case kWaveFormatGsm610: return AV_CODEC_ID_GSM_MS;
    case kWaveFormatMpegLayer3: return AV_CODEC_ID_MP3;
    default: return AV_CODEC_ID_NONE;
  }
}

struct LContextFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using LContextPtr = std::unique_ptr<AVCodecContext, LContextFreer>;
struct LFrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct LPacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// The ADPCM block size that common WAVE writers use: 256 bytes per channel, doubled for each
// multiple of 11025 Hz (a power of two, as the encoders require).
int AdpcmBlockBytes(int32_t rate, int channels) {
  int blocks = 1;
  while (blocks * 2 * 11025 <= rate && blocks < 4) blocks *= 2;
  return 256 * channels * blocks;
}

bool Mpeg1Rate(int32_t rate) { return rate >= 32000; }

// An opened encoder for the combination, or null.
LContextPtr OpenEncoder(uint16_t tag, int32_t rate, int channels, int32_t bitRate) {
  QuietFfmpegLog();
  const LWaveCodec* codec = FindWaveCodec(tag);
  if (codec == nullptr || channels < 1 || channels > codec->maxChannels ||
      std::find(codec->rates.begin(), codec->rates.end(), rate) == codec->rates.end()) {
    return nullptr;
  }
  if (codec->bitRateChoice) {
    const std::vector<int32_t> allowed = WaveCodecBitRates(tag, rate);
    if (std::find(allowed.begin(), allowed.end(), bitRate) == allowed.end()) return nullptr;
  }
  const AVCodec* encoder = avcodec_find_encoder(CodecIdOf(tag));
  if (encoder == nullptr) return nullptr;
  LContextPtr context(avcodec_alloc_context3(encoder));
  if (!context) return nullptr;
  context->sample_rate = rate;
  av_channel_layout_default(&context->ch_layout, channels);
  // 16-bit input, planar where the encoder wants it.
  context->sample_fmt = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = encoder->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) {
      context->sample_fmt = *f;
      break;
    }
  }
  if (context->sample_fmt == AV_SAMPLE_FMT_NONE) return nullptr;
  if (codec->bitRateChoice) context->bit_rate = int64_t{bitRate} * 1000;
  if (tag == kWaveFormatImaAdpcm || tag == kWaveFormatMsAdpcm) {
    av_opt_set_int(context->priv_data, "block_size", AdpcmBlockBytes(rate, channels), 0);
  }
  if (avcodec_open2(context.get(), encoder, nullptr) < 0) return nullptr;
  return context;
}

// The record that describes the output of `context`.
LWaveFormat RecordOf(uint16_t tag, const AVCodecContext& context, int32_t bitRate) {
  LWaveFormat format;
  format.formatTag = tag;
  format.channels = static_cast<uint16_t>(context.ch_layout.nb_channels);
  format.samplesPerSec = static_cast<uint32_t>(context.sample_rate);
  const int frameSize = context.frame_size;
  switch (tag) {
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      format.blockAlign = format.channels;
      format.bitsPerSample = 8;
      format.avgBytesPerSec = format.samplesPerSec * format.channels;
      break;
    case kWaveFormatImaAdpcm:
    case kWaveFormatMsAdpcm:
    case kWaveFormatGsm610: {
      format.blockAlign = static_cast<uint16_t>(context.block_align);
      format.bitsPerSample = tag == kWaveFormatGsm610 ? 0 : 4;
      format.avgBytesPerSec =
          static_cast<uint32_t>(uint64_t{format.blockAlign} * format.samplesPerSec / std::max(frameSize, 1));
      if (tag == kWaveFormatMsAdpcm && context.extradata_size > 0) {
        format.extraBytes.assign(context.extradata, context.extradata + context.extradata_size);
      } else {
        format.extraBytes.resize(2);  // samples per block
        StoreLe16(format.extraBytes.data(), static_cast<uint32_t>(frameSize));
      }
      break;
    }
    case kWaveFormatMpegLayer3: {
      format.blockAlign = 1;
      format.bitsPerSample = 0;
      format.avgBytesPerSec = static_cast<uint32_t>(bitRate) * 1000 / 8;
      // wID, flags (padding off), bytes per frame, frames per block, codec delay.
      format.extraBytes.resize(12);
      uint8_t* p = format.extraBytes.data();
      StoreLe16(p, 1);
      StoreLe32(p + 2, 2);
      StoreLe16(p + 6, static_cast<uint32_t>((Mpeg1Rate(context.sample_rate) ? 144 : 72) * bitRate * 1000 /
                                             context.sample_rate));
      StoreLe16(p + 8, 1);
      StoreLe16(p + 10, 1393);
      break;
    }
    default: break;
  }
  return format;
}

class LWaveCodecSink final : public LSoundSink {
 public:
  LWaveCodecSink(const std::string& path, uint16_t tag, int32_t rate, int channels, int32_t bitRate)
      : LSoundSink(rate, channels), encoder_(OpenEncoder(tag, rate, channels, bitRate)) {
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    LFile file = encoder_ && frame_ && packet_ ? LFile::Open(path, LFileMode::kCreateAlways) : LFile();
    if (!file.IsOpen()) {
      Fail();
      return;
    }
    const LWaveFormat format = RecordOf(tag, *encoder_, bitRate);
    const std::vector<uint8_t> record = SerializeWaveFormat(format);
    std::vector<uint8_t> header(12 + 8 + record.size() + 8);
    uint8_t* p = header.data();
    std::memcpy(p, "RIFF", 4);
    StoreLe32(p + 4, kOpenSize);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    StoreLe32(p + 16, static_cast<uint32_t>(record.size()));
    std::memcpy(p + 20, record.data(), record.size());
    std::memcpy(p + 20 + record.size(), "data", 4);
    StoreLe32(p + 24 + record.size(), kOpenSize);
    headerBytes_ = static_cast<int64_t>(header.size());
    out_ = std::make_unique<LSequentialWriter>(std::move(file), LWriteMode::kBackground);
    out_->Write(header.data(), headerBytes_);
    // Codecs without a fixed frame size take any number of samples per call.
    frameSize_ = encoder_->frame_size > 0 ? encoder_->frame_size : kChunkFrames;
    pending_.reserve(static_cast<size_t>(frameSize_) * channels);
  }
  ~LWaveCodecSink() override { Finish(); }

  void Write(const int32_t* frames, int32_t frameCount) override {
    if (frameCount <= 0) return;
    if (!out_ || int64_t{FramesWritten()} + frameCount > std::numeric_limits<int32_t>::max()) {
      Fail();
      return;
    }
    AddFramesWritten(frameCount);
    const size_t samplesPerFrame = static_cast<size_t>(frameSize_) * Channels();
    const size_t total = static_cast<size_t>(frameCount) * Channels();
    for (size_t i = 0; i < total && out_; ++i) {
      pending_.push_back(static_cast<int16_t>(static_cast<uint32_t>(frames[i] + 8) >> 4));
      if (pending_.size() == samplesPerFrame) EncodePending();
    }
  }

  // Encoded data cannot be rewritten; the position only moves where it already is.
  void Seek(int32_t /*frame*/) override {}

  void Finish() override {
    if (!out_) return;
    if (!pending_.empty()) {
      // The last short piece: padded with silence for codecs that need whole frames.
      if ((encoder_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) == 0 && encoder_->frame_size > 0) {
        pending_.resize(static_cast<size_t>(frameSize_) * Channels(), 0);
      }
      EncodePending();
    }
    if (out_ && avcodec_send_frame(encoder_.get(), nullptr) >= 0) TakePackets();
    if (!out_) return;
    const bool written = out_->Flush();
    LFile& file = out_->File();
    const int64_t riff = headerBytes_ - 8 + dataBytes_;
    uint8_t size[4];
    bool patched = written && riff <= int64_t{kOpenSize};
    StoreLe32(size, static_cast<uint32_t>(riff));
    patched = patched && file.WriteAt(4, size, 4);
    StoreLe32(size, static_cast<uint32_t>(dataBytes_));
    patched = patched && file.WriteAt(headerBytes_ - 4, size, 4);
    if (!patched) SetError(kCannotWrite);
    out_.reset();
    encoder_.reset();
  }

 private:
  void Fail() {
    SetError(kCannotWrite);
    out_.reset();
  }

  void EncodePending() {
    const int channels = Channels();
    const int count = static_cast<int>(pending_.size() / channels);
    AVFrame* frame = frame_.get();
    av_frame_unref(frame);
    frame->nb_samples = count;
    frame->format = encoder_->sample_fmt;
    frame->sample_rate = encoder_->sample_rate;
    frame->pts = pts_;
    pts_ += count;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout) < 0 || av_frame_get_buffer(frame, 0) < 0) {
      Fail();
      return;
    }
    if (encoder_->sample_fmt == AV_SAMPLE_FMT_S16P) {
      for (int c = 0; c < channels; ++c) {
        auto* plane = reinterpret_cast<int16_t*>(frame->extended_data[c]);
        for (int i = 0; i < count; ++i) plane[i] = pending_[static_cast<size_t>(i) * channels + c];
      }
    } else {
      std::memcpy(frame->data[0], pending_.data(), pending_.size() * sizeof(int16_t));
    }
    pending_.clear();
    if (avcodec_send_frame(encoder_.get(), frame) < 0) {
      Fail();
      return;
    }
    TakePackets();
  }

  void TakePackets() {
    AVPacket* packet = packet_.get();
    while (out_) {
      const int got = avcodec_receive_packet(encoder_.get(), packet);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      if (got < 0) {
        Fail();
        return;
      }
      out_->Write(packet->data, packet->size);
      dataBytes_ += packet->size;
      av_packet_unref(packet);
      if (headerBytes_ + dataBytes_ > int64_t{kOpenSize}) Fail();  // beyond what a WAVE file can hold
    }
  }

  LContextPtr encoder_;
  std::unique_ptr<AVFrame, LFrameFreer> frame_;
  std::unique_ptr<AVPacket, LPacketFreer> packet_;
  std::unique_ptr<LSequentialWriter> out_;
  std::vector<int16_t> pending_;  // interleaved samples of the frame being filled
  int frameSize_ = kChunkFrames;
  int64_t pts_ = 0;
  int64_t headerBytes_ = 0;
  int64_t dataBytes_ = 0;
};

}  // namespace

const std::vector<LWaveCodec>& WaveCodecs() {
  static const std::vector<LWaveCodec> codecs = {
      {kWaveFormatImaAdpcm, "IMA ADPCM", CommonRates(), 2, false},
      {kWaveFormatMsAdpcm, "Microsoft ADPCM", CommonRates(), 2, false},
      {kWaveFormatALaw, "CCITT A-Law", CommonRates(), 2, false},
      {kWaveFormatMuLaw, "CCITT u-Law", CommonRates(), 2, false},
      {kWaveFormatGsm610, "GSM 6.10", {8000}, 1, false},
      {kWaveFormatMpegLayer3, "MPEG Layer-3",
       {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}, 2, true},
  };
  return codecs;
}

const LWaveCodec* FindWaveCodec(uint16_t formatTag) {
  for (const LWaveCodec& codec : WaveCodecs()) {
    if (codec.formatTag == formatTag) return &codec;
  }
  return nullptr;
}

std::vector<int32_t> WaveCodecBitRates(uint16_t formatTag, int32_t sampleRate) {
  if (formatTag != kWaveFormatMpegLayer3) return {};
  if (Mpeg1Rate(sampleRate)) return {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  return {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
}

std::optional<LWaveFormat> MakeCodecWaveFormat(uint16_t formatTag, int32_t sampleRate, int channels,
                                               int32_t bitRate) {
  LContextPtr encoder = OpenEncoder(formatTag, sampleRate, channels, bitRate);
  if (!encoder) return std::nullopt;
  return RecordOf(formatTag, *encoder, bitRate);
}

int32_t CodecBitRate(const LWaveFormat& format) {
  const LWaveCodec* codec = FindWaveCodec(format.formatTag);
  if (codec == nullptr || !codec->bitRateChoice) return 0;
  return static_cast<int32_t>(uint64_t{format.avgBytesPerSec} * 8 / 1000);
}

LRef<LSoundSink> CreateWaveCodecSink(const std::string& path, const LWaveFormat& format) {
  if (FindWaveCodec(format.formatTag) == nullptr || format.channels == 0 || format.channels > 2 ||
      format.samplesPerSec > uint32_t{std::numeric_limits<int32_t>::max()}) {
    return MakeRef<LNullSink>();
  }
  return MakeRef<LWaveCodecSink>(path, format.formatTag, static_cast<int32_t>(format.samplesPerSec),
                                 format.channels, CodecBitRate(format));
}

}  // namespace klangor
