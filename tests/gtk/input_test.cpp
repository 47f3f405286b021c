#include "platform/gtk/input.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace platform::gtkbackend {
namespace {

// What each GDK key gives KeyDown, through the translation and the core's table: every key
// but a modifier alone gives a text.
TEST(KeyText, EveryKeyButAModifierAloneGivesTheProgramAText) {
  struct Case {
    unsigned keyval;
    bool modifier;
    std::optional<String> text;
  } cases[] = {
      {GDK_KEY_Right, false, "\x1d"},   {GDK_KEY_Left, false, "\x1c"},
      {GDK_KEY_Up, false, "\x1e"},      {GDK_KEY_Down, false, "\x1f"},
      {GDK_KEY_KP_Right, false, "\x1d"}, {GDK_KEY_space, false, " "},
      {GDK_KEY_Return, false, "\r"},    {GDK_KEY_KP_Enter, false, "\r"},
      {GDK_KEY_Escape, false, "\x1b"},  {GDK_KEY_BackSpace, false, "\b"},
      {GDK_KEY_Tab, false, "\t"},       {GDK_KEY_b, false, "b"},
      {GDK_KEY_B, false, "B"},          {GDK_KEY_eacute, false, "\xc3\xa9"},
      {GDK_KEY_kana_A, false, "\xe3\x82\xa2"},
      // Keys that type nothing have texts of their own.
      {GDK_KEY_Home, false, "\x01"},    {GDK_KEY_KP_Home, false, "\x01"},
      {GDK_KEY_End, false, "\x04"},     {GDK_KEY_Page_Up, false, "\x0b"},
      {GDK_KEY_Page_Down, false, "\x0c"}, {GDK_KEY_Insert, false, "\x05"},
      {GDK_KEY_Delete, false, "\x7f"},  {GDK_KEY_KP_Delete, false, "\x7f"},
      {GDK_KEY_F1, false, "\x10"},      {GDK_KEY_F5, false, "\x10"},
      {GDK_KEY_F12, false, "\x10"},     {GDK_KEY_Pause, false, "\x10"},
      {GDK_KEY_Menu, false, "\x10"},    {GDK_KEY_Print, false, "\x10"},
      {GDK_KEY_Scroll_Lock, false, "\x10"}, {GDK_KEY_AudioPlay, false, "\x10"},
      // A modifier alone is no key press of its own.
      {GDK_KEY_Shift_L, true, std::nullopt}, {GDK_KEY_Control_L, true, std::nullopt},
      {GDK_KEY_Caps_Lock, true, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(input::KeyText(KeyPressOf(c.keyval, 0, c.modifier)), c.text) << gdk_keyval_name(c.keyval);
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
    std::optional<Accelerator> expected;
  } cases[] = {
      {"Cmd+Q", Accelerator{GDK_KEY_q, ctrl}},
      {"cmd+q", Accelerator{GDK_KEY_q, ctrl}},
      {"Q", Accelerator{GDK_KEY_q, ctrl}},
      {"Shift+Cmd+N", Accelerator{GDK_KEY_n, ctrl | shift}},
      {"Option+Cmd+F5", Accelerator{GDK_KEY_F5, ctrl | alt}},
      {"Alt+X", Accelerator{GDK_KEY_x, alt}},
      {"Cmd++", Accelerator{GDK_KEY_plus, ctrl}},
      {"Cmd+,", Accelerator{GDK_KEY_comma, ctrl}},
      {"Cmd+PageDown", Accelerator{GDK_KEY_Page_Down, ctrl}},
      {"", std::nullopt},
      {"Cmd+", std::nullopt},
      {"Hyper+Q", std::nullopt},
      {"Cmd+NoSuchKey", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(AcceleratorOf(c.text), c.expected) << c.text;
}

TEST(Shortcut, MatchesOnlyTheExactModifiers) {
  auto matches = [](const char* shortcut, unsigned keyval, unsigned state) {
    return input::MatchesShortcut(*input::ParseShortcut(shortcut), KeyPressOf(keyval, state, false));
  };
  EXPECT_TRUE(matches("Cmd+Q", GDK_KEY_q, GDK_CONTROL_MASK));
  EXPECT_TRUE(matches("Cmd+Q", GDK_KEY_q, GDK_CONTROL_MASK | GDK_MOD2_MASK));  // NumLock
  EXPECT_FALSE(matches("Cmd+Q", GDK_KEY_q, 0));
  EXPECT_FALSE(matches("Cmd+Q", GDK_KEY_Q, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
  EXPECT_FALSE(matches("Cmd+Q", GDK_KEY_w, GDK_CONTROL_MASK));
  EXPECT_TRUE(matches("Shift+Cmd+N", GDK_KEY_N, GDK_CONTROL_MASK | GDK_SHIFT_MASK));
  EXPECT_TRUE(matches("Cmd+F5", GDK_KEY_F5, GDK_CONTROL_MASK));
  EXPECT_TRUE(matches("Cmd+Home", GDK_KEY_KP_Home, GDK_CONTROL_MASK));
}

TEST(ElideLabel, KeepsShortLabelsAndCutsLongOnesCheaply) {
  EXPECT_EQ(ElideLabel("東京", 4), "東京");
  EXPECT_EQ(ElideLabel("abcd", 4), "abcd");
  EXPECT_EQ(ElideLabel("abcde", 4), "abcd\u2026");
  EXPECT_EQ(ElideLabel("名古屋市中区", 3), "名古屋\u2026");
  EXPECT_EQ(ElideLabel("a\xff" "b", 4), "a\ufffd" "b") << "invalid bytes are shown, not dropped";
  EXPECT_EQ(ElideLabel("", 4), "");
  // Ten megabytes of a name cut in the middle of a character: 64 characters and the mark.
  String huge;
  for (int i = 0; i < 3'500'000; ++i) huge += "\xe6\x9d\xb1";  // 東
  huge += "\xe6\x9d";
  String shown = ElideLabel(huge, 64);
  EXPECT_EQ(g_utf8_strlen(shown.c_str(), -1), 65);
  EXPECT_EQ(shown.substr(shown.size() - 3), "\u2026");
}

TEST(PageRanges, SpansHoldAtMostAPageAndCoverEveryItemInOrder) {
  using R = ItemRange;
  EXPECT_EQ(PageRanges(0, 3, 100), (std::vector<R>{{0, 1}, {1, 2}, {2, 3}}));
  EXPECT_EQ(PageRanges(0, 250, 100), (std::vector<R>{{0, 100}, {100, 200}, {200, 250}}));
  EXPECT_EQ(PageRanges(100, 200, 100).size(), 100u) << "a full page shows its items";
  EXPECT_TRUE(PageRanges(5, 5, 100).empty());
  for (Int32 count : {101, 10'000, 10'001, 100'000, 2'000'000}) {
    std::vector<R> ranges = PageRanges(0, count, 100);
    ASSERT_LE(ranges.size(), 100u) << count;
    ASSERT_GT(ranges.size(), 1u) << count;
    EXPECT_EQ(ranges.front().first, 0);
    EXPECT_EQ(ranges.back().last, count);
    for (std::size_t i = 1; i < ranges.size(); ++i) EXPECT_EQ(ranges[i].first, ranges[i - 1].last);
  }
  // 100,000 items: ten entries of 10,000, a hundred of 100 below each, then the items.
  EXPECT_EQ(PageRanges(0, 100'000, 100).size(), 10u);
  EXPECT_EQ(PageRanges(0, 100'000, 100)[1], (R{10'000, 20'000}));
  EXPECT_EQ(PageRanges(10'000, 20'000, 100)[0], (R{10'000, 10'100}));
}

}  // namespace
}  // namespace platform::gtkbackend
