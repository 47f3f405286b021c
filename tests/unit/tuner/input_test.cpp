// Keys, wheel and clicks on the tuner strip.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/media.h"
#include "platform/headless/headless.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "player/ondella_window.h"
#include "support/program_fixture.h"
#include "tuner/service_urls.h"
#include "tuner/tuner_window.h"

namespace {

using platform::ChrB;
namespace headless = platform::headless;

class InputTest : public testsupport::ProgramTest {
 protected:
  // The opened main window with the first-run settings: power on, AM, needle at 110,
  // amnoise looping; no pass has run yet.
  void SetUp() override {
    ProgramTest::SetUp();
    w = tunerWindow::Instance();
    testsupport::Settle();
    headless::ClearLog();
  }

  void SetNeedle(platform::Int32 x) {
    w->tuneBar()->SetX1(x);
    w->tuneBar()->SetX2(x);
  }
  // Passes run by the worker during the input and the event loop's turn after it.
  std::uint64_t PassesAfter(const std::function<void()>& input) {
    const auto before = w->tuneStationThread()->RunsCompleted();
    input();
    testsupport::Settle();
    return w->tuneStationThread()->RunsCompleted() - before;
  }

  std::shared_ptr<tunerWindow> w;
};

struct NeedleCase {
  platform::Int32 start;
  std::string input;  // "right", "left" or "wheel"
  platform::Int32 deltaY, deltaX;
  platform::Int32 expected;
};

TEST_F(InputTest, ArrowsAndWheelMoveTheNeedleWithinTheDial) {
  constexpr auto kMax = std::numeric_limits<platform::Int32>::max();
  const std::vector<NeedleCase> cases = {
      {325, "right", 0, 0, 326},
      {326, "right", 0, 0, 326},
      {107, "left", 0, 0, 106},
      {106, "left", 0, 0, 106},
      {400, "right", 0, 0, 400},
      {400, "left", 0, 0, 399},
      {50, "left", 0, 0, 50},
      {50, "right", 0, 0, 51},
      {400, "wheel", 0, 0, 326},
      {50, "wheel", 0, 0, 106},
      {320, "wheel", 10, 0, 326},
      {110, "wheel", -10, 0, 106},
      {200, "wheel", 5, 0, 205},
      {200, "wheel", 0, 7, 200},
      // The sum wraps around to a large negative number, which the lower end catches.
      {kMax - 1, "wheel", 10, 0, 106},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input + " from " + std::to_string(c.start) + " by " + std::to_string(c.deltaY));
    SetNeedle(c.start);
    const auto passes = PassesAfter([&] {
      if (c.input == "right") headless::PressKey(*w, ChrB(29));
      if (c.input == "left") headless::PressKey(*w, ChrB(28));
      if (c.input == "wheel") headless::Wheel(*w, c.deltaY, c.deltaX);
    });
    EXPECT_EQ(w->tuneBar()->X1(), c.expected);
    EXPECT_EQ(w->tuneBar()->X2(), c.expected);
    EXPECT_EQ(passes, 1u);
  }
}

TEST_F(InputTest, PowerBySpaceAndByClick) {
  struct Case {
    const char* name;
    bool click;
    bool startOn;
    std::uint64_t passes;
  };
  const std::vector<Case> cases = {
      {"space switches off", false, true, 1},
      {"space switches on", false, false, 2},
      {"click switches off", true, true, 0},
      {"click switches on", true, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    w->mainPower()->SetBackdrop(c.startOn ? power_m_green() : power_m_gray());
    w->tuning = true;
    headless::ClearLog();
    bool tuningRightAfter = true;
    const auto passes = PassesAfter([&] {
      if (c.click) {
        headless::Click(*w->mainPower());
      } else {
        headless::PressKey(*w, ChrB(32));
      }
      tuningRightAfter = w->tuning;
    });
    EXPECT_FALSE(tuningRightAfter);
    EXPECT_EQ(passes, c.passes);
    if (c.startOn) {
      EXPECT_EQ(w->mainPower()->Backdrop(), power_m_gray());
      EXPECT_EQ(headless::LogWith("sound."),
                (std::vector<std::string>{"sound.stop amnoise.wav", "sound.stop tuned.wav"}));
      EXPECT_EQ(headless::LogWith("web.load"),
                std::vector<std::string>{"web.load " + LogoImageURL()});
      EXPECT_EQ(OndellaWindow::Instance()->HTMLViewer1()->URL(), LogoImageURL());
    } else {
      EXPECT_EQ(w->mainPower()->Backdrop(), power_m_green());
      EXPECT_EQ(headless::LogWith("sound.").front(), "sound.loop amnoise.wav");
      EXPECT_TRUE(amnoise()->IsLooping());
    }
  }
}

TEST_F(InputTest, BandKeyChangesThePictureOnlyAndAClickAlsoTheNoise) {
  struct Case {
    const char* name;
    bool click;
    bool startAm;
    bool powerOn;
    std::vector<std::string> sounds;
  };
  const std::vector<Case> cases = {
      {"b on AM", false, true, true, {}},
      {"b on FM", false, false, true, {}},
      {"b with the power off", false, true, false, {}},
      {"click on AM", true, true, true, {"sound.stop amnoise.wav", "sound.loop fmnoise.wav"}},
      {"click on FM", true, false, true, {"sound.stop amnoise.wav", "sound.loop amnoise.wav"}},
      {"click with the power off",
       true,
       true,
       false,
       {"sound.stop amnoise.wav", "sound.loop fmnoise.wav"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    w->bandSwitch()->SetBackdrop(c.startAm ? switch_up() : switch_down());
    w->mainPower()->SetBackdrop(c.powerOn ? power_m_green() : power_m_gray());
    w->noise = amnoise();
    w->tuning = true;
    SetNeedle(300);  // no station of the built-in list on either band
    headless::ClearLog();

    std::vector<std::string> sounds;
    bool tuningRightAfter = false;
    const auto passes = PassesAfter([&] {
      if (c.click) {
        headless::Click(*w->bandSwitch());
      } else {
        headless::PressKey(*w, "b");
      }
      sounds = headless::LogWith("sound.");
      tuningRightAfter = w->tuning;
    });

    EXPECT_EQ(w->bandSwitch()->Backdrop(), c.startAm ? switch_down() : switch_up());
    const auto expectedNoise = !c.click ? amnoise() : (c.startAm ? fmnoise() : amnoise());
    EXPECT_EQ(w->noise, expectedNoise);
    EXPECT_EQ(sounds, c.sounds);
    EXPECT_TRUE(tuningRightAfter);
    EXPECT_EQ(passes, 1u);
  }
}

TEST_F(InputTest, OtherKeysOnlyStartThePass) {
  for (const std::string& key : std::vector<std::string>{"x", "B", ChrB(30), ChrB(31), " b"}) {
    SCOPED_TRACE(key);
    SetNeedle(200);
    const auto band = w->bandSwitch()->Backdrop();
    const auto power = w->mainPower()->Backdrop();
    headless::ClearLog();
    bool result = true;
    const auto passes = PassesAfter([&] { result = w->Event_KeyDown(key); });
    EXPECT_FALSE(result);
    EXPECT_EQ(passes, 1u);
    EXPECT_EQ(w->tuneBar()->X1(), 200);
    EXPECT_EQ(w->bandSwitch()->Backdrop(), band);
    EXPECT_EQ(w->mainPower()->Backdrop(), power);
    EXPECT_TRUE(headless::LogWith("sound.").empty());
  }
}

TEST_F(InputTest, HandlersAnswerFalse) {
  EXPECT_FALSE(w->Event_KeyDown(ChrB(29)));
  EXPECT_FALSE(w->Event_MouseWheel(0, 0, 0, 3));
  EXPECT_FALSE(w->bandSwitch_MouseDown(*w->bandSwitch(), 1, 1));
  EXPECT_FALSE(w->mainPower_MouseDown(*w->mainPower(), 1, 1));
}

TEST_F(InputTest, WithoutANoiseTheSwitchesStopBeforeStartingAnything) {
  w->noise = nullptr;
  w->tuning = true;

  // The band click shows the new picture, then finds no noise to stop.
  auto passes = PassesAfter([&] { headless::Click(*w->bandSwitch()); });
  EXPECT_EQ(w->bandSwitch()->Backdrop(), switch_down());
  EXPECT_EQ(w->noise, nullptr);
  EXPECT_EQ(passes, 0u);

  // Switching off shows the picture and clears tuning, then stops short of the cue and
  // the logo image.
  passes = PassesAfter([&] { headless::Click(*w->mainPower()); });
  EXPECT_EQ(w->mainPower()->Backdrop(), power_m_gray());
  EXPECT_FALSE(w->tuning);
  EXPECT_TRUE(headless::LogWith("web.load").empty());
  EXPECT_TRUE(headless::LogWith("sound.").empty());
  EXPECT_EQ(passes, 0u);
}

TEST_F(InputTest, EnableMenuItemsEnablesTheRegionMenuAndEachEntryWithAYield) {
  for (int entries : {0, 3}) {
    SCOPED_TRACE(entries);
    auto menu = w->placeMenu();
    while (menu->Count() > 0) menu->Remove(menu->Count() - 1);
    for (int i = 0; i < entries; ++i) {
      auto entry = std::make_shared<placeMenuClass>();
      entry->SetText("R" + std::to_string(i));
      entry->SetEnabled(false);
      menu->Append(entry);
    }
    menu->SetEnabled(false);
    int yields = 0;
    platform::SetYieldObserverForTesting([&](bool) { ++yields; });
    w->mainPower_EnableMenuItems(*w->mainPower());
    platform::SetYieldObserverForTesting(nullptr);

    EXPECT_TRUE(menu->Enabled());
    for (int i = 0; i < entries; ++i) EXPECT_TRUE(menu->Item(i)->Enabled()) << i;
    EXPECT_EQ(yields, entries);
  }
}

}  // namespace
