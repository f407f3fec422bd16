#pragma once
// ".mp3" files, reading only: MPEG-1, MPEG-2 and MPEG-2.5 Layer III, decoded by LMp3Decoder.
//
// Opening finds the first frame header (at most 65536 bytes in, and only where another frame
// of the same stream follows), takes rate and channels from it and works out the length: from
// the frame count of a Xing, Info or VBRI frame when the file has one (that frame is skipped,
// not decoded), else estimated from the average bitrate of the first frames over the file's
// bytes up to its trailing tags (ID3 version 1, APEv2, Lyrics3 v2; no frame is looked for in
// them). An estimated length is re-estimated after every frame read, and becomes exact when
// decoding reaches the end.
//
// Samples come out at the decoder's scale, 524288 for full scale; the stream's full scale is
// 2097152. The encoder's delay and padding are not removed: every decoded frame is audio.
// Seek(f) restarts at the frame four frames before f's frame (its byte offset estimated from
// the bytes per frame) and decodes them to fill the reservoir and the filter memories.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/ref_counted.h"
#include "audio/sound_stream.h"
#include "formats/mp3_header.h"
#include "platform/file.h"

namespace klangor {

class LMp3Decoder;

// Opens `path`; never null. State kCannotOpen when the file cannot be opened, kCorrupt when no
// Layer III stream is found.
LRef<LSoundStream> OpenMp3File(const std::string& path);

class LMp3Stream final : public LSoundStream {
 public:
  explicit LMp3Stream(const std::string& path);
  ~LMp3Stream() override;

  void Read(int32_t* frames, int32_t frameCount) override;
  int32_t Position() const override;
  int32_t Length() const override;
  void Seek(int32_t frame) override;

  // True when the length comes from a frame count in the file.
  bool LengthFromFrameCount() const { return lengthExact_; }

 private:
  class LByteWindow;
  struct LFound {
    int64_t offset = 0;
    LMp3Header header;
  };

  void Open();
  // The next frame of the stream at or after `offset` (see the .cpp for the rules).
  bool FindFrame(int64_t offset, bool resync, LFound* found);
  bool SearchHeader(int64_t from, bool confirmAll, int64_t expected, LFound* found);
  bool FollowedByFrame(const LFound& found);
  // Decodes the next frame into pcm_, or into `target` when given.
  bool DecodeNext(int32_t* target = nullptr);
  // Decodes until frame position `frame` is in pcm_; false when decoding ends first.
  bool Reach(int64_t frame);
  void EndOfDecoding();
  void Restart(int64_t frame);

  std::unique_ptr<LByteWindow> window_;
  std::unique_ptr<LMp3Decoder> decoder_;
  LMp3Header first_;
  int64_t fileBytes_ = 0;
  int64_t budgetBytes_ = 0;     // where the audio ends: the file less its trailing tags
  int64_t audioStartByte_ = 0;  // offset of the first audio frame
  double bytesPerFrame_ = 1.0;
  int samplesPerFrame_ = 1152;
  int64_t lengthFrames_ = 0;
  bool lengthExact_ = false;

  int64_t positionFrames_ = 0;  // the caller's position
  std::vector<int32_t> pcm_;    // the last decoded frame, interleaved
  int64_t pcmStartFrame_ = 0;   // the position of its first sample frame
  int64_t pcmFrames_ = 0;       // its sample frames
  bool pcmHeld_ = true;         // pcm_ holds them (not so when decoded into a caller's buffer)
  int64_t nextByte_ = 0;        // where the next frame is looked for
  bool resync_ = false;         // nextByte_ is a guess (after a seek)
  bool ended_ = false;
};

}  // namespace klangor
