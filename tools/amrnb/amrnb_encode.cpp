// amrnb-encode MODE INPUT OUTPUT: encodes 8000 Hz mono 16-bit samples as an AMR narrowband
// file (RFC 4867 storage format) through libopencore-amrnb. INPUT is a WAV file of that
// format, or "-" for raw little-endian samples on standard input. MODE is MR475, MR515, MR59,
// MR67, MR74, MR795, MR102 or MR122. Exit status 0 when the whole input was encoded.

#include <opencore-amrnb/interf_enc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "amrnb-encode: %s\n", text.c_str());
  return 1;
}

uint32_t Le32(const unsigned char* b) { return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24; }
uint16_t Le16(const unsigned char* b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }

// Places `in` at the first sample of a WAV file of 8000 Hz mono 16-bit PCM; the data's size.
bool SkipWaveHeader(FILE* in, std::string* problem, uint64_t* dataBytes) {
  unsigned char riff[12];
  if (std::fread(riff, 1, 12, in) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
    *problem = "the input is not a WAV file";
    return false;
  }
  bool format = false;
  for (;;) {
    unsigned char chunk[8];
    if (std::fread(chunk, 1, 8, in) != 8) {
      *problem = "the input has no data chunk";
      return false;
    }
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && size <= 4096) {
      unsigned char fmt[4096];
      if (std::fread(fmt, 1, size + (size & 1), in) < size) break;
      if (Le16(fmt) != 1 || Le16(fmt + 2) != 1 || Le32(fmt + 4) != 8000 || Le16(fmt + 14) != 16) {
        *problem = "the input is not 8000 Hz mono 16-bit PCM";
        return false;
      }
      format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!format) break;
      *dataBytes = size;
      return true;
    } else if (std::fseek(in, static_cast<long>(size) + (size & 1), SEEK_CUR) != 0) {
      break;
    }
  }
  *problem = "the input's WAV header is broken";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  static const char* const kModes[] = {"MR475", "MR515", "MR59", "MR67", "MR74", "MR795", "MR102", "MR122"};
  if (argc != 4) return Fail("usage: amrnb-encode MODE INPUT OUTPUT");
  int mode = -1;
  for (int i = 0; i < 8; ++i) {
    if (std::strcmp(argv[1], kModes[i]) == 0) mode = i;
  }
  if (mode < 0) return Fail(std::string("unknown mode ") + argv[1]);
  const bool piped = std::strcmp(argv[2], "-") == 0;
  FILE* in = piped ? stdin : std::fopen(argv[2], "rb");
  if (in == nullptr) return Fail(std::string("cannot open ") + argv[2]);
  uint64_t left = UINT64_MAX;
  std::string problem;
  if (!piped && !SkipWaveHeader(in, &problem, &left)) return Fail(problem);
  if (left == 0xFFFFFFFFu) left = UINT64_MAX;  // a size left open runs to the end
  FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) return Fail(std::string("cannot create ") + argv[3]);
  void* encoder = Encoder_Interface_init(0);
  bool written = std::fwrite("#!AMR\n", 1, 6, out) == 6;
  for (;;) {
    unsigned char bytes[320];
    const size_t want = left < sizeof bytes ? static_cast<size_t>(left) : sizeof bytes;
    const size_t got = want == 0 ? 0 : std::fread(bytes, 1, want, in);
    if (got == 0) break;
    left -= got;
    short speech[160] = {};
    for (size_t i = 0; i + 1 < got; i += 2) speech[i / 2] = static_cast<short>(Le16(bytes + i));
    unsigned char frame[64];
    const int size = Encoder_Interface_Encode(encoder, static_cast<Mode>(mode), speech, frame, 0);
    if (size > 0) written = std::fwrite(frame, 1, static_cast<size_t>(size), out) == static_cast<size_t>(size) && written;
    if (got < want) break;
  }
  Encoder_Interface_exit(encoder);
  const bool readOk = !std::ferror(in);
  written = std::fclose(out) == 0 && written;
  if (!readOk) return Fail("reading the input failed");
  if (!written) return Fail(std::string("writing ") + argv[3] + " failed");
  return 0;
}
