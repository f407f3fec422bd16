#pragma once
// The menu commands of the dynamics effects.

#include "frame/command_table.h"

namespace klangor {

enum LDynamicsCommandId : int {
  kCmdCompressor = 4020,  // "Dynamic Range Compressor..."
  kCmdAutoVolume = 4021,  // "Automatische Lautstärken Kontrolle"
};

void AddDynamicsCommands(LCommandTable& table);

}  // namespace klangor
