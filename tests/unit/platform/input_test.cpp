// The input rules every backend follows: key texts, shortcuts, which canvas a click reaches,
// and the filter for a press delivered twice. Driven through the headless backend, which
// calls the same rules as the GTK one.

#include "platform/input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/menu.h"
#include "platform/window.h"
#include "runtime_fixture.h"

namespace platform {
namespace {

using input::kCommand;
using input::KeyPress;
using input::kOption;
using input::kShift;

TEST(KeyText, NamedKeysHaveTextsCharactersAreThemselvesModifiersAloneNone) {
  struct Case {
    KeyPress press;
    std::optional<String> text;
  } cases[] = {
      {{"Left"}, "\x1c"},
      {{"Right"}, "\x1d"},
      {{"Up"}, "\x1e"},
      {{"Down"}, "\x1f"},
      {{"Return"}, "\r"},
      {{"Escape"}, "\x1b"},
      {{"BackSpace"}, "\b"},
      {{"Tab"}, "\t"},
      {{"Delete"}, "\x7f"},
      {{"Home"}, "\x01"},
      {{"End"}, "\x04"},
      {{"Help"}, "\x05"},
      {{"Insert"}, "\x05"},
      {{"PageUp"}, "\x0b"},
      {{"PageDown"}, "\x0c"},
      {{" "}, " "},
      {{"b"}, "b"},
      {{"B", kShift}, "B"},
      {{"東"}, "東"},
      // Keys without a text of their own: the function-key code.
      {{"F1"}, "\x10"},
      {{"F10"}, "\x10"},
      {{"Pause"}, "\x10"},
      {{"Menu"}, "\x10"},
      {{""}, "\x10"},
      // A key held with Control still gives its text when no shortcut takes it.
      {{"x", kCommand}, "x"},
      {{"Shift_L", 0, true}, std::nullopt},
      {{"Control_R", kCommand, true}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(input::KeyText(c.press), c.text) << c.press.key;
}

TEST(Shortcut, ParsesTextsAndMatchesExactModifiersInAnyLetterCase) {
  using S = input::Shortcut;
  struct Case {
    const char* text;
    std::optional<S> expected;
  } cases[] = {
      {"Cmd+Q", S{"q", kCommand}},
      {"cmd+q", S{"q", kCommand}},
      {"Q", S{"q", kCommand}},
      {"Shift+Cmd+N", S{"n", kCommand | kShift}},
      {"Option+Cmd+F5", S{"F5", kCommand | kOption}},
      {"Alt+X", S{"x", kOption}},
      {"Cmd++", S{"+", kCommand}},
      {"Cmd+,", S{",", kCommand}},
      {"Ctrl+pageup", S{"PageUp", kCommand}},
      {"Cmd+Space", S{" ", kCommand}},
      {"", std::nullopt},
      {"Cmd+", std::nullopt},
      {"Hyper+Q", std::nullopt},
      {"Cmd+NoSuchKey", std::nullopt},
      {"Cmd+F0", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(input::ParseShortcut(c.text), c.expected) << c.text;

  const S quit = *input::ParseShortcut("Cmd+Q");
  EXPECT_TRUE(input::MatchesShortcut(quit, {"q", kCommand}));
  EXPECT_TRUE(input::MatchesShortcut(quit, {"Q", kCommand}));
  EXPECT_FALSE(input::MatchesShortcut(quit, {"q", 0}));
  EXPECT_FALSE(input::MatchesShortcut(quit, {"Q", kCommand | kShift}));
  EXPECT_FALSE(input::MatchesShortcut(quit, {"w", kCommand}));
  EXPECT_FALSE(input::MatchesShortcut(quit, {"q", kCommand, true}));
  EXPECT_TRUE(input::MatchesShortcut(*input::ParseShortcut("Cmd+F5"), {"F5", kCommand}));
}

TEST(PressFilter, DropsOnlyTheSamePressDeliveredAgain) {
  input::PressFilter filter;
  EXPECT_TRUE(filter.IsNew(0, 1)) << "the very first press, even at time 0";
  EXPECT_FALSE(filter.IsNew(0, 1));
  EXPECT_TRUE(filter.IsNew(0, 3)) << "another button at the same time";
  EXPECT_TRUE(filter.IsNew(500, 3));
  EXPECT_TRUE(filter.IsNew(500, 1));
  EXPECT_FALSE(filter.IsNew(500, 1));
}

std::vector<std::string>& Said() {
  static std::vector<std::string> said;
  return said;
}

class SayingItem : public MenuItem {
 public:
  bool Event_Action() override {
    Said().push_back("menu " + Name());
    return true;
  }
};

// Two overlapping canvases (the power switch on top), a hidden and a disabled one, a bar
// with shortcuts, and every KeyDown noted.
class InputWindow : public Window {
 public:
  std::shared_ptr<Canvas> under = std::make_shared<Canvas>(), over = std::make_shared<Canvas>();
  std::shared_ptr<Canvas> hidden = std::make_shared<Canvas>(), off = std::make_shared<Canvas>();

  void Layout() override {
    SetProperties(*this, {{"Width", std::int64_t{340}}, {"Height", std::int64_t{46}}});
  }
  void CreateControls() override {
    auto place = [this](const char* name, std::shared_ptr<Canvas>& c, std::int64_t left,
                        std::int64_t top, std::int64_t w, std::int64_t h) {
      SetProperties(*c, {{"Left", left}, {"Top", top}, {"Width", w}, {"Height", h}});
      c->OnMouseDown = [name](Canvas&, Int32 x, Int32 y) {
        Said().push_back(std::string(name) + " " + std::to_string(x) + " " + std::to_string(y));
        return false;
      };
      AddControl(name, c);
    };
    place("under", under, 0, 0, 100, 40);
    place("over", over, 50, 10, 30, 20);
    place("behindHidden", behindHidden, 200, 0, 40, 40);
    place("hidden", hidden, 200, 0, 40, 40);
    place("off", off, 250, 0, 40, 40);
    under->OnEnableMenuItems = [](Canvas&) { Said().push_back("enable"); };
    SetProperties(*hidden, {{"Visible", false}});
    SetProperties(*off, {{"Enabled", false}});
  }
  bool Event_KeyDown(const String& key) override {
    Said().push_back("key " + key);
    return false;
  }

  std::shared_ptr<Canvas> behindHidden = std::make_shared<Canvas>();
};

class InputTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    Said().clear();
    window = Window::New<InputWindow>();
    auto bar = std::make_shared<MenuBar>();
    auto file = std::make_shared<MenuItem>();
    file->SetText("File");
    bar->Append(file);
    for (auto [name, shortcut] :
         {std::pair{"Quit", "Cmd+Q"}, {"Next", "Shift+Cmd+N"}, {"Gone", "Cmd+G"}}) {
      auto item = std::make_shared<SayingItem>();
      item->SetName(name);
      item->SetText(name);
      item->SetKeyboardShortcut(shortcut);
      file->Append(item);
    }
    file->Child("Gone")->SetEnabled(false);
    window->SetMenuBar(bar);
  }
  std::shared_ptr<InputWindow> window;
};

TEST_F(InputTest, TheTopmostVisibleEnabledCanvasUnderThePointerTakesTheClick) {
  struct Case {
    Int32 x, y;
    std::vector<std::string> said;
  } cases[] = {
      {60, 15, {"over 10 5"}},            // both hold the point: the one added later
      {10, 35, {"under 10 35"}},          // only the lower one
      {79, 29, {"over 29 19"}},           // the last pixel inside
      {80, 30, {"under 80 30"}},          // just outside the upper one
      {100, 5, {}},                       // right of both
      {210, 10, {"behindHidden 10 10"}},  // the hidden canvas above it is passed over
      {260, 10, {}},                      // a disabled canvas takes nothing, nor passes it on
      {-1, 5, {}},
  };
  std::uint32_t time = 1000;
  for (const Case& c : cases) {
    Said().clear();
    headless::PressButton(*window, c.x, c.y, time += 10);
    EXPECT_EQ(Said(), c.said) << c.x << "," << c.y;
  }
}

TEST_F(InputTest, APressDeliveredTwiceIsOneMouseDown) {
  headless::PressButton(*window, 60, 15, 42);
  headless::PressButton(*window, 60, 15, 42);
  headless::PressButton(*window, 60, 15, 43);
  EXPECT_EQ(Said(), (std::vector<std::string>{"over 10 5", "over 10 5"}));
}

TEST_F(InputTest, ShortcutsChooseTheirItemAndOtherKeysReachKeyDown) {
  struct Case {
    KeyPress press;
    bool taken;
    std::vector<std::string> said;
  } cases[] = {
      {{"q", kCommand}, true, {"enable", "menu Quit"}},
      {{"N", kCommand | kShift}, true, {"enable", "menu Next"}},
      // A disabled item swallows its shortcut.
      {{"g", kCommand}, true, {"enable"}},
      // Not a shortcut: the key's text goes to KeyDown.
      {{"q", 0}, true, {"key q"}},
      {{"n", kCommand}, true, {"key n"}},
      {{"Home", 0}, true, {"key \x01"}},
      {{"F10", 0}, true, {"key \x10"}},
      {{"Shift_L", kShift, true}, false, {}},
  };
  for (const Case& c : cases) {
    Said().clear();
    EXPECT_EQ(headless::PressKey(*window, c.press), c.taken) << c.press.key;
    EXPECT_EQ(Said(), c.said) << c.press.key;
  }
}

}  // namespace
}  // namespace platform
