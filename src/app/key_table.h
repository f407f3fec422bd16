#pragma once
// What a key does in the main window, before the window itself gets it:
//   1. a key the user bound in "keys.dat" runs each of its commands, in order;
//   2. otherwise the shortcuts of the menu (frame/menu_layout.h), with "+" and "-" of the
//      number pad as well as of the main keys, Left and Right as F7 and F8; a held cue key
//      (F7, F8, Left, Right) does not repeat;
//   3. Shift alone, with a document open, starts key selection at the cursor; while it lasts,
//      Shift+Home and Shift+End move the cursor to the start or the end and select from where
//      Shift went down to the new cursor. Releasing Shift ends it.

#include <cstdint>
#include <functional>
#include <vector>

#include "app/key_file.h"

namespace klangor {

class LSoundDocument;

// The built-in bindings, in menu order.
std::vector<LKeyBinding> DefaultKeyBindings();

class LKeyTable {
 public:
  // `user`: the bindings of "keys.dat" (they win over the built-in ones).
  explicit LKeyTable(std::vector<LKeyBinding> user = {});

  enum class LKeyResult {
    kUnused,    // the window gets the key
    kConsumed,  // commands ran (or a repeat was swallowed)
    kSelected,  // key selection moved the cursor and the selection: redraw
  };

  // Key-down of `code` (virtual key with modifier bits); `run` runs one command.
  LKeyResult KeyDown(uint32_t code, bool autoRepeat, LSoundDocument* active, const std::function<void(int)>& run);
  // Key-up of the virtual key `key` (without modifiers).
  void KeyUp(uint32_t key);

  bool KeySelecting() const { return selecting_; }
  // The commands `code` runs (user binding first), empty when none.
  std::vector<int32_t> CommandsOf(uint32_t code) const;

 private:
  std::vector<LKeyBinding> user_;
  std::vector<LKeyBinding> builtIn_;
  bool selecting_ = false;
  int32_t anchor_ = 0;
};

}  // namespace klangor
