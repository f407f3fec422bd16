#include "dsp/db_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace klangor {
namespace {

struct LDbTables {
  std::array<int32_t, 256> amplitude{};  // indexed by d + 128
  std::array<int32_t, 256> power{};
};

int32_t RoundedGain(double value) {
  constexpr double kLargest = std::numeric_limits<int32_t>::max();
  if (!(value < kLargest)) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::llround(value));
}

const LDbTables& Tables() {
  static const LDbTables tables = [] {
    LDbTables built;
    for (int d = -126; d <= 127; ++d) {
      built.amplitude[static_cast<size_t>(d + 128)] = RoundedGain(std::pow(10.0, d / 20.0) * 16777216.0);
      built.power[static_cast<size_t>(d + 128)] = RoundedGain(std::pow(10.0, d / 10.0) * 16777216.0);
    }
    return built;
  }();
  return tables;
}

size_t IndexOf(int db) { return static_cast<size_t>(std::clamp(db, -128, 127) + 128); }

}  // namespace

int DbByteOfGain(int32_t gainQ24) {
  if (gainQ24 <= 0) return kSilentDb;
  double db = 20.0 * std::log10(gainQ24 / 16777216.0);
  db += gainQ24 >= 16777216 ? 0.5 : -0.5;
  return SaturateDb(static_cast<int>(std::clamp(std::trunc(db), -1000.0, 1000.0)));
}

int32_t GainOfDb(int db) { return Tables().amplitude[IndexOf(db)]; }

int32_t PowerGainOfDb(int db) { return Tables().power[IndexOf(db)]; }

}  // namespace klangor
