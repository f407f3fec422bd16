#pragma once
// Text helpers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace klangor {

// The first `maxCharacters` characters of `text`. Characters are UTF-8 sequences; a byte that
// starts no valid sequence counts as one character, so any byte string is cut safely and a
// valid sequence is never split.
std::string CutToCharacters(std::string_view text, size_t maxCharacters);
// The longest start of `text` of at most `maxBytes` bytes that splits no valid UTF-8 sequence.
std::string CutToBytes(std::string_view text, size_t maxBytes);
// UTF-8 text in ISO 8859-1: each character beyond U+00FF (and each byte that starts no valid
// sequence) becomes "?".
std::string Utf8ToLatin1(std::string_view text);

// The leading integer of `text` as a text field or a stored value holds it: blanks, an
// optional sign, then decimal digits up to the first other character; beyond the 32-bit range
// it saturates (so "-2147483648" is INT32_MIN). No digits give 0 (nothing for the second).
int32_t SaturatingIntOfText(std::string_view text);
std::optional<int32_t> LeadingIntOfText(std::string_view text);

}  // namespace klangor
