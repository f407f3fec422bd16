#include "batch/batch_script.h"

#include <algorithm>

#include "platform/small_file.h"

namespace klangor {
namespace {

uint32_t Get32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return value;
}

void Put32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
}

}  // namespace

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
    command.number = Get32(bytes, at);
    const uint32_t length = Get32(bytes, at + 4);
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
    Put32(bytes, command.number);
    Put32(bytes, static_cast<uint32_t>(command.data.size()));
    bytes.append(command.data.begin(), command.data.end());
  }
  return bytes;
}

bool SaveBatchScript(const std::string& path, const std::vector<LBatchCommand>& commands) {
  return ReplaceSmallFile(path, SerialiseBatchScript(commands));
}

}  // namespace klangor
