#include "platform/input.h"

#include <glib.h>

#include <array>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "platform/menu.h"
#include "platform/window.h"

namespace platform::input {

namespace {

struct NamedKey {
  std::string_view name;
  char text;
};

// Keys that type no character, by the name a backend reports, with their KeyDown text.
// The codes are the ones long used for these keys in key events of desktop frameworks.
constexpr std::array<NamedKey, 17> kNamedKeys{{
    {"Left", '\x1c'},
    {"Right", '\x1d'},
    {"Up", '\x1e'},
    {"Down", '\x1f'},
    {"Return", '\r'},
    {"Enter", '\x03'},
    {"Escape", '\x1b'},
    {"BackSpace", '\b'},
    {"Tab", '\t'},
    {"Delete", '\x7f'},
    {"Home", '\x01'},
    {"End", '\x04'},
    {"Help", '\x05'},
    {"Insert", '\x05'},
    {"PageUp", '\x0b'},
    {"PageDown", '\x0c'},
    {"Space", ' '},
}};

// Any other key without a character: function keys, Pause, Print, Menu, media keys.
constexpr char kFunctionKeyText = '\x10';

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

const NamedKey* FindNamed(std::string_view name) {
  for (const NamedKey& k : kNamedKeys)
    if (EqualsNoCase(k.name, name)) return &k;
  return nullptr;
}

// "F1" to "F35".
bool IsFunctionKeyName(std::string_view name) {
  if (name.size() < 2 || name.size() > 3 || (name[0] != 'F' && name[0] != 'f')) return false;
  int n = 0;
  for (char c : name.substr(1)) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return name[1] != '0' && n >= 1 && n <= 35;
}

// One whole UTF-8 character.
bool IsOneCharacter(std::string_view s) {
  if (s.empty() || !g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr)) return false;
  return g_utf8_next_char(s.data()) == s.data() + s.size();
}

// The key as shortcuts compare it: a character in lower case, a name as the table spells it.
std::optional<String> Canonical(std::string_view key) {
  if (IsOneCharacter(key)) {
    gchar* lower = g_utf8_strdown(key.data(), static_cast<gssize>(key.size()));
    String out(lower);
    g_free(lower);
    return out;
  }
  if (const NamedKey* named = FindNamed(key)) {
    if (named->name == "Space") return String(" ");
    return String(named->name);
  }
  if (IsFunctionKeyName(key)) return "F" + String(key.substr(1));
  return std::nullopt;
}

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

std::shared_ptr<MenuItem> FindIn(const MenuItem& parent, const KeyPress& press) {
  for (Int32 i = 0; i < parent.Count(); ++i) {
    std::shared_ptr<MenuItem> child = parent.Item(i);
    if (!child) continue;
    if (child->Count() > 0) {
      if (auto found = FindIn(*child, press)) return found;
    } else if (!child->KeyboardShortcut().empty() && child->Text() != "-") {
      std::optional<Shortcut> s = ParseShortcut(child->KeyboardShortcut());
      if (s && MatchesShortcut(*s, press)) return child;
    }
  }
  return nullptr;
}

}  // namespace

std::optional<String> KeyText(const KeyPress& press) {
  if (press.isModifierKey) return std::nullopt;
  if (const NamedKey* named = FindNamed(press.key)) return String(1, named->text);
  if (IsOneCharacter(press.key)) return press.key;
  return String(1, kFunctionKeyText);
}

std::optional<Shortcut> ParseShortcut(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::vector<std::string_view> parts = SplitPlus(text);
  unsigned mods = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    std::string_view m = parts[i];
    if (EqualsNoCase(m, "Cmd") || EqualsNoCase(m, "Ctrl") || EqualsNoCase(m, "Control") ||
        EqualsNoCase(m, "Command"))
      mods |= kCommand;
    else if (EqualsNoCase(m, "Option") || EqualsNoCase(m, "Alt"))
      mods |= kOption;
    else if (EqualsNoCase(m, "Shift"))
      mods |= kShift;
    else
      return std::nullopt;
  }
  if (!(mods & (kCommand | kOption))) mods |= kCommand;
  std::optional<String> key = Canonical(parts.back());
  if (!key) return std::nullopt;
  return Shortcut{std::move(*key), mods};
}

bool MatchesShortcut(const Shortcut& shortcut, const KeyPress& press) {
  if (press.isModifierKey || press.modifiers != shortcut.modifiers) return false;
  std::optional<String> key = Canonical(press.key);
  return key && *key == shortcut.key;
}

std::shared_ptr<MenuItem> FindShortcut(const MenuBar& bar, const KeyPress& press) {
  // Without Command or Option no shortcut can match; most keys end here.
  if (press.isModifierKey || !(press.modifiers & (kCommand | kOption))) return nullptr;
  return FindIn(bar, press);
}

bool PressFilter::IsNew(std::uint32_t time, unsigned button) {
  if (any_ && time == lastTime_ && button == lastButton_) return false;
  any_ = true;
  lastTime_ = time;
  lastButton_ = button;
  return true;
}

std::shared_ptr<Canvas> CanvasAt(const Window& window, Int32 x, Int32 y) {
  const auto& controls = window.Controls();
  for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
    auto canvas = std::dynamic_pointer_cast<Canvas>(*it);
    if (!canvas || !canvas->Visible() || !canvas->Enabled()) continue;
    // Compared in 64 bits: a canvas near the Int32 limits must not wrap around.
    const std::int64_t left = canvas->Left(), top = canvas->Top();
    if (x < left || y < top || x >= left + canvas->Width() || y >= top + canvas->Height()) continue;
    return canvas;
  }
  return nullptr;
}

}  // namespace platform::input
