#include "formats/gsm_frame.h"

#include <cstddef>

namespace klangor {
namespace {

constexpr int kLarBits[kGsmLpcOrder] = {6, 6, 5, 5, 4, 4, 3, 3};

class LBitWriter {
 public:
  explicit LBitWriter(uint8_t* bytes) : bytes_(bytes) {}
  void Put(int value, int bits) {
    for (int b = bits - 1; b >= 0; --b) {
      const int bit = (value >> b) & 1;
      if (bit_ == 0) bytes_[byte_] = 0;
      bytes_[byte_] = static_cast<uint8_t>(bytes_[byte_] | bit << (7 - bit_));
      if (++bit_ == 8) {
        bit_ = 0;
        ++byte_;
      }
    }
  }

 private:
  uint8_t* bytes_;
  int byte_ = 0;
  int bit_ = 0;
};

class LBitReader {
 public:
  explicit LBitReader(const uint8_t* bytes) : bytes_(bytes) {}
  int16_t Get(int bits) {
    int value = 0;
    for (int b = 0; b < bits; ++b) {
      value = value << 1 | ((bytes_[position_ >> 3] >> (7 - (position_ & 7))) & 1);
      ++position_;
    }
    return static_cast<int16_t>(value);
  }

 private:
  const uint8_t* bytes_;
  int position_ = 0;
};

}  // namespace

void PackGsmFrame(const LGsmParameters& parameters, uint8_t* bytes) {
  LBitWriter out(bytes);
  out.Put(0xD, 4);
  for (int i = 0; i < kGsmLpcOrder; ++i) out.Put(parameters.larc[static_cast<size_t>(i)], kLarBits[i]);
  for (const LGsmSubframe& sub : parameters.subframes) {
    out.Put(sub.nc, 7);
    out.Put(sub.bc, 2);
    out.Put(sub.rpe.mc, 2);
    out.Put(sub.rpe.xmaxc, 6);
    for (int16_t x : sub.rpe.xmc) out.Put(x, 3);
  }
}

void UnpackGsmFrame(const uint8_t* bytes, LGsmParameters* parameters) {
  LBitReader in(bytes);
  in.Get(4);
  for (int i = 0; i < kGsmLpcOrder; ++i) parameters->larc[static_cast<size_t>(i)] = in.Get(kLarBits[i]);
  for (LGsmSubframe& sub : parameters->subframes) {
    sub.nc = in.Get(7);
    sub.bc = in.Get(2);
    sub.rpe.mc = in.Get(2);
    sub.rpe.xmaxc = in.Get(6);
    for (int16_t& x : sub.rpe.xmc) x = in.Get(3);
  }
}

}  // namespace klangor
