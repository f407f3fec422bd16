#pragma once
// Every command this build has, from every subsystem, in one table for the menus, the bars
// and the keys.

#include "frame/command_table.h"

namespace klangor {

void AddAllCommands(LCommandTable& table);

}  // namespace klangor
