#include "formats/mp3_tables.h"

#include <cmath>
#include <memory>

namespace klangor {
namespace {

// The synthesis window D[0..256] of ISO/IEC 11172-3 (Table 3-B.3) in units of 2^-16, which
// represents every printed coefficient exactly. The other half follows from the symmetry of
// the prototype filter: D[512 - i] = -D[i], except D[512 - i] = D[i] where i is a multiple of 64.
constexpr int32_t kSynthesisWindowHalf[257] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,
    -3,     -3,     -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,
    -10,    -11,    -13,    -14,    -16,    -17,    -19,    -21,    -24,    -26,    -29,
    -31,    -35,    -38,    -41,    -45,    -49,    -53,    -58,    -63,    -68,    -73,
    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,   -132,   -139,   -147,
    -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   213,    218,
    222,    225,    228,    228,    228,    227,    224,    221,    215,    208,    200,
    189,    177,    163,    146,    127,    106,    83,     57,     29,     -2,     -36,
    -72,    -111,   -153,   -197,   -244,   -294,   -347,   -401,   -459,   -519,   -581,
    -645,   -711,   -779,   -848,   -919,   -991,   -1064,  -1137,  -1210,  -1283,  -1356,
    -1428,  -1498,  -1567,  -1634,  -1698,  -1759,  -1817,  -1870,  -1919,  -1962,  -2001,
    -2032,  -2057,  -2075,  -2085,  -2087,  -2080,  -2063,  2037,   2000,   1952,   1893,
    1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,
    -3004,  -3351,  -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,
    -6935,  -7271,  -7597,  -7910,  -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,
    -9727,  -9838,  -9916,  -9959,  -9966,  -9935,  -9863,  -9750,  -9592,  -9389,  -9139,
    -8840,  -8492,  -8092,  -7640,  -7134,  6574,   5959,   5288,   4561,   3776,   2935,
    2037,   1082,   70,     -998,   -2122,  -3300,  -4533,  -5818,  -7154,  -8540,  -9975,
    -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289,
    -30112, -31947, -33791, -35640, -37489, -39336, -41176, -43006, -44821, -46617, -48390,
    -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684, -64019, -65290,
    -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835, -73415, -73908, -74313,
    -74630, -74856, -74992, 75038,
};

// The coefficients c[i] of the alias reduction butterflies (Table 3-B.9).
constexpr double kAliasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

std::unique_ptr<LMp3Tables> BuildTables() {
  auto t = std::make_unique<LMp3Tables>();
  const double pi = std::acos(-1.0);

  for (int g = 0; g < 256; ++g) t->globalGain[g] = static_cast<float>(std::exp2((g - 210) / 4.0));
  for (int n = 0; n <= 64; ++n) t->halfPowers[n] = static_cast<float>(std::exp2(-n / 2.0));
  for (int n = 0; n <= kMp3LargestQuantised; ++n) {
    t->powerFourThirds[n] = static_cast<float>(std::pow(static_cast<double>(n), 4.0 / 3.0));
  }

  for (int i = 0; i < 8; ++i) {
    const double c = kAliasCoefficients[i];
    const double root = std::sqrt(1.0 + c * c);
    t->aliasCs[i] = static_cast<float>(1.0 / root);
    t->aliasCa[i] = static_cast<float>(c / root);
  }

  for (int p = 0; p < 9; ++p) {
    for (int n = 0; n < 4; ++n) t->dct9[p][n] = static_cast<float>(std::cos(pi * p * (2 * n + 1) / 18));
  }
  for (int n = 0; n < 9; ++n) t->dct4OddScale[n] = static_cast<float>(1.0 / (2 * std::cos(pi * (2 * n + 1) / 36)));
  for (int n = 0; n < 18; ++n) t->dct4Scale[n] = static_cast<float>(1.0 / (2 * std::cos(pi * (2 * n + 1) / 72)));
  for (int i = 0; i < 36; ++i) {
    const double normal = std::sin(pi / 36 * (i + 0.5));
    t->longWindows[0][i] = static_cast<float>(normal);
    // Start block: long rising half, flat, short falling half, zeros.
    double start = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(pi / 12 * (i - 18 + 0.5)) : 0.0;
    t->longWindows[1][i] = static_cast<float>(start);
    t->longWindows[2][i] = 0.0f;
    // Stop block: the mirror image.
    double stop = i < 6 ? 0.0 : i < 12 ? std::sin(pi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
    t->longWindows[3][i] = static_cast<float>(stop);
  }
  for (int i = 0; i < 12; ++i) {
    for (int k = 0; k < 6; ++k) {
      t->shortImdct[i][k] = static_cast<float>(std::cos(pi / 24 * (2 * i + 7) * (2 * k + 1)) *
                                               std::sin(pi / 12 * (i + 0.5)));
    }
  }

  const double windowScale = static_cast<double>(kMp3OutputFullScale) / 65536.0;
  for (int i = 0; i <= 256; ++i) {
    t->synthesisWindow[i] = static_cast<float>(kSynthesisWindowHalf[i] * windowScale);
  }
  for (int i = 1; i < 256; ++i) {
    const int32_t d = i % 64 == 0 ? kSynthesisWindowHalf[i] : -kSynthesisWindowHalf[i];
    t->synthesisWindow[512 - i] = static_cast<float>(d * windowScale);
  }
  int offset = 0;
  for (int n = 32; n >= 2; n /= 2) {
    for (int k = 0; k < n / 2; ++k) {
      t->dctFactors[offset + k] = static_cast<float>(1.0 / (2.0 * std::cos(pi * (2 * k + 1) / (2.0 * n))));
    }
    offset += n / 2;
  }

  for (int p = 0; p < 7; ++p) {
    // tan(p pi / 12) / (1 + tan) and 1 / (1 + tan), written without the pole at p = 6.
    const double s = std::sin(p * pi / 12);
    const double c = std::cos(p * pi / 12);
    t->intensityLeft[p] = static_cast<float>(s / (s + c));
    t->intensityRight[p] = static_cast<float>(c / (s + c));
  }
  return t;
}

}  // namespace

const LMp3Tables& Mp3Tables() {
  static const std::unique_ptr<LMp3Tables> tables = BuildTables();
  return *tables;
}

}  // namespace klangor
