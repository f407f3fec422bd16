#pragma once
// Helpers for the WAVE tests: byte images of hand-made files and reading a stream.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_stream.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "support/test_env.h"

namespace klangor::wavtest {

using test::Le16;
using test::Le32;
using test::ReadBytes;
using test::RunTool;
using test::TempDir;
using test::WriteBytes;

// A named file in the test program's private folder.
inline std::string TestPath(const std::string& name) { return JoinPath(TempDir(), name); }

inline uint32_t Get32At(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes.at(offset + i));
  return v;
}

// A chunk with the size field given explicitly and no pad byte.
inline std::string RawChunk(const std::string& id, uint32_t sizeField, const std::string& body) {
  return id + Le32(sizeField) + body;
}

// A well-formed chunk: true size, pad byte after an odd body.
inline std::string Chunk(const std::string& id, const std::string& body) {
  std::string chunk = RawChunk(id, static_cast<uint32_t>(body.size()), body);
  if (body.size() % 2 != 0) chunk += '\0';
  return chunk;
}

// A WAVEFORMATEX of 16 bytes, or of 18 and more with `extra` after the extra size field.
inline std::string FmtBody(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits,
                           uint32_t blockAlign, bool withExtraSize = true,
                           const std::string& extra = "") {
  std::string body = Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * blockAlign) +
                     Le16(blockAlign) + Le16(bits);
  if (withExtraSize) body += Le16(static_cast<uint32_t>(extra.size())) + extra;
  return body;
}

inline std::string PcmFmt(uint32_t channels, uint32_t rate, uint32_t bits) {
  return Chunk("fmt ", FmtBody(1, channels, rate, bits, channels * ((bits + 7) / 8)));
}

inline std::string RiffWave(const std::string& chunks) {
  return "RIFF" + Le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

inline std::string PcmWave(uint32_t channels, uint32_t rate, uint32_t bits, const std::string& data) {
  return RiffWave(PcmFmt(channels, rate, bits) + Chunk("data", data));
}

// 16-bit little-endian sample data.
inline std::string S16Data(const std::vector<int>& samples) {
  std::string data;
  for (int s : samples) data += Le16(static_cast<uint16_t>(s));
  return data;
}

// Reads `frames` frames from the stream's current position.
inline std::vector<int32_t> ReadFrames(LSoundStream& stream, int32_t frames) {
  std::vector<int32_t> out(static_cast<size_t>(frames) * stream.Channels(), -7);
  stream.Read(out.data(), frames);
  return out;
}

inline bool HaveSox() { return test::HaveProgram("sox") && test::HaveProgram("soxi"); }
inline bool HaveFfmpeg() { return test::HaveProgram("ffmpeg") && test::HaveProgram("ffprobe"); }

inline uint64_t Get64At(const std::string& bytes, size_t offset) {
  return Get32At(bytes, offset) | uint64_t{Get32At(bytes, offset + 4)} << 32;
}

// The first `bytes` bytes of a (possibly huge, sparse) file.
inline std::string ReadHead(const std::string& path, int64_t bytes) {
  std::string head(static_cast<size_t>(bytes), '\0');
  LFile file = LFile::Open(path, LFileMode::kRead);
  head.resize(static_cast<size_t>(std::max<int64_t>(file.ReadAt(0, head.data(), bytes), 0)));
  return head;
}

}  // namespace klangor::wavtest
