#include "formats/riff_tags.h"

#include <cstring>
#include <vector>

#include "platform/byte_order.h"
#include "platform/file.h"
#include "platform/text.h"

namespace klangor {
namespace {

struct LInfoRow {
  char id[5];
  const char* name;
  bool written;
};
constexpr LInfoRow kInfoRows[] = {
    {"IART", kTagArtist, true}, {"INAM", kTagAlbum, true},       {"IPRD", kTagTitle, false},
    {"ICOP", kTagDate, true},   {"IGNR", kTagGenre, true},       {"ITRK", kTagTrackNumber, true},
    {"ICMT", kTagComment, true},
};
constexpr size_t kMaxDispBytes = 520;

const LInfoRow* RowOf(const uint8_t* id) {
  for (const LInfoRow& row : kInfoRows) {
    if (std::memcmp(row.id, id, 4) == 0) return &row;
  }
  return nullptr;
}

struct LChunk {
  int64_t at;  // offset of the header
  uint8_t id[4];
  uint32_t size;
};

// The chunks inside the RIFF WAVE form (up to the end of the file); empty when it is none.
std::vector<LChunk> Chunks(const LFile& file, int64_t from, int64_t end) {
  std::vector<LChunk> chunks;
  for (int64_t at = from; at + 8 <= end;) {
    uint8_t header[8];
    if (file.ReadAt(at, header, 8) != 8) break;
    LChunk chunk{at, {}, LoadLe32(header + 4)};
    std::memcpy(chunk.id, header, 4);
    if (chunk.size > end - at - 8) break;  // a size beyond the file ends the walk
    chunks.push_back(chunk);
    at += 8 + chunk.size + (chunk.size & 1);
  }
  return chunks;
}

bool IsRiffWave(const LFile& file) {
  uint8_t form[12];
  return file.ReadAt(0, form, 12) == 12 && std::memcmp(form, "RIFF", 4) == 0 && std::memcmp(form + 8, "WAVE", 4) == 0;
}

std::string TextAt(const LFile& file, int64_t at, uint32_t bytes) {
  std::string text(std::min<uint32_t>(bytes, 65536), '\0');
  const int64_t got = file.ReadAt(at, text.data(), static_cast<int64_t>(text.size()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (const size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  return CutToCharacters(text, kMaxTagCharacters);
}

bool IsInfoList(const LFile& file, const LChunk& chunk) {
  uint8_t type[4];
  return std::memcmp(chunk.id, "LIST", 4) == 0 && chunk.size >= 4 && file.ReadAt(chunk.at + 8, type, 4) == 4 &&
         std::memcmp(type, "INFO", 4) == 0;
}

void Put(LTagList& tags, const char* name, const std::string& value, bool merge) {
  if (!merge || !tags.Has(name)) tags.Set(name, value);
}

}  // namespace

bool ReadRiffTags(const std::string& path, LTagList& tags, bool merge) {
  const LFile file = LFile::Open(path, LFileMode::kRead);
  if (!file.IsOpen() || !IsRiffWave(file)) return false;
  for (const LChunk& chunk : Chunks(file, 12, file.Size())) {
    if (IsInfoList(file, chunk)) {
      for (const LChunk& sub : Chunks(file, chunk.at + 12, chunk.at + 8 + chunk.size)) {
        if (const LInfoRow* row = RowOf(sub.id)) Put(tags, row->name, TextAt(file, sub.at + 8, sub.size), merge);
      }
    } else if (std::memcmp(chunk.id, "DISP", 4) == 0 && chunk.size >= 4) {
      uint8_t format[4];
      if (file.ReadAt(chunk.at + 8, format, 4) == 4 && LoadLe32(format) != 0) {
        Put(tags, kTagTitle, TextAt(file, chunk.at + 12, chunk.size - 4), merge);
      }
    }
  }
  return true;
}

bool WriteRiffTags(const LTagList& given, const std::string& path) {
  LTagList tags = given;
  if (!ReadRiffTags(path, tags, true)) return false;
  LFile file = LFile::Open(path, LFileMode::kReadWrite);
  if (!file.IsOpen()) return false;

  struct LFree {
    int64_t at;
    uint32_t size;
    bool used;
  };
  std::vector<LFree> free;
  std::vector<LChunk> disps;
  bool ok = true;
  for (const LChunk& chunk : Chunks(file, 12, file.Size())) {
    if (IsInfoList(file, chunk)) {
      for (const LChunk& sub : Chunks(file, chunk.at + 12, chunk.at + 8 + chunk.size)) {
        if (RowOf(sub.id) == nullptr) continue;
        ok = file.WriteAt(sub.at, "    ", 4) && ok;
        free.push_back({sub.at, sub.size, false});
      }
    } else if (std::memcmp(chunk.id, "DISP", 4) == 0) {
      disps.push_back(chunk);
    }
  }

  // Each value goes into a freed sub-chunk of its size, or into the new list.
  std::string list;
  for (const LInfoRow& row : kInfoRows) {
    const std::string value = CleanTagValue(tags.Get(row.name));
    if (!row.written || value.empty()) continue;
    const auto size = static_cast<uint32_t>(value.size() + 1);
    bool placed = false;
    for (LFree& slot : free) {
      if (slot.used || slot.size != size) continue;
      ok = file.WriteAt(slot.at, row.id, 4) && file.WriteAt(slot.at + 8, value.c_str(), size) && ok;
      slot.used = placed = true;
      break;
    }
    if (placed) continue;
    uint8_t header[8];
    std::memcpy(header, row.id, 4);
    StoreLe32(header + 4, size);
    list.append(reinterpret_cast<const char*>(header), 8);
    list.append(value.c_str(), size);
    if (size & 1) list.push_back('\0');
  }

  int64_t end = file.Size();
  auto append = [&](const char* id, const std::string& body) {
    if (end & 1) ok = file.WriteAt(end++, "", 1) && ok;
    uint8_t header[8];
    std::memcpy(header, id, 4);
    StoreLe32(header + 4, static_cast<uint32_t>(body.size()));
    ok = file.WriteAt(end, header, 8) && file.WriteAt(end + 8, body.data(), static_cast<int64_t>(body.size())) && ok;
    end += 8 + static_cast<int64_t>(body.size());
    if (body.size() & 1) ok = file.WriteAt(end++, "", 1) && ok;
  };
  if (!list.empty()) append("LIST", "INFO" + list);

  // The title: format word 1, the text and its terminator (the size counts both).
  const std::string title = CutToBytes(CleanTagValue(tags.Get(kTagTitle)), kMaxDispBytes - 8 - 5);
  if (!title.empty()) {
    std::string body("\1\0\0\0", 4);
    body += title;
    body.push_back('\0');
    bool placed = false;
    for (const LChunk& disp : disps) {
      if (!placed && disp.size == body.size()) {
        ok = file.WriteAt(disp.at + 8, body.data(), static_cast<int64_t>(body.size())) && ok;
        placed = true;
      } else {
        ok = file.WriteAt(disp.at, "JUNK", 4) && ok;  // an old title that is not reused
      }
    }
    if (!placed) append("DISP", body);
  }

  uint8_t riffSize[4];
  StoreLe32(riffSize, static_cast<uint32_t>(std::min<int64_t>(end - 8, 0xFFFFFFFF)));
  return file.WriteAt(4, riffSize, 4) && ok;
}

}  // namespace klangor
