#pragma once
// A sink that feeds an encoder program through a pipe on its standard input, as 16-bit
// little-endian interleaved samples ((x + 8) >> 4). The program gets an argument vector (no
// shell), /dev/null as output and a pipe for its error text, in a process group of its own.
//
// Writes wait while the encoder is behind, asking the progress object whether the user
// cancelled; Finish closes the pipe and waits for the encoder to end, without a time limit but
// stopping it when the user cancels. The sink fails (kCannotWrite) when the program cannot be
// started, stops reading, ends with a status other than 0 or by a signal, or was stopped;
// Problem() then says why, naming the program. Abandon stops the encoder at once.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/sound_sink.h"
#include "platform/process.h"

namespace klangor {

class LPipeEncoderSink : public LSoundSink {
 public:
  // `arguments[0]` is the program's path; `progress` (may be null) outlives the sink.
  LPipeEncoderSink(const std::vector<std::string>& arguments, int32_t sampleRate, int channels, LProgress* progress);
  ~LPipeEncoderSink() override;

  void Write(const int32_t* frames, int32_t frameCount) override;
  void Seek(int32_t /*frame*/) override {}  // a pipe only goes forward
  void Finish() override;
  void Abandon() override;

  // Why the sink failed (empty while it has not).
  const std::string& Problem() const { return problem_; }
  // True when it failed because the user cancelled while it waited for the encoder.
  bool StoppedByCancel() const { return stoppedByCancel_; }

 private:
  bool CancelledNow();
  void Fail(const std::string& problem);
  bool WriteAll(const uint8_t* bytes, size_t count);

  LChildProcess child_;
  std::string program_;
  LProgress* progress_;
  std::vector<int16_t> buffer_;
  std::string problem_;
  bool finished_ = false;
  bool stoppedByCancel_ = false;
};

}  // namespace klangor
