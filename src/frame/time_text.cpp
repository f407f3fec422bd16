#include "frame/time_text.h"

#include <algorithm>
#include <cstdio>

namespace klangor {

std::string FormatTimeText(int64_t ms) {
  const bool negative = ms < 0;
  int64_t rounded = (negative ? -ms : ms) + 5;
  const int64_t hours = rounded / 3600000;
  const int64_t minutes = rounded / 60000 % 60;
  const int64_t seconds = rounded / 1000 % 60;
  const int64_t hundredths = rounded % 1000 / 10;
  char text[64];
  std::snprintf(text, sizeof text, "%s%lld:%.2lld:%.2lld.%.2lld", negative ? "-" : "",
                static_cast<long long>(hours), static_cast<long long>(minutes),
                static_cast<long long>(seconds), static_cast<long long>(hundredths));
  return text;
}

int64_t ParseTimeText(std::string_view text) {
  // Every number saturates at kLimit, and so does the result in milliseconds: 2^41 ms (about
  // 70 years) lies beyond the largest frame position even at 1 Hz, and converting it to
  // frames at any 32-bit rate stays inside 64 bits.
  constexpr int64_t kLimit = int64_t{1} << 41;
  int64_t whole = 0;      // seconds so far, before the current number
  int64_t current = 0;    // the number being read
  int64_t fractionMs = 0;
  int64_t place = 100;    // the weight in ms of the next fraction digit; 0 when not in one
  bool inFraction = false;
  bool negative = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (inFraction) {
        fractionMs += (c - '0') * place;
        place /= 10;
      } else {
        current = std::min(current * 10 + (c - '0'), kLimit);
      }
    } else if (c == ':') {
      whole = std::min((whole + current) * 60, kLimit);
      current = 0;
      inFraction = false;
    } else if (c == '.') {
      inFraction = true;
      place = 100;
    } else if (c == '-') {
      negative = true;
    }
  }
  const int64_t ms = std::min((whole + current) * 1000 + fractionMs, kLimit);
  return negative ? -ms : ms;
}

}  // namespace klangor
