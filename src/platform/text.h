#pragma once
// Text helpers.

#include <cstddef>
#include <string>
#include <string_view>

namespace klangor {

// The first `maxCharacters` characters of `text`. Characters are UTF-8 sequences; a byte that
// starts no valid sequence counts as one character, so any byte string is cut safely and a
// valid sequence is never split.
std::string CutToCharacters(std::string_view text, size_t maxCharacters);

}  // namespace klangor
