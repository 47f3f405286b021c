#include "platform/gtk/input.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

namespace platform::gtkbackend {
namespace {

TEST(KeyText, MapsKeysToTheProgramsTexts) {
  struct Case {
    unsigned keyval;
    bool modifier;
    String text;
  } cases[] = {
      {GDK_KEY_Right, false, "\x1d"},   {GDK_KEY_Left, false, "\x1c"},
      {GDK_KEY_Up, false, "\x1e"},      {GDK_KEY_Down, false, "\x1f"},
      {GDK_KEY_KP_Right, false, "\x1d"}, {GDK_KEY_space, false, " "},
      {GDK_KEY_Return, false, "\r"},    {GDK_KEY_KP_Enter, false, "\r"},
      {GDK_KEY_Escape, false, "\x1b"},  {GDK_KEY_BackSpace, false, "\b"},
      {GDK_KEY_Tab, false, "\t"},       {GDK_KEY_b, false, "b"},
      {GDK_KEY_B, false, "B"},          {GDK_KEY_eacute, false, "\xc3\xa9"},
      {GDK_KEY_kana_A, false, "\xe3\x82\xa2"},
      // No text: modifiers alone, function keys, Delete.
      {GDK_KEY_Shift_L, true, ""},      {GDK_KEY_Control_L, true, ""},
      {GDK_KEY_F5, false, ""},          {GDK_KEY_Delete, false, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(KeyText(c.keyval, c.modifier), c.text) << gdk_keyval_name(c.keyval);
}

TEST(WheelSteps, NotchesAreWholeStepsAndSmoothDeltasAddUp) {
  WheelSteps wheel;
  EXPECT_EQ(wheel.Notch(0, 1).y, 1);
  EXPECT_EQ(wheel.Notch(0, -1).y, -1);
  EXPECT_EQ(wheel.Notch(1, 0).x, 1);

  // Three thirds make one step; the remainder is kept, with its sign.
  EXPECT_EQ(wheel.Smooth(0, 0.4).y, 0);
  EXPECT_EQ(wheel.Smooth(0, 0.4).y, 0);
  EXPECT_EQ(wheel.Smooth(0, 0.4).y, 1);
  EXPECT_EQ(wheel.Smooth(0, -0.2).y, 0);  // 0.2 - 0.2 leaves nothing
  EXPECT_EQ(wheel.Smooth(0, -1.0).y, -1);
  WheelSteps::Steps big = wheel.Smooth(-2.5, 3.0);
  EXPECT_EQ(big.x, -2);
  EXPECT_EQ(big.y, 3);
  // A notch starts afresh: a leftover half step does not swallow it.
  wheel.Smooth(0, -0.9);
  EXPECT_EQ(wheel.Notch(0, 1).y, 1);
  EXPECT_EQ(wheel.Smooth(0, 0.5).y, 0);
  // Nonsense from a driver gives no step.
  EXPECT_EQ(wheel.Smooth(0, std::nan("")).y, 0);
  EXPECT_EQ(wheel.Smooth(0, 0.5).y, 1);
}

TEST(Shortcut, ParsesMacTextsAsControlAccelerators) {
  const unsigned ctrl = GDK_CONTROL_MASK, shift = GDK_SHIFT_MASK, alt = GDK_MOD1_MASK;
  struct Case {
    const char* text;
    std::optional<Shortcut> expected;
  } cases[] = {
      {"Cmd+Q", Shortcut{GDK_KEY_q, ctrl}},
      {"cmd+q", Shortcut{GDK_KEY_q, ctrl}},
      {"Q", Shortcut{GDK_KEY_q, ctrl}},
      {"Shift+Cmd+N", Shortcut{GDK_KEY_n, ctrl | shift}},
      {"Option+Cmd+F5", Shortcut{GDK_KEY_F5, ctrl | alt}},
      {"Alt+X", Shortcut{GDK_KEY_x, alt}},
      {"Cmd++", Shortcut{GDK_KEY_plus, ctrl}},
      {"Cmd+,", Shortcut{GDK_KEY_comma, ctrl}},
      {"", std::nullopt},
      {"Cmd+", std::nullopt},
      {"Hyper+Q", std::nullopt},
      {"Cmd+NoSuchKey", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseShortcut(c.text), c.expected) << c.text;
}

TEST(Shortcut, MatchesOnlyTheExactModifiers) {
  Shortcut quit = *ParseShortcut("Cmd+Q");
  EXPECT_TRUE(MatchesShortcut(quit, GDK_KEY_q, GDK_CONTROL_MASK));
  EXPECT_TRUE(MatchesShortcut(quit, GDK_KEY_q, GDK_CONTROL_MASK | GDK_MOD2_MASK));  // NumLock
  EXPECT_FALSE(MatchesShortcut(quit, GDK_KEY_q, 0));
  EXPECT_FALSE(MatchesShortcut(quit, GDK_KEY_Q, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
  EXPECT_FALSE(MatchesShortcut(quit, GDK_KEY_w, GDK_CONTROL_MASK));
  Shortcut next = *ParseShortcut("Shift+Cmd+N");
  EXPECT_TRUE(MatchesShortcut(next, GDK_KEY_N, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
}

}  // namespace
}  // namespace platform::gtkbackend
