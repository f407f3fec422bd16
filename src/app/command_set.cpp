#include "app/command_set.h"

#include "app/file_commands.h"
#include "edit/edit_commands.h"
#include "effects/dynamics_commands.h"
#include "effects/echo_commands.h"
#include "effects/gain_commands.h"
#include "effects/rate_commands.h"
#include "effects/speed_pitch.h"
#include "frame/view_commands.h"

namespace klangor {

void AddAllCommands(LCommandTable& table) {
  AddFileCommands(table);
  AddEditCommands(table);
  AddGainCommands(table);
  AddEchoCommands(table);
  AddDynamicsCommands(table);
  AddSpeedPitchCommands(table);
  AddConvertCommands(table);
  AddViewCommands(table);
}

}  // namespace klangor
