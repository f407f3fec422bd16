#pragma once
// Positions as the user reads and types them: "h:mm:ss.hh".

#include <cstdint>
#include <string>
#include <string_view>

namespace klangor {

// "%ld:%.2ld:%.2ld.%.2ld" of hours, minutes, seconds and hundredths, rounded to the nearest
// hundredth, with a leading "-" for negative values: 3723456 ms reads "1:02:03.46".
std::string FormatTimeText(int64_t ms);

// Digits build the current number, each ":" multiplies what was read so far by 60, a "."
// starts the fraction (tenths, hundredths, thousandths), a "-" anywhere makes the value
// negative, and other characters are ignored. "1:02:03.46" gives 3723460 ms. Values saturate
// at 2^41 ms (about 70 years) either way.
int64_t ParseTimeText(std::string_view text);

}  // namespace klangor
