#pragma once
// The block a later start sends to the running instance: its command line in 33284 bytes.
//
// Layout: a 32-bit little-endian argument count (at most 128), then 128 slots of 260 bytes,
// each holding one zero-terminated argument of at most 259 characters (longer ones are cut).
// Argument 0, the program path, is included. The receiver accepts only blocks of exactly this
// size.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace klangor {

inline constexpr size_t kForwardedSlots = 128;
inline constexpr size_t kForwardedSlotBytes = 260;
inline constexpr size_t kForwardedBlockBytes = 4 + kForwardedSlots * kForwardedSlotBytes;  // 33284

// The block of the first 128 arguments.
std::string EncodeForwardedBlock(const std::vector<std::string>& arguments);

// The arguments of a block; nothing when its size is not exactly 33284 bytes. A count above
// 128 (or below 0) is capped; a slot without its terminating zero yields its first 259 bytes.
std::optional<std::vector<std::string>> DecodeForwardedBlock(std::string_view block);

}  // namespace klangor
