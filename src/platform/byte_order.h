#pragma once
// Little- and big-endian integers in byte buffers: file headers, chunk sizes, records.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace klangor {

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t LoadLe64(const uint8_t* p) { return LoadLe32(p) | uint64_t{LoadLe32(p + 4)} << 32; }
inline uint16_t LoadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t LoadBe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
// The four bytes at `offset` of a byte string (the caller checks that they are there).
inline uint32_t LoadLe32(std::string_view bytes, size_t offset) {
  return LoadLe32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

inline void StoreLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLe64(uint8_t* p, uint64_t v) {
  StoreLe32(p, static_cast<uint32_t>(v));
  StoreLe32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void StoreBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void StoreBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Appends to a growing std::string or std::vector<uint8_t>.
template <class Bytes>
void AppendLe16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<typename Bytes::value_type>(v & 0xFF));
  out.push_back(static_cast<typename Bytes::value_type>((v >> 8) & 0xFF));
}
template <class Bytes>
void AppendLe32(Bytes& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<typename Bytes::value_type>((v >> shift) & 0xFF));
}

}  // namespace klangor
