#pragma once
// Menu commands by identifier. Each subsystem adds its commands to one table (e.g.
// AddEditCommands in edit/edit_commands.h); the main window and the key bindings dispatch
// through it. A command is a function of the frame model, the user-interface service and the
// settings store, so every command runs the same way in the editor and in tests.

#include <functional>
#include <map>
#include <string>
#include <type_traits>

#include "frame/frame_model.h"
#include "frame/user_interface.h"
#include "settings/settings_store.h"

namespace klangor {

struct LCommandContext {
  LFrameModel& frame;
  LUserInterface& ui;
  LSettingsStore& settings;
};

using LCommandHandler = std::function<void(LCommandContext&)>;

// Each subsystem names its identifiers in an enum class of int (e.g. LEditCommandId); the
// table keys commands by the number.
template <class Id>
  requires std::is_enum_v<Id>
constexpr int CommandId(Id id) {
  return static_cast<int>(id);
}

struct LCommand {
  int id = 0;
  std::string menuText;  // as the menu shows it, with its "&" mnemonic
  LCommandHandler run;
};

class LCommandTable {
 public:
  // Adds or replaces the command with `command.id`.
  void Add(LCommand command);
  const LCommand* Find(int id) const;
  // Runs the command `id`; false when the table has none.
  bool Dispatch(int id, LCommandContext& context) const;
  template <class Id>
    requires std::is_enum_v<Id>
  const LCommand* Find(Id id) const {
    return Find(CommandId(id));
  }
  template <class Id>
    requires std::is_enum_v<Id>
  bool Dispatch(Id id, LCommandContext& context) const {
    return Dispatch(CommandId(id), context);
  }
  const std::map<int, LCommand>& Commands() const { return commands_; }

 private:
  std::map<int, LCommand> commands_;
};

}  // namespace klangor
