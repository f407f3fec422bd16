#include "app/key_file.h"

#include <algorithm>

#include "platform/small_file.h"
#include "platform/paths.h"

namespace klangor {
namespace {

uint32_t Le32At(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t k = 0; k < 4; ++k) {
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + k])) << (8 * k);
  }
  return value;
}

void AppendLe32(std::string& bytes, uint32_t value) {
  for (int k = 0; k < 4; ++k) bytes += static_cast<char>((value >> (8 * k)) & 0xff);
}

}  // namespace

LKeyFileResult ParseKeyFile(std::string_view bytes) {
  LKeyFileResult result;
  if (bytes.empty()) return result;
  if (static_cast<uint8_t>(bytes[0]) != kKeyFileVersion) {
    result.status = LKeyFileStatus::kWrongVersion;
    return result;
  }
  result.status = LKeyFileStatus::kLoaded;
  size_t offset = 1;
  while (bytes.size() - offset >= 5) {
    LKeyBinding binding;
    binding.keyCode = Le32At(bytes, offset);
    const size_t count = static_cast<uint8_t>(bytes[offset + 4]);
    offset += 5;
    if (bytes.size() - offset < 4 * count) break;  // cut short: the list ends here
    for (size_t k = 0; k < count; ++k, offset += 4) {
      binding.commands.push_back(static_cast<int32_t>(Le32At(bytes, offset)));
    }
    result.bindings.push_back(std::move(binding));
  }
  return result;
}

LKeyFileResult ReadKeyFile(const std::string& path) {
  std::string bytes;
  switch (ReadSmallFile(path, &bytes)) {
    case LReadStatus::kRead: return ParseKeyFile(bytes);
    case LReadStatus::kMissing: return {};
    case LReadStatus::kUnreadable: break;
  }
  return {LKeyFileStatus::kWrongVersion, {}};
}

std::string SerialiseKeyFile(const std::vector<LKeyBinding>& bindings) {
  std::string bytes(1, static_cast<char>(kKeyFileVersion));
  for (const LKeyBinding& binding : bindings) {
    const size_t count = std::min(binding.commands.size(), kMaxCommandsPerKey);
    AppendLe32(bytes, binding.keyCode);
    bytes += static_cast<char>(count);
    for (size_t k = 0; k < count; ++k) AppendLe32(bytes, static_cast<uint32_t>(binding.commands[k]));
  }
  return bytes;
}

bool WriteKeyFile(const std::string& path, const std::vector<LKeyBinding>& bindings) {
  return ReplaceSmallFile(path, SerialiseKeyFile(bindings));
}

std::string KeyFilePath() { return JoinPath(DefaultWorkingFolder(), kKeyFileName); }

}  // namespace klangor
