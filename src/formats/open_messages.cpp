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

std::string UnsupportedFormatMessage(const std::string& fileName) {
  return "Cannot open the file \"" + fileName +
         "\". This means that either the file format is not supported by this program or that a "
         "required codec or plugin is not installed. Please see the list of formats in Klangor's "
         "README.md for more information.";
}

std::string CannotCreateMessage(const std::string& fileName) {
  return "Kann Datei nicht erstellen\"" + fileName + "\"zum Speichern.";
}

std::string NoSpaceToSaveMessage(const std::string& fileName) {
  return "Kann die Datei nicht speichern, \"" + fileName +
         "\" da nicht genügend freier Speicherplatz vorhanden ist. Bitte versuchen Sie die Datei an einem "
         "anderen Ort zu speichern oder löschen Sie alte Dateien und versuche Sie es dann erneut.";
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

std::string OpenMessage(const std::string& extension, LStreamState state, const std::string& fileName) {
  if (state == LStreamState::kOk) return {};
  if (extension == "aif" || extension == "aiff" || extension == "au") {
    return state == LStreamState::kCannotOpen ? AccessFileMessage(fileName) : CorruptFileMessage(fileName);
  }
  if (extension == "mp3") {
    if (state == LStreamState::kCannotOpen) return AccessFileMessage(fileName);
    return "Cannot open the file \"" + fileName +
           "\". It is possibly either corrupt or not a true layer-3 MPEG file.";
  }
  if (extension == "gsm" || extension == "vox" || extension == "raw" || extension == "snd") {
    return AccessFileMessage(fileName);
  }
  return WaveOpenMessage(state, fileName);
}

}  // namespace klangor
