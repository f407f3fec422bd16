#include "frame/command_table.h"

namespace klangor {

void LCommandTable::Add(LCommand command) {
  int id = command.id;
  commands_[id] = std::move(command);
}

const LCommand* LCommandTable::Find(int id) const {
  auto found = commands_.find(id);
  return found == commands_.end() ? nullptr : &found->second;
}

bool LCommandTable::Dispatch(int id, LCommandContext& context) const {
  const LCommand* command = Find(id);
  if (command == nullptr || !command->run) return false;
  command->run(context);
  return true;
}

}  // namespace klangor
