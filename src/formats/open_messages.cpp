#include "formats/open_messages.h"

namespace klangor {

std::string CorruptFileMessage(const std::string& fileName) {
  return "Cannot open the file \"" + fileName + "\" because it is corrupt.";
}

std::string AccessFileMessage(const std::string& fileName) {
  return "Cannot open the file \"" + fileName + "\". Check it exists and you have read access.";
}

std::string CodecMissingMessage(const std::string& fileName) {
  return "Cannot open the file \"" + fileName +
         "\" because the required codec is not installed on this PC.\r\n\r\n"
         "Install the FFmpeg codec libraries (libavcodec) to add the codec then reattempt to load it.";
}

std::string PlainOpenMessage(const std::string& fileName) {
  return "Cannot open the file \"" + fileName + "\".";
}

std::string CannotCreateMessage(const std::string& fileName) {
  return "Kann Datei nicht erstellen\"" + fileName + "\"zum Speichern.";
}

std::string WaveOpenMessage(LStreamState state, const std::string& fileName) {
  switch (state) {
    case LStreamState::kOk: return {};
    case LStreamState::kCorrupt: return CorruptFileMessage(fileName);
    case LStreamState::kCannotOpen: return AccessFileMessage(fileName);
    case LStreamState::kCodecMissing: return CodecMissingMessage(fileName);
    default: return PlainOpenMessage(fileName);
  }
}

}  // namespace klangor
