#include "batch/level_text.h"

namespace klangor {

std::string LevelsText(const LLevelRecord& levels) {
  std::string text;
  for (int c = 0; c < levels.channels && c < 8; ++c) {
    const int level = levels.levels[static_cast<size_t>(c)];
    text += level <= -127 ? " --" : " " + std::to_string(level);
  }
  text += levels.channels > 0 ? " dB   " : "   ";
  return text;
}

}  // namespace klangor
