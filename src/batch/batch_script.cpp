#include "batch/batch_script.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "platform/small_file.h"

namespace klangor {
LScriptLoad ParseBatchScript(const std::string& bytes) {
  LScriptLoad result;
  if (bytes.empty() || bytes[0] != 0) {
    result.status = LScriptStatus::kWrongVersion;
    return result;
  }
  result.status = LScriptStatus::kLoaded;
  size_t at = 1;
  while (bytes.size() - at >= 8) {
    LBatchCommand command;
    command.number = LoadLe32(bytes, at);
    const uint32_t length = LoadLe32(bytes, at + 4);
    at += 8;
    const size_t available = std::min<size_t>(length, bytes.size() - at);
    command.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + available));
    at += available;
    result.commands.push_back(std::move(command));
  }
  return result;
}

LScriptLoad LoadBatchScript(const std::string& path) {
  std::string bytes;
  if (ReadSmallFile(path, &bytes) != LReadStatus::kRead) return {};
  return ParseBatchScript(bytes);
}

std::string SerialiseBatchScript(const std::vector<LBatchCommand>& commands) {
  std::string bytes(1, '\0');
  for (const LBatchCommand& command : commands) {
    AppendLe32(bytes, command.number);
    AppendLe32(bytes, static_cast<uint32_t>(command.data.size()));
    bytes.append(command.data.begin(), command.data.end());
  }
  return bytes;
}

bool SaveBatchScript(const std::string& path, const std::vector<LBatchCommand>& commands) {
  return ReplaceSmallFile(path, SerialiseBatchScript(commands));
}

}  // namespace klangor
