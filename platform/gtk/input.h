#pragma once
// How GDK input becomes the program's input: key texts, whole wheel steps and menu
// shortcuts. Pure functions of their arguments, so they are tested without a display.

#include <optional>
#include <string_view>

#include "platform/types.h"

namespace platform::gtkbackend {

// The text a key press gives the program: the arrow keys as the control characters 28 to
// 31 (left, right, up, down), Return 13, Escape 27, BackSpace 8, Tab 9, space and the
// printable keys as their UTF-8 text. "" for a key that gives no text (a modifier alone, a
// function key), which raises no KeyDown.
String KeyText(unsigned keyval, bool isModifier);

// Turns scroll deltas into whole steps: one notch of the wheel is one step, down and right
// positive. Fractions from smooth scrolling are kept until they add up to a whole step.
class WheelSteps {
 public:
  struct Steps {
    Int32 x = 0, y = 0;
  };
  // A discrete notch: dx, dy each -1, 0 or 1.
  Steps Notch(Int32 dx, Int32 dy);
  // A smooth delta, in notches.
  Steps Smooth(double dx, double dy);

 private:
  double restX_ = 0, restY_ = 0;
};

// A menu shortcut as GDK spells it: a lower-case keyval and a GdkModifierType mask.
struct Shortcut {
  unsigned keyval = 0;
  unsigned modifiers = 0;
  friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

// Parses a shortcut text such as "Cmd+Q", "Shift+Cmd+N" or "Cmd+F5". "Cmd" and "Ctrl" are
// the Control key, "Option" and "Alt" the Alt key, "Shift" Shift; a key named without Cmd,
// Ctrl or Alt gets Control, since a menu shortcut always carries the command key. nullopt
// for "" or a key that GDK does not know.
std::optional<Shortcut> ParseShortcut(std::string_view text);

// Whether a key press (its keyval and modifier state) is that shortcut.
bool MatchesShortcut(const Shortcut& shortcut, unsigned keyval, unsigned state);

}  // namespace platform::gtkbackend
