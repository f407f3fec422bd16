#include "app/key_file.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/small_file.h"
#include "platform/paths.h"

namespace klangor {
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
    binding.keyCode = LoadLe32(bytes, offset);
    const size_t count = static_cast<uint8_t>(bytes[offset + 4]);
    offset += 5;
    if (bytes.size() - offset < 4 * count) break;  // cut short: the list ends here
    for (size_t k = 0; k < count; ++k, offset += 4) {
      binding.commands.push_back(static_cast<int32_t>(LoadLe32(bytes, offset)));
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
