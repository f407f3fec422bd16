#pragma once
// The bit reader of the Layer III decoder: most significant bit first, over a buffer that the
// owner follows with kMp3BitPaddingBytes zero bytes. Past the end of the data it reads zeros,
// however far a damaged stream sends it, so every read is safe.

#include <cstdint>
#include <cstring>

namespace klangor {

inline constexpr int kMp3BitPaddingBytes = 8;

class LMp3BitReader {
 public:
  LMp3BitReader(const uint8_t* data, int64_t bytes) : data_(data), bytes_(bytes) {}

  // The next 32 bits, left-aligned, without consuming them.
  uint32_t Peek32() const {
    const int64_t byte = position_ >> 3;
    if (byte >= bytes_) return 0;
    uint64_t word;
    std::memcpy(&word, data_ + byte, sizeof word);  // within the data plus its zero padding
    word = __builtin_bswap64(word);
    return static_cast<uint32_t>((word << (position_ & 7)) >> 32);
  }

  // The next 64 bits, left-aligned, without consuming them; at least the first 57 are the
  // stream's (the rest may be zero).
  uint64_t Peek64() const {
    const int64_t byte = position_ >> 3;
    if (byte >= bytes_) return 0;
    uint64_t word;
    std::memcpy(&word, data_ + byte, sizeof word);
    return __builtin_bswap64(word) << (position_ & 7);
  }

  // `count` bits (0 to 32) as an unsigned number.
  uint32_t Read(int count) {
    if (count == 0) return 0;
    const uint32_t value = Peek32() >> (32 - count);
    position_ += count;
    return value;
  }
  bool ReadBit() { return Read(1) != 0; }

  void Skip(int64_t count) { position_ += count; }
  int64_t Position() const { return position_; }
  void SetPosition(int64_t bits) { position_ = bits; }
  int64_t SizeBits() const { return bytes_ * 8; }

 private:
  const uint8_t* data_;
  int64_t bytes_;
  int64_t position_ = 0;
};

}  // namespace klangor
