#pragma once
// The capture file of the virtual device: 16-bit PCM WAV of exactly the frames the device
// played, its sizes patched when it is closed (and at every flush, so a file that is read
// while the device plays is a valid WAV file up to that point).

#include <cstdint>
#include <string>
#include <vector>

#include "device/wave_out.h"
#include "platform/file.h"

namespace klangor {

class LWavCapture {
 public:
  LWavCapture() = default;
  ~LWavCapture() { Close(); }
  LWavCapture(const LWavCapture&) = delete;
  LWavCapture& operator=(const LWavCapture&) = delete;

  // Creates (or empties) `path`; false with `error` set when it cannot be created.
  bool Open(const std::string& path, const LDeviceFormat& format, std::string* error);
  bool IsOpen() const { return file_.IsOpen(); }
  void Write(const int16_t* samples, int32_t frames);
  // Writes what is buffered and patches the header; false when a write failed.
  bool Flush();
  void Close();

 private:
  LFile file_;
  LDeviceFormat format_;
  std::vector<uint8_t> pending_;
  int64_t dataBytes_ = 0;
  bool failed_ = false;
};

}  // namespace klangor
