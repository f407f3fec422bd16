#include "app/command_set.h"

#include "app/file_commands.h"
#include "edit/edit_commands.h"
#include "effects/effect_commands.h"
#include "frame/view_commands.h"

namespace klangor {

void AddAllCommands(LCommandTable& table) {
  AddFileCommands(table);
  AddEditCommands(table);
  AddEffectCommands(table);
  AddViewCommands(table);
}

}  // namespace klangor
