// Test helper: encodes 8000 Hz mono 16-bit little-endian samples from standard input into an
// AMR-NB file (12.2 kbit/s) on standard output, with libopencore-amrnb. Debian's ffmpeg and
// sox cannot write AMR, and the tests need real AMR files.

#include <opencore-amrnb/interf_enc.h>

#include <cstdio>
#include <cstring>

int main() {
  void* encoder = Encoder_Interface_init(0);
  if (encoder == nullptr) return 1;
  std::fwrite("#!AMR\n", 1, 6, stdout);
  short frame[160];
  unsigned char out[64];
  for (;;) {
    std::memset(frame, 0, sizeof frame);
    const size_t got = std::fread(frame, sizeof(short), 160, stdin);
    if (got == 0) break;
    const int bytes = Encoder_Interface_Encode(encoder, MR122, frame, out, 0);
    if (bytes > 0) std::fwrite(out, 1, static_cast<size_t>(bytes), stdout);
    if (got < 160) break;
  }
  Encoder_Interface_exit(encoder);
  return 0;
}
