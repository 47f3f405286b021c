// The tuning pass: which needle positions tune which station, what each pass does to the
// tuner's state and in which order, and how it behaves at its yields.

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "app/media.h"
#include "platform/exceptions.h"
#include "platform/headless/headless.h"
#include "platform/thread.h"
#include "support/program_fixture.h"
#include "tuner/service_urls.h"
#include "tuner/tuner_window.h"

namespace {

using platform::Int32;
using Strings = std::vector<std::string>;

// The main window without its Open event, so that a case sets the tuner's state itself
// instead of inheriting the preferences and the station file.
class PassWindow : public tunerWindow {
 public:
  void Event_Open() override {}
};

enum class Band { AM, FM, Neither };

class TuningPassTest : public testsupport::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    window = platform::Window::New<PassWindow>();
    testsupport::Settle();
    window->noise = amnoise();
    ClearLog();
  }

  void SetList(Strings names, std::vector<double> hz) {
    window->stationName = std::move(names);
    window->stationHz = std::move(hz);
  }
  void SetNeedle(Int32 x) {
    window->tuneBar()->SetX1(x);
    window->tuneBar()->SetX2(x);
  }
  void SetBand(Band band) {
    window->bandSwitch()->SetBackdrop(band == Band::AM   ? switch_up()
                                      : band == Band::FM ? switch_down()
                                                         : Ondella());
  }
  void SetPower(bool on) { window->mainPower()->SetBackdrop(on ? power_m_green() : power_m_gray()); }

  // One pass called directly, as the worker's Run event would; its yields give no turn
  // to anything else.
  void Pass() { window->tuneStationThread_Run(*window->tuneStationThread()); }
  // One pass started on the worker and run to its end by the event loop.
  void PassOnWorker() {
    window->tuneStationThread()->Run();
    testsupport::Settle();
  }

  // The effects of the pass: sounds and page loads, in order.
  static Strings Effects() {
    Strings effects;
    for (const auto& entry : Log()) {
      if (entry.starts_with("sound.") || entry.starts_with("web.load")) effects.push_back(entry);
    }
    return effects;
  }
  static std::string PageLoad(const std::string& code) {
    return "web.load " + PlayerPageURLPrefix() + code;
  }
  static std::string LogoLoad() { return "web.load " + LogoImageURL(); }

  std::shared_ptr<PassWindow> window;
};

TEST(ServiceUrls, PointAtThePlayerPageAndTheLogoOnOneHost) {
  const std::string prefix = PlayerPageURLPrefix();
  const std::string logo = LogoImageURL();
  ASSERT_TRUE(prefix.starts_with("http://"));
  const std::string host = prefix.substr(7, prefix.find('/', 7) - 7);
  EXPECT_FALSE(host.empty());
  EXPECT_EQ(prefix, "http://" + host + "/player/player.html#");
  EXPECT_EQ(logo, "http://" + host + "/static/2.0/common/images/sitelogo.png");
}

// Whether a single station (after the blank entry) is tuned in with the needle at x.
struct MatchCase {
  Band band;
  double hz;
  Int32 x;
  bool tuned;
};

TEST_F(TuningPassTest, TunesAStationOnlyWithinItsOpenRange) {
  constexpr Int32 kMax = std::numeric_limits<Int32>::max();
  constexpr Int32 kMin = std::numeric_limits<Int32>::min();
  const MatchCase cases[] = {
      // 954 kHz lies between two positions: 950 and 955 are both within 5 kHz.
      {Band::AM, 954.0, 189, false},
      {Band::AM, 954.0, 190, true},
      {Band::AM, 954.0, 191, true},
      {Band::AM, 954.0, 192, false},
      // 955 kHz sits on a position; its neighbours fall exactly on the excluded ends.
      {Band::AM, 955.0, 190, false},
      {Band::AM, 955.0, 191, true},
      {Band::AM, 955.0, 192, false},
      // 76.0 MHz at 111 is exactly 76.15 - 0.15 and 75.85 + 0.15: an end, not a match.
      {Band::FM, 76.15, 111, false},
      {Band::FM, 76.15, 112, true},
      {Band::FM, 76.15, 113, true},
      {Band::FM, 75.85, 109, true},
      {Band::FM, 75.85, 110, true},
      {Band::FM, 75.85, 111, false},
      // At the right end of the dial the FM step 0.13333333 lies 7e-7 MHz below 2/15 x 215.
      {Band::FM, 104.816666, 326, false},
      {Band::FM, 104.8166659, 326, true},
      // An FM frequency is not an AM one and the other way round.
      {Band::AM, 76.15, 112, false},
      {Band::FM, 954.0, 190, false},
      // 5 * (2^31 - 1) wraps to 2147483643 before it becomes a frequency.
      {Band::AM, 2147483643.0, kMax, true},
      {Band::AM, 5.0 * 2147483647.0, kMax, false},
      // INT32_MIN - 111 wraps to 2147483537.
      {Band::FM, 76.0 + 2147483537.0 * 0.13333333, kMin, true},
      {Band::FM, 76.0 + (-2147483759.0) * 0.13333333, kMin, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("hz " + std::to_string(c.hz) + " at " + std::to_string(c.x));
    window->tuning = false;
    SetList({"", "ST"}, {0.0, c.hz});
    SetBand(c.band);
    SetNeedle(c.x);
    ClearLog();
    Pass();
    EXPECT_EQ(window->tuning, c.tuned);
    EXPECT_EQ(Log("web.load"), c.tuned ? Strings{PageLoad("ST")} : Strings{});
  }
}

TEST_F(TuningPassTest, BlankEntryMatchesOnlyFarOutsideTheDialAndGivesAnEmptyCode) {
  const MatchCase cases[] = {
      {Band::AM, 0.0, 0, true},     {Band::AM, 0.0, 1, false},   {Band::AM, 0.0, -1, false},
      {Band::FM, 0.0, -461, false}, {Band::FM, 0.0, -460, true}, {Band::FM, 0.0, -459, true},
      {Band::FM, 0.0, -458, true},  {Band::FM, 0.0, -457, false}, {Band::AM, 0.0, 106, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("at " + std::to_string(c.x));
    window->tuning = false;
    SetList({""}, {0.0});
    SetBand(c.band);
    SetNeedle(c.x);
    ClearLog();
    Pass();
    EXPECT_EQ(Log("web.load"), c.tuned ? Strings{PageLoad("")} : Strings{});
  }
}

// Sweeps the whole dial on both bands over the built-in list, starting each position
// untuned, and collects where each station is found.
TEST_F(TuningPassTest, BuiltInStationsAreFoundAtTheirDialPositions) {
  const std::map<std::string, std::vector<Int32>> expected = {
      {"TBS", {190, 191}}, {"QRR", {226, 227}},      {"LFR", {248, 249}},
      {"INT", {111, 112}}, {"FMT", {140, 141, 142}}, {"FMJ", {150, 151}},
  };
  std::map<std::string, std::vector<Int32>> found;
  for (Band band : {Band::AM, Band::FM}) {
    SetBand(band);
    for (Int32 x = 106; x <= 326; ++x) {
      window->tuning = false;
      SetList({"TBS", "QRR", "LFR", "INT", "FMT", "FMJ"}, {954.0, 1134.0, 1242.0, 76.1, 80.0, 81.3});
      SetNeedle(x);
      ClearLog();
      Pass();
      const auto loads = Log("web.load");
      ASSERT_LE(loads.size(), 1u);
      if (!loads.empty()) {
        found[loads[0].substr(PageLoad("").size())].push_back(x);
        EXPECT_EQ(band == Band::AM, x > 160) << "station of the wrong band at " << x;
      }
    }
  }
  EXPECT_EQ(found, expected);
}

// The pass's effect on the tuner's two conditions, with the power on.
struct StateCase {
  const char* name;
  bool tuningBefore;
  Int32 x;  // 190 is on the station, 300 on none
  Strings effects;
  bool tuningAfter;
};

TEST_F(TuningPassTest, MovesBetweenTunedInAndNotTunedInWithEffectsInOrder) {
  const StateCase cases[] = {
      {"newly tuned in", false, 190,
       {"sound.stop amnoise.wav", "sound.play tuned.wav", PageLoad("TBS")}, true},
      {"already tuned in", true, 190, {}, true},
      {"station lost", true, 300, {LogoLoad(), "sound.loop amnoise.wav"}, false},
      {"nothing to find", false, 300, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window->tuning = c.tuningBefore;
    SetList({"", "TBS"}, {0.0, 954.0});
    SetBand(Band::AM);
    SetNeedle(c.x);
    ClearLog();
    Pass();
    EXPECT_EQ(Effects(), c.effects);
    EXPECT_EQ(window->tuning, c.tuningAfter);
  }
}

TEST_F(TuningPassTest, PowerOffChangesNothing) {
  SetList({"", "TBS"}, {0.0, 954.0});
  SetBand(Band::AM);
  SetPower(false);
  for (bool tuning : {false, true}) {
    for (Int32 x : {190, 300}) {
      window->tuning = tuning;
      SetNeedle(x);
      ClearLog();
      PassOnWorker();
      EXPECT_EQ(Effects(), Strings{}) << tuning << " at " << x;
      EXPECT_EQ(window->tuning, tuning);
    }
  }
}

TEST_F(TuningPassTest, BandSwitchShowingNeitherPictureMatchesNothing) {
  SetList({"", "TBS", "INT"}, {0.0, 954.0, 76.1});
  SetNeedle(190);
  SetBand(Band::Neither);
  Pass();
  EXPECT_FALSE(window->tuning);
  EXPECT_EQ(Effects(), Strings{});

  // A station that was tuned in is lost as on an empty stretch of the dial.
  window->tuning = true;
  Pass();
  EXPECT_EQ(Effects(), (Strings{LogoLoad(), "sound.loop amnoise.wav"}));
}

TEST_F(TuningPassTest, EarlierOfTwoOverlappingStationsWins) {
  SetList({"", "A", "B"}, {0.0, 954.0, 955.0});
  SetBand(Band::AM);
  SetNeedle(191);
  Pass();
  EXPECT_EQ(Log("web.load"), Strings{PageLoad("A")});
}

TEST_F(TuningPassTest, NeighbouringStationIsTunedOnlyAfterAPassFindsNone) {
  SetList({"", "S594", "S603"}, {0.0, 594.0, 603.0});
  SetBand(Band::AM);
  const std::pair<Int32, Strings> steps[] = {
      {118, {PageLoad("S594")}},
      {119, {}},
      {120, {}},  // within 603's range, but 594 still plays
      {121, {}},
      {122, {LogoLoad()}},
      {121, {PageLoad("S603")}},
  };
  for (const auto& [x, loads] : steps) {
    SetNeedle(x);
    ClearLog();
    Pass();
    EXPECT_EQ(Log("web.load"), loads) << "at " << x;
  }
}

// Counts the worker's yields during one pass.
TEST_F(TuningPassTest, YieldsOnceAfterEachEntryThatDoesNotMatch) {
  int yields = 0;
  platform::SetYieldObserverForTesting([&yields](bool onFiber) { yields += onFiber ? 1 : 0; });
  SetList({"", "A", "B", "C"}, {0.0, 600.0, 954.0, 700.0});
  SetBand(Band::AM);
  const std::pair<Int32, int> cases[] = {{190, 2}, {300, 4}};
  for (const auto& [x, expectedYields] : cases) {
    yields = 0;
    SetNeedle(x);
    PassOnWorker();
    EXPECT_EQ(yields, expectedYields) << "at " << x;
  }
}

TEST_F(TuningPassTest, ListShortenedAtAYieldEndsThePassAtTheNewBound) {
  // The station under the needle is last; the list loses it while the pass waits.
  window->tuning = true;
  SetList({"", "A", "B", "TBS"}, {0.0, 600.0, 700.0, 954.0});
  SetBand(Band::AM);
  SetNeedle(190);
  int yields = 0;
  platform::SetYieldObserverForTesting([this, &yields](bool onFiber) {
    if (onFiber && ++yields == 1) {
      window->stationName.resize(2);
      window->stationHz.resize(2);
    }
  });
  PassOnWorker();
  EXPECT_EQ(yields, 2);
  EXPECT_FALSE(window->tuning);
  EXPECT_EQ(Effects(), (Strings{LogoLoad(), "sound.loop amnoise.wav"}));
}

TEST_F(TuningPassTest, ListGrownAtAYieldIsWalkedToItsNewEnd) {
  SetList({"", "A"}, {0.0, 600.0});
  SetBand(Band::AM);
  SetNeedle(190);
  platform::SetYieldObserverForTesting([this](bool onFiber) {
    if (onFiber && window->stationName.size() == 2) {
      window->stationName.push_back("TBS");
      window->stationHz.push_back(954.0);
    }
  });
  PassOnWorker();
  EXPECT_EQ(Log("web.load"), Strings{PageLoad("TBS")});
}

TEST_F(TuningPassTest, NeedleAndBandAreReadAfreshAfterEachYield) {
  SetList({"", "A", "TBS"}, {0.0, 600.0, 954.0});
  SetBand(Band::FM);
  SetNeedle(300);
  platform::SetYieldObserverForTesting([this](bool onFiber) {
    if (onFiber) {
      SetBand(Band::AM);
      SetNeedle(190);
    }
  });
  PassOnWorker();
  EXPECT_EQ(Log("web.load"), Strings{PageLoad("TBS")});
}

TEST_F(TuningPassTest, MissingCueStopsThePassAfterWhatWasAlreadyDone) {
  platform::headless::FailToDecode("tuned.wav");
  SetList({"", "TBS"}, {0.0, 954.0});
  SetBand(Band::AM);
  SetNeedle(190);
  EXPECT_THROW(Pass(), platform::NilObjectException);
  EXPECT_TRUE(window->tuning);
  EXPECT_EQ(Effects(), Strings{"sound.stop amnoise.wav"});
}

TEST_F(TuningPassTest, MissingNoiseRaisesBeforeAnySoundOrPage) {
  window->noise = nullptr;
  SetList({"", "TBS"}, {0.0, 954.0});
  SetBand(Band::AM);
  SetNeedle(190);
  EXPECT_THROW(Pass(), platform::NilObjectException);
  EXPECT_EQ(Effects(), Strings{});
}

TEST_F(TuningPassTest, EntryWithoutAFrequencyDoesNotMatch) {
  // The lists are meant to be equally long; names past the end of the frequencies are
  // passed over instead of read out of bounds.
  SetList({"A", "X", "Y"}, {954.0});
  SetBand(Band::AM);
  SetNeedle(0);
  int yields = 0;
  platform::SetYieldObserverForTesting([&yields](bool onFiber) { yields += onFiber ? 1 : 0; });
  PassOnWorker();
  EXPECT_EQ(yields, 3);
  EXPECT_FALSE(window->tuning);
  EXPECT_EQ(Effects(), Strings{});
}

}  // namespace
