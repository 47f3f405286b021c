#include "platform/gtk/input.h"

#include <gdk/gdk.h>

#include <cmath>
#include <string>
#include <vector>

namespace platform::gtkbackend {

String KeyText(unsigned keyval, bool isModifier) {
  if (isModifier) return "";
  switch (keyval) {
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return "\x1c";
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return "\x1d";
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return "\x1e";
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return "\x1f";
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return "\r";
    case GDK_KEY_Escape:
      return "\x1b";
    case GDK_KEY_BackSpace:
      return "\b";
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return "\t";
    default:
      break;
  }
  gunichar c = gdk_keyval_to_unicode(keyval);
  // Control characters other than those above come only from keys the program has no
  // text for (Delete gives 127, for one); they raise nothing.
  if (c == 0 || c < 0x20 || c == 0x7f) return "";
  char buffer[8];
  int n = g_unichar_to_utf8(c, buffer);
  return String(buffer, static_cast<std::size_t>(n));
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

namespace {

// Splits "Shift+Cmd+N" into its modifiers and its key. The key may itself be "+"
// ("Cmd++").
std::vector<std::string_view> SplitPlus(std::string_view text) {
  std::vector<std::string_view> parts;
  std::string_view key;
  if (text == "+" || (text.size() >= 2 && text.substr(text.size() - 2) == "++")) {
    key = "+";
    text = text.substr(0, text.size() >= 2 ? text.size() - 2 : 0);
  } else {
    std::size_t last = text.rfind('+');
    key = last == std::string_view::npos ? text : text.substr(last + 1);
    text = last == std::string_view::npos ? std::string_view() : text.substr(0, last);
  }
  while (!text.empty()) {
    std::size_t plus = text.find('+');
    parts.push_back(text.substr(0, plus));
    if (plus == std::string_view::npos) break;
    text = text.substr(plus + 1);
  }
  parts.push_back(key);
  return parts;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::optional<Shortcut> ParseShortcut(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::vector<std::string_view> parts = SplitPlus(text);
  if (parts.empty()) return std::nullopt;
  unsigned mods = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    std::string_view m = parts[i];
    if (EqualsNoCase(m, "Cmd") || EqualsNoCase(m, "Ctrl") || EqualsNoCase(m, "Control") ||
        EqualsNoCase(m, "Command"))
      mods |= GDK_CONTROL_MASK;
    else if (EqualsNoCase(m, "Option") || EqualsNoCase(m, "Alt"))
      mods |= GDK_MOD1_MASK;
    else if (EqualsNoCase(m, "Shift"))
      mods |= GDK_SHIFT_MASK;
    else
      return std::nullopt;
  }
  if (!(mods & (GDK_CONTROL_MASK | GDK_MOD1_MASK))) mods |= GDK_CONTROL_MASK;

  std::string key(parts.back());
  if (key.empty()) return std::nullopt;
  unsigned keyval = 0;
  if (g_utf8_validate(key.data(), static_cast<gssize>(key.size()), nullptr) &&
      g_utf8_strlen(key.c_str(), -1) == 1) {
    keyval = gdk_unicode_to_keyval(g_utf8_get_char(key.c_str()));
  } else {
    keyval = gdk_keyval_from_name(key.c_str());
  }
  if (keyval == 0 || keyval == GDK_KEY_VoidSymbol) return std::nullopt;
  return Shortcut{gdk_keyval_to_lower(keyval), mods};
}

bool MatchesShortcut(const Shortcut& shortcut, unsigned keyval, unsigned state) {
  const unsigned relevant = GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK;
  return gdk_keyval_to_lower(keyval) == shortcut.keyval &&
         (state & relevant) == shortcut.modifiers;
}

}  // namespace platform::gtkbackend
