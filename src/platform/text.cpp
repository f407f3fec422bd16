#include "platform/text.h"

#include <algorithm>

namespace klangor {
namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when none starts there.
size_t SequenceLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length;
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string CutToCharacters(std::string_view text, size_t maxCharacters) {
  size_t bytes = 0;
  for (size_t characters = 0; characters < maxCharacters && bytes < text.size(); ++characters) {
    const size_t length = SequenceLength(text, bytes);
    bytes += length == 0 ? 1 : length;
  }
  return std::string(text.substr(0, bytes));
}

std::string CutToBytes(std::string_view text, size_t maxBytes) {
  size_t bytes = 0;
  while (bytes < text.size()) {
    const size_t length = std::max<size_t>(SequenceLength(text, bytes), 1);
    if (bytes + length > maxBytes) break;
    bytes += length;
  }
  return std::string(text.substr(0, bytes));
}

std::string Utf8ToLatin1(std::string_view text) {
  std::string latin;
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text, i);
    const auto lead = static_cast<unsigned char>(text[i]);
    if (length == 1) {
      latin += text[i];
    } else if (length == 2 && lead <= 0xc3) {
      latin += static_cast<char>(((lead & 0x1f) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3f));
    } else {
      latin += '?';
    }
    i += std::max<size_t>(length, 1);
  }
  return latin;
}

std::optional<int32_t> LeadingIntOfText(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{INT32_MAX} + 1);
  }
  return static_cast<int32_t>(std::clamp<int64_t>(negative ? -value : value, INT32_MIN, INT32_MAX));
}

int32_t SaturatingIntOfText(std::string_view text) { return LeadingIntOfText(text).value_or(0); }

}  // namespace klangor
