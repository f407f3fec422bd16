#include "formats/dct_file.h"

#include <algorithm>
#include <vector>

#include "formats/readable_file.h"
#include "platform/byte_order.h"

namespace klangor {
namespace {

constexpr int64_t kPieceBytes = 32768;
constexpr uint32_t kEncryptedFlag = 1u << 1;
constexpr uint32_t kAttachmentsFlag = 1u << 2;

// Little-endian fields read one after the other; a read past the end of the file marks the
// reader as short, and every later read gives 0.
class LFieldReader {
 public:
  explicit LFieldReader(const LFile& file) : file_(file) {}

  uint32_t Read(int bytes) {
    uint8_t field[4] = {0, 0, 0, 0};
    if (file_.ReadAt(offset_, field, bytes) != bytes) short_ = true;
    offset_ += bytes;
    return short_ ? 0 : LoadLe32(field);
  }
  void Skip(int64_t bytes) { offset_ += bytes; }
  int64_t Offset() const { return offset_; }
  bool Short() const { return short_; }

 private:
  const LFile& file_;
  int64_t offset_ = 0;
  bool short_ = false;
};

LDctUnwrap Failure(const char* message) { return {LResult::kFailed, message}; }

}  // namespace

LDctUnwrap UnwrapDctFile(const std::string& path, LFile& output, LProgress& progress) {
  LFile file = OpenReadableFile(path);
  if (!file.IsOpen()) return {};
  const int64_t fileSize = file.Size();
  LFieldReader in(file);

  const uint32_t version = in.Read(2);
  if (in.Short()) return Failure(kDctCorrupt);
  if (version > 3) return Failure(kDctLoadError);
  const uint32_t total = in.Read(4);
  if (in.Short() || int64_t{total} != fileSize) return Failure(kDctCorrupt);
  const uint32_t flags = in.Read(4);
  in.Skip(8);
  if (version >= 2 && (flags & kEncryptedFlag) != 0) {
    return {LResult::kFailed, std::string(kDctEncrypted) +
                                  " Open it with the dictation program that recorded it, which can decrypt it."};
  }
  if (version >= 3) {
    const uint32_t length = in.Read(4);
    if (in.Short() || length >= total) return Failure(kDctCorrupt);
    in.Skip(length);
  }
  in.Skip(4);
  for (int i = 0; i < 11; ++i) in.Skip(in.Read(1));
  in.Skip(1);
  const uint32_t notes = in.Read(4);
  if (in.Short()) return Failure(kDctCorrupt);
  if (notes > total) return Failure(kDctNotesError);
  in.Skip(notes);
  if ((flags & kAttachmentsFlag) != 0) {
    const uint32_t count = in.Read(1);
    for (uint32_t i = 0; i < count && !in.Short(); ++i) {
      in.Skip(in.Read(1));
      const uint32_t size = in.Read(4);
      if (size > total) return Failure(kDctAttachmentError);
      in.Skip(size);
    }
  }
  int64_t payload = 0;
  if (version >= 1) {
    const uint32_t channels = in.Read(1);
    if (in.Short()) return Failure(kDctCorrupt);
    if (channels == 0) return Failure(kDctZeroChannels);
    payload = in.Read(4);
  } else {
    payload = fileSize - in.Offset();
  }
  if (in.Short() || in.Offset() > fileSize) return Failure(kDctCorrupt);

  std::vector<uint8_t> piece(kPieceBytes);
  int64_t copied = 0;
  int64_t offset = in.Offset();
  while (copied < payload) {
    if (progress.Cancelled()) return {LResult::kCancelled, {}};
    const int64_t want = std::min(kPieceBytes, payload - copied);
    const int64_t got = file.ReadAt(offset, piece.data(), want);
    if (got > 0 && !output.Write(piece.data(), got)) return {};
    if (got < want) break;  // the file ends before the stated length
    copied += got;
    offset += got;
    progress.SetProgress(copied, payload);
  }
  return {LResult::kDone, {}};
}

}  // namespace klangor
