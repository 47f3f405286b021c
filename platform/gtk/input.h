#pragma once
// How GDK input becomes the program's input: key presses in the core's terms, whole wheel
// steps, the accelerators shown beside menu items, and labels GTK can lay out. Pure
// functions of their arguments, so they are tested without a display. The rules
// themselves (key texts, shortcuts, clicks) are the core's (platform/input.h).

#include <optional>
#include <string_view>
#include <vector>

#include "platform/input.h"
#include "platform/types.h"

namespace platform::gtkbackend {

// A GDK key press (keyval, GdkModifierType state, is_modifier) in the core's terms.
input::KeyPress KeyPressOf(unsigned keyval, unsigned state, bool isModifier);

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

// A menu shortcut as GDK spells an accelerator: a lower-case keyval and a GdkModifierType
// mask; nullopt for a shortcut text the core does not accept.
struct Accelerator {
  unsigned keyval = 0;
  unsigned modifiers = 0;
  friend bool operator==(const Accelerator&, const Accelerator&) = default;
};
std::optional<Accelerator> AcceleratorOf(std::string_view shortcutText);

// A menu label GTK can lay out quickly: at most `maxChars` characters, the rest replaced
// by "…", invalid UTF-8 shown as replacement characters. Only the first bytes of the text
// are looked at, so a label of megabytes costs no more than a short one.
String ElideLabel(const String& text, std::size_t maxChars);

// How a menu of `count` items is shown when GTK's menus cannot hold them all: the items in
// pages of at most `pageSize`, the pages grouped by the same rule until one menu holds
// them. Gives the ranges [first, last) of items that the entries of the menu holding items
// first..last stand for: one item each when they fit on one page, else equal spans (of
// pageSize, pageSize², ... items) in order, the last one shorter.
struct ItemRange {
  Int32 first = 0, last = 0;
  friend bool operator==(const ItemRange&, const ItemRange&) = default;
};
std::vector<ItemRange> PageRanges(Int32 first, Int32 last, Int32 pageSize);

}  // namespace platform::gtkbackend
