#include "app/key_table.h"

#include <algorithm>

#include "frame/menu_layout.h"
#include "store/sound_document.h"

namespace klangor {
namespace {

const LKeyBinding* Find(const std::vector<LKeyBinding>& bindings, uint32_t code) {
  for (const LKeyBinding& binding : bindings) {
    if (binding.keyCode == code) return &binding;
  }
  return nullptr;
}

bool IsCueKey(uint32_t key) { return key == kVkLeft || key == kVkRight || key == KeyF(7) || key == KeyF(8); }

}  // namespace

std::vector<LKeyBinding> DefaultKeyBindings() {
  std::vector<LKeyBinding> bindings;
  auto add = [&](uint32_t code, int command) {
    if (Find(bindings, code) == nullptr) bindings.push_back({code, {command}});
  };
  for (const LMenuEntry* entry : MenuCommands()) {
    if (entry->key == 0) continue;
    add(entry->key, entry->id);
    const uint32_t modifiers = entry->key & kKeyModifiers;
    const uint32_t key = entry->key & ~kKeyModifiers;
    if (key == kVkOemPlus) add(modifiers | kVkAdd, entry->id);
    if (key == kVkOemMinus) add(modifiers | kVkSubtract, entry->id);
  }
  add(kVkLeft, kCmdRewind);
  add(kVkRight, kCmdForward);
  add(kKeyShift | kVkLeft, kCmdRewind);
  add(kKeyShift | kVkRight, kCmdForward);
  add(kKeyShift | KeyF(7), kCmdRewind);
  add(kKeyShift | KeyF(8), kCmdForward);
  return bindings;
}

LKeyTable::LKeyTable(std::vector<LKeyBinding> user) : user_(std::move(user)), builtIn_(DefaultKeyBindings()) {}

std::vector<int32_t> LKeyTable::CommandsOf(uint32_t code) const {
  if (const LKeyBinding* binding = Find(user_, code)) return binding->commands;
  if (const LKeyBinding* binding = Find(builtIn_, code)) return binding->commands;
  return {};
}

LKeyTable::LKeyResult LKeyTable::KeyDown(uint32_t code, bool autoRepeat, LSoundDocument* active,
                                         const std::function<void(int)>& run) {
  if (const LKeyBinding* binding = Find(user_, code)) {
    for (int32_t command : binding->commands) run(command);
    return LKeyResult::kConsumed;
  }
  const uint32_t key = code & ~kKeyModifiers;
  if (key == kVkShift) {
    if (active != nullptr && !selecting_) {
      selecting_ = true;
      anchor_ = active->cursor;
    }
    return LKeyResult::kUnused;
  }
  if (selecting_ && active != nullptr && (code == (kKeyShift | kVkHome) || code == (kKeyShift | kVkEnd))) {
    const int32_t to = key == kVkHome ? 0 : active->Length();
    active->SetSelection(std::min(anchor_, active->Length()), to, to);
    return LKeyResult::kSelected;
  }
  const LKeyBinding* binding = Find(builtIn_, code);
  if (binding == nullptr) return LKeyResult::kUnused;
  if (autoRepeat && IsCueKey(key)) return LKeyResult::kConsumed;
  for (int32_t command : binding->commands) run(command);
  return LKeyResult::kConsumed;
}

void LKeyTable::KeyUp(uint32_t key) {
  if (key == kVkShift) selecting_ = false;
}

}  // namespace klangor
