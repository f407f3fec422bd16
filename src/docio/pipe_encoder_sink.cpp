#include "docio/pipe_encoder_sink.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "docio/decoder_program.h"
#include "platform/paths.h"

namespace klangor {
namespace {

constexpr int kStepMs = 250;  // how often a waiting write or the final wait asks about cancel

// write() on a pipe whose reader is gone raises SIGPIPE, which would end the program: it is
// blocked around the call, and one that is pending afterwards is taken away.
ssize_t WriteWithoutSigpipe(int fd, const void* data, size_t bytes) {
  sigset_t pipe, old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  const ssize_t written = ::write(fd, data, bytes);
  const int error = errno;
  if (written < 0 && error == EPIPE) {
    const timespec none{0, 0};
    while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return written;
}

}  // namespace

LPipeEncoderSink::LPipeEncoderSink(const std::vector<std::string>& arguments, int32_t sampleRate, int channels,
                                   LProgress* progress)
    : LSoundSink(sampleRate, channels),
      program_(arguments.empty() ? std::string() : FileNameOf(arguments[0])),
      progress_(progress) {
  if (arguments.empty()) {
    Fail("no encoder program");
    return;
  }
  LSpawnOptions options;
  options.input = LChildDescriptor::Pipe();
  options.error = LChildDescriptor::Pipe();
  child_ = LChildProcess::Start(arguments, options);
  if (!child_.Started()) {
    Fail("the encoder \"" + program_ + "\" could not be started.");
    return;
  }
  ::fcntl(child_.InputPipe(), F_SETFL, ::fcntl(child_.InputPipe(), F_GETFL) | O_NONBLOCK);
  // A pipe of 1 MiB instead of 64 KiB: fewer switches between Klangor and the encoder (the
  // system's limit may refuse it, which only costs speed).
  ::fcntl(child_.InputPipe(), F_SETPIPE_SZ, 1 << 20);
}

LPipeEncoderSink::~LPipeEncoderSink() { Finish(); }

bool LPipeEncoderSink::CancelledNow() {
  if (progress_ == nullptr || !progress_->Cancelled()) return false;
  stoppedByCancel_ = true;
  return true;
}

void LPipeEncoderSink::Fail(const std::string& problem) {
  if (problem_.empty()) problem_ = problem;
  SetError(kCannotWrite);
}

bool LPipeEncoderSink::WriteAll(const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = WriteWithoutSigpipe(child_.InputPipe(), bytes, count);
    if (written > 0) {
      bytes += written;
      count -= static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return false;  // EPIPE: the encoder stopped reading
    // The encoder is behind: wait for room, keeping its error text flowing.
    pollfd poller{child_.InputPipe(), POLLOUT, 0};
    ::poll(&poller, 1, kStepMs);
    child_.Wait(0);
    if (poller.revents == 0 && CancelledNow()) {
      Abandon();
      return false;
    }
  }
  return true;
}

void LPipeEncoderSink::Write(const int32_t* frames, int32_t frameCount) {
  if (frameCount <= 0) return;
  AddFramesWritten(frameCount);
  if (Failed() || finished_) return;
  const size_t samples = static_cast<size_t>(frameCount) * static_cast<size_t>(Channels());
  buffer_.resize(samples);
  for (size_t i = 0; i < samples; ++i) buffer_[i] = static_cast<int16_t>((frames[i] + 8) >> 4);
  if (!WriteAll(reinterpret_cast<const uint8_t*>(buffer_.data()), samples * sizeof(int16_t)) && !Failed()) {
    // The encoder stopped reading: its end tells why.
    child_.CloseInput();
    child_.Wait(2000);
    if (child_.Running()) child_.Stop();
    const LExitStatus status = child_.Status();
    std::string why = "the encoder \"" + program_ + "\" stopped reading";
    if (status.exited) why += " (exit status " + std::to_string(status.exitCode) + ")";
    if (!status.exited && status.signal != 0) why += " (ended by signal " + std::to_string(status.signal) + ")";
    const std::string line = LastLine(child_.ErrorText());
    Fail(why + "." + (line.empty() ? "" : "\r\n\r\n" + line));
  }
}

void LPipeEncoderSink::Abandon() {
  if (!child_.Running()) return;
  child_.Stop();
  Fail("the encoder \"" + program_ + "\" was stopped.");
}

void LPipeEncoderSink::Finish() {
  if (finished_) return;
  finished_ = true;
  child_.CloseInput();
  if (!child_.Started()) return;
  while (!child_.Wait(kStepMs)) {
    if (CancelledNow()) {
      Abandon();
      return;
    }
  }
  const LExitStatus status = child_.Status();
  if (status.Success()) return;
  Fail(ProgramFailedText("encoder", program_, status, child_.ErrorText()));
}

}  // namespace klangor
