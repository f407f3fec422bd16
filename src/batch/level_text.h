#pragma once
// The levels part of klangor-batch's one-line status displays (--play, --record): each
// channel's level in dB ("--" for silence), at most eight.

#include <string>

#include "player/player_listener.h"

namespace klangor {

std::string LevelsText(const LLevelRecord& levels);

}  // namespace klangor
