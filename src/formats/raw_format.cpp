#include "formats/raw_format.h"

#include "audio/error_stream.h"
#include "formats/pcm_file.h"
#include "formats/readable_file.h"
#include "formats/vox.h"

namespace klangor {
namespace {

bool PcmCodecOf(uint32_t codec, LPcmCodec* pcm) {
  switch (static_cast<LRawCodec>(codec)) {
    case LRawCodec::kMuLaw: *pcm = LPcmCodec::kMuLaw; return true;
    case LRawCodec::kALaw: *pcm = LPcmCodec::kALaw; return true;
    case LRawCodec::kPcm16LittleEndian: *pcm = LPcmCodec::k16BitLittleEndian; return true;
    case LRawCodec::kPcm8Unsigned: *pcm = LPcmCodec::k8BitUnsigned; return true;
    case LRawCodec::kPcm8Signed: *pcm = LPcmCodec::k8BitSigned; return true;
    case LRawCodec::kPcm16BigEndian: *pcm = LPcmCodec::k16BitBigEndian; return true;
    default: return false;
  }
}

// Stored rates beyond what a stream can carry become 0, which streams and sinks refuse.
int32_t RateOf(const LRawFormat& format) {
  return format.sampleRate > static_cast<uint32_t>(INT32_MAX) ? 0 : static_cast<int32_t>(format.sampleRate);
}

}  // namespace

int RawFileChannels(const LRawFormat& format) {
  if (format.codec == static_cast<uint32_t>(LRawCodec::kDialogicAdpcm)) return 1;
  return format.channels == 0 ? 1 : format.channels;
}

LRef<LSoundStream> OpenRawFile(const LRawFormat& format, const std::string& path) {
  if (format.codec == static_cast<uint32_t>(LRawCodec::kDialogicAdpcm)) {
    return MakeRef<LVoxStream>(path, RateOf(format));
  }
  LPcmCodec codec;
  if (!PcmCodecOf(format.codec, &codec)) return MakeErrorStream(LStreamState::kCorrupt);
  return MakeRef<LPcmFileStream>(OpenReadableFile(path), codec, RateOf(format), RawFileChannels(format), 0,
                                 kLengthToEndOfFile);
}

LRef<LSoundSink> CreateRawFile(const LRawFormat& format, const std::string& path) {
  if (format.codec == static_cast<uint32_t>(LRawCodec::kDialogicAdpcm)) {
    return MakeRef<LVoxSink>(path, RateOf(format));
  }
  LPcmCodec codec;
  if (!PcmCodecOf(format.codec, &codec)) return MakeRef<LNullSink>();
  return MakeRef<LPcmFileSink>(path, codec, RateOf(format), RawFileChannels(format));
}

}  // namespace klangor
