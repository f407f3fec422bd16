#include "app/forwarded_block.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/byte_order.h"

namespace klangor {

std::string EncodeForwardedBlock(const std::vector<std::string>& arguments) {
  std::string block(kForwardedBlockBytes, '\0');
  const size_t count = std::min(arguments.size(), kForwardedSlots);
  StoreLe32(reinterpret_cast<uint8_t*>(block.data()), static_cast<uint32_t>(count));
  for (size_t i = 0; i < count; ++i) {
    const size_t length = std::min(arguments[i].size(), kForwardedSlotBytes - 1);
    std::memcpy(block.data() + 4 + i * kForwardedSlotBytes, arguments[i].data(), length);
  }
  return block;
}

std::optional<std::vector<std::string>> DecodeForwardedBlock(std::string_view block) {
  if (block.size() != kForwardedBlockBytes) return std::nullopt;
  const int32_t stated = static_cast<int32_t>(LoadLe32(reinterpret_cast<const uint8_t*>(block.data())));
  const size_t count = static_cast<size_t>(std::clamp<int32_t>(stated, 0, kForwardedSlots));
  std::vector<std::string> arguments;
  arguments.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    std::string_view slot = block.substr(4 + i * kForwardedSlotBytes, kForwardedSlotBytes - 1);
    arguments.emplace_back(slot.substr(0, slot.find('\0')));
  }
  return arguments;
}

}  // namespace klangor
