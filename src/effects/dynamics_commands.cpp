#include "effects/dynamics_commands.h"

#include "effects/auto_volume.h"
#include "effects/compressor.h"

namespace klangor {

void AddDynamicsCommands(LCommandTable& table) {
  table.Add({kCmdCompressor, "Dynamic Range Compressor...", CompressorCommand});
  table.Add({kCmdAutoVolume, "Automatische Lautstärken Kontrolle", AutoVolumeCommand});
}

}  // namespace klangor
