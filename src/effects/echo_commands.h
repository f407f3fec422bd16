#pragma once
// The menu commands of the echo, reverb and modulation effects, the distortion and the two
// character effects (free identifiers from 4110 on).

#include "frame/command_table.h"

namespace klangor {

enum LEchoCommandId : int {
  kCmdEcho = 4110,        // "Echo..."
  kCmdReverb = 4111,      // "Hall..."
  kCmdPhaser = 4112,      // "Phaser..."
  kCmdFlanger = 4113,     // "Flanger"
  kCmdChorus = 4114,      // "Chorus..."
  kCmdDistortion = 4115,  // "Verzerrung"
  kCmdAmRadio = 4116,     // "AM Radioeffekt"
  kCmdTelephone = 4117,   // "Telefoneffekt"
};

void AddEchoCommands(LCommandTable& table);

}  // namespace klangor
