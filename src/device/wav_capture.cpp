#include "device/wav_capture.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace klangor {
namespace {

constexpr size_t kHeaderBytes = 44;
constexpr size_t kFlushBytes = 1 << 18;
// RIFF sizes are 32-bit: a longer capture keeps the largest sizes that fit.
constexpr int64_t kMaxDataBytes = 0xFFFFFFFFLL - 36;

std::vector<uint8_t> Header(const LDeviceFormat& format, int64_t dataBytes) {
  const uint32_t data = static_cast<uint32_t>(std::min(dataBytes, kMaxDataBytes));
  std::vector<uint8_t> header;
  header.reserve(kHeaderBytes);
  auto text = [&header](const char* four) {
    for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(four[i]));
  };
  text("RIFF");
  AppendLe32(header, 36 + data);
  text("WAVE");
  text("fmt ");
  AppendLe32(header, 16);
  AppendLe16(header, 1);  // PCM
  AppendLe16(header, static_cast<uint32_t>(format.channels));
  AppendLe32(header, static_cast<uint32_t>(format.sampleRate));
  AppendLe32(header, static_cast<uint32_t>(format.sampleRate) * static_cast<uint32_t>(format.BlockAlign()));
  AppendLe16(header, static_cast<uint32_t>(format.BlockAlign()));
  AppendLe16(header, 16);
  text("data");
  AppendLe32(header, data);
  return header;
}

}  // namespace

bool LWavCapture::Open(const std::string& path, const LDeviceFormat& format, std::string* error) {
  Close();
  file_ = LFile::Open(path, LFileMode::kCreateAlways);
  if (!file_.IsOpen()) {
    if (error != nullptr) *error = "cannot create the capture file \"" + path + "\": " + std::strerror(file_.OpenError());
    return false;
  }
  format_ = format;
  dataBytes_ = 0;
  failed_ = false;
  pending_.clear();
  const std::vector<uint8_t> header = Header(format_, 0);
  failed_ = !file_.Write(header.data(), static_cast<int64_t>(header.size()));
  return true;
}

void LWavCapture::Write(const int16_t* samples, int32_t frames) {
  if (!file_.IsOpen() || frames <= 0) return;
  const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(format_.channels);
  for (size_t i = 0; i < count; ++i) AppendLe16(pending_, static_cast<uint16_t>(samples[i]));
  if (pending_.size() >= kFlushBytes) Flush();
}

bool LWavCapture::Flush() {
  if (!file_.IsOpen()) return false;
  if (!pending_.empty()) {
    failed_ = !file_.WriteAt(static_cast<int64_t>(kHeaderBytes) + dataBytes_, pending_.data(),
                             static_cast<int64_t>(pending_.size())) ||
              failed_;
    dataBytes_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
  }
  const std::vector<uint8_t> header = Header(format_, dataBytes_);
  failed_ = !file_.WriteAt(0, header.data(), static_cast<int64_t>(header.size())) || failed_;
  return !failed_;
}

void LWavCapture::Close() {
  if (!file_.IsOpen()) return;
  Flush();
  file_.Close();
}

}  // namespace klangor
