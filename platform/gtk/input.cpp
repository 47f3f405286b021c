#include "platform/gtk/input.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace platform::gtkbackend {

namespace {

// GDK's keys that type no character, by the core's names (see input::KeyText).
struct NamedKeyval {
  unsigned keyval;
  const char* name;
};
constexpr NamedKeyval kNamedKeyvals[] = {
    {GDK_KEY_Left, "Left"},           {GDK_KEY_KP_Left, "Left"},
    {GDK_KEY_Right, "Right"},         {GDK_KEY_KP_Right, "Right"},
    {GDK_KEY_Up, "Up"},               {GDK_KEY_KP_Up, "Up"},
    {GDK_KEY_Down, "Down"},           {GDK_KEY_KP_Down, "Down"},
    {GDK_KEY_Return, "Return"},       {GDK_KEY_KP_Enter, "Return"},
    {GDK_KEY_ISO_Enter, "Return"},    {GDK_KEY_Escape, "Escape"},
    {GDK_KEY_BackSpace, "BackSpace"}, {GDK_KEY_Tab, "Tab"},
    {GDK_KEY_ISO_Left_Tab, "Tab"},    {GDK_KEY_KP_Tab, "Tab"},
    {GDK_KEY_Delete, "Delete"},       {GDK_KEY_KP_Delete, "Delete"},
    {GDK_KEY_Home, "Home"},           {GDK_KEY_KP_Home, "Home"},
    {GDK_KEY_End, "End"},             {GDK_KEY_KP_End, "End"},
    {GDK_KEY_Page_Up, "PageUp"},      {GDK_KEY_KP_Page_Up, "PageUp"},
    {GDK_KEY_Page_Down, "PageDown"},  {GDK_KEY_KP_Page_Down, "PageDown"},
    {GDK_KEY_Insert, "Insert"},       {GDK_KEY_KP_Insert, "Insert"},
    {GDK_KEY_Help, "Help"},
};

}  // namespace

input::KeyPress KeyPressOf(unsigned keyval, unsigned state, bool isModifier) {
  input::KeyPress press;
  if (state & GDK_SHIFT_MASK) press.modifiers |= input::kShift;
  if (state & GDK_CONTROL_MASK) press.modifiers |= input::kCommand;
  if (state & GDK_MOD1_MASK) press.modifiers |= input::kOption;
  press.isModifierKey = isModifier;
  for (const NamedKeyval& k : kNamedKeyvals)
    if (k.keyval == keyval) {
      press.key = k.name;
      return press;
    }
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F35) {
    press.key = "F" + std::to_string(keyval - GDK_KEY_F1 + 1);
    return press;
  }
  gunichar c = gdk_keyval_to_unicode(keyval);
  if (c >= 0x20 && c != 0x7f) {
    char buffer[8];
    int n = g_unichar_to_utf8(c, buffer);
    press.key.assign(buffer, static_cast<std::size_t>(n));
    return press;
  }
  // A key the core has no name for: GDK's own name keeps it apart from a character.
  const char* name = gdk_keyval_name(keyval);
  press.key = name && std::strlen(name) > 1 ? name : "";
  return press;
}

WheelSteps::Steps WheelSteps::Notch(Int32 dx, Int32 dy) {
  // A notch starts afresh: a half-finished smooth movement in the other direction must
  // not swallow it.
  restX_ = restY_ = 0;
  return {dx, dy};
}

WheelSteps::Steps WheelSteps::Smooth(double dx, double dy) {
  if (!std::isfinite(dx)) dx = 0;
  if (!std::isfinite(dy)) dy = 0;
  restX_ += dx;
  restY_ += dy;
  // Whole steps leave; the fraction (with its sign) stays for the next event.
  // The nudge keeps sums like 0.4 + 0.4 + 0.4 - 0.2 - 1.0, which are -1 only up to
  // rounding, from losing their step.
  auto whole = [](double v) { return std::trunc(v + (v > 0 ? 1e-9 : -1e-9)); };
  double wholeX = whole(restX_), wholeY = whole(restY_);
  restX_ -= wholeX;
  restY_ -= wholeY;
  return {ToInt32(wholeX), ToInt32(wholeY)};
}

std::optional<Accelerator> AcceleratorOf(std::string_view shortcutText) {
  std::optional<input::Shortcut> s = input::ParseShortcut(shortcutText);
  if (!s) return std::nullopt;
  unsigned keyval = 0;
  if (g_utf8_strlen(s->key.c_str(), -1) == 1) {
    keyval = gdk_unicode_to_keyval(g_utf8_get_char(s->key.c_str()));
  } else {
    for (const NamedKeyval& k : kNamedKeyvals)
      if (s->key == k.name) {
        keyval = k.keyval;
        break;
      }
    if (!keyval) keyval = gdk_keyval_from_name(s->key.c_str());  // F1 to F35
  }
  if (keyval == 0 || keyval == GDK_KEY_VoidSymbol) return std::nullopt;
  unsigned mods = 0;
  if (s->modifiers & input::kCommand) mods |= GDK_CONTROL_MASK;
  if (s->modifiers & input::kOption) mods |= GDK_MOD1_MASK;
  if (s->modifiers & input::kShift) mods |= GDK_SHIFT_MASK;
  return Accelerator{gdk_keyval_to_lower(keyval), mods};
}

String ElideLabel(const String& text, std::size_t maxChars) {
  // A character takes at most four bytes, so a head of 4 * (maxChars + 1) bytes holds more
  // than maxChars characters whenever the text is longer than the head.
  const std::size_t headBytes = 4 * (maxChars + 1);
  const bool cut = text.size() > headBytes;
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(cut ? headBytes : text.size()));
  String out(valid);
  g_free(valid);
  if (static_cast<std::size_t>(g_utf8_strlen(out.c_str(), -1)) <= maxChars && !cut) return out;
  const gchar* end = g_utf8_offset_to_pointer(out.c_str(), static_cast<glong>(maxChars));
  out.resize(static_cast<std::size_t>(end - out.c_str()));
  return out + "\u2026";
}

std::vector<ItemRange> PageRanges(Int32 first, Int32 last, Int32 pageSize) {
  std::vector<ItemRange> ranges;
  if (last <= first || pageSize < 2) return ranges;
  const std::int64_t count = std::int64_t{last} - first;
  std::int64_t span = 1;
  while ((count + span - 1) / span > pageSize) span *= pageSize;
  for (std::int64_t at = first; at < last; at += span)
    ranges.push_back({static_cast<Int32>(at), static_cast<Int32>(std::min<std::int64_t>(at + span, last))});
  return ranges;
}

}  // namespace platform::gtkbackend
