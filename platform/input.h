#pragma once
// The rules of input that do not depend on a toolkit: which canvas takes a click, which
// presses are the same press delivered twice, the text a key gives the program, and which
// menu item a key chooses. A backend only translates its toolkit's events into these
// terms; both backends call the same rules, so the headless tests exercise them too.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/types.h"

namespace platform {

class Canvas;
class MenuBar;
class MenuItem;
class Window;

namespace input {

// Modifier keys held during a key press. Command is the Control key on Linux.
enum Modifier : unsigned { kShift = 1u, kCommand = 2u, kOption = 4u };

// A key press as the backend saw it.
struct KeyPress {
  // The character the key types (UTF-8, as shifted: "B" with Shift), or, for a key that
  // types none, its name: one of those in KeyText's table ("Left", "F5", "Home", ...), or
  // "" for a key that has neither.
  String key;
  unsigned modifiers = 0;
  // The key itself is a modifier (Shift, Control, Alt, Caps Lock and the like).
  bool isModifierKey = false;
};

// The text KeyDown gives for a key press, or nullopt for a press that raises no KeyDown:
// a modifier key on its own, which is part of the next key's press rather than a press of
// its own. Every other key gives a text. The arrows are the codes 28 to 31 (left, right,
// up, down), Return 13, Enter 3, Escape 27, BackSpace 8, Tab 9, Delete 127, Home 1, End 4,
// Help and Insert 5, Page Up 11, Page Down 12; a character key gives its character; any
// other key that types nothing (F1 to F35, Pause, Print, Menu, the media keys) gives the
// function-key code 16.
std::optional<String> KeyText(const KeyPress& press);

// A menu shortcut: a key (a character in lower case, or a key name) and exact modifiers.
struct Shortcut {
  String key;
  unsigned modifiers = 0;
  friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

// Parses a shortcut text such as "Cmd+Q", "Shift+Cmd+N" or "Cmd+F5". "Cmd" and "Ctrl" are
// Command (the Control key here), "Option" and "Alt" Option, "Shift" Shift; a key named
// without Command or Option gets Command, since a menu shortcut always carries the
// command key. The key is one character or a name of KeyText's table, in any letter case.
// nullopt for "" or a key that is neither.
std::optional<Shortcut> ParseShortcut(std::string_view text);

// Whether a key press is that shortcut: the same key (letter case aside) and exactly the
// same modifiers.
bool MatchesShortcut(const Shortcut& shortcut, const KeyPress& press);

// The item below `bar` whose shortcut the key press is, in menu order, or nullptr.
// Separators and items that hold a menu have no shortcut.
std::shared_ptr<MenuItem> FindShortcut(const MenuBar& bar, const KeyPress& press);

// Drops the second delivery of one button press: a press with the same time and button
// as the one before it.
class PressFilter {
 public:
  bool IsNew(std::uint32_t time, unsigned button);

 private:
  std::uint32_t lastTime_ = 0;
  unsigned lastButton_ = 0;
  bool any_ = false;
};

// The canvas that takes a click at x, y (window content coordinates): the topmost (the last
// added) that is visible, enabled and holds the point, or nullptr.
std::shared_ptr<Canvas> CanvasAt(const Window& window, Int32 x, Int32 y);

}  // namespace input
}  // namespace platform
