// A long run of random input on the headless backend: keys, wheel turns of any size, clicks
// on both switches and region choices, with the event loop run after each. After every input
// the tuner must still hold its invariants, and over the run its memory must stay flat.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/media.h"
#include "hardening/tuning_model.h"
#include "platform/headless/headless.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "support/program_fixture.h"
#include "tuner/service_urls.h"
#include "tuner/tuner_window.h"

#if defined(__SANITIZE_ADDRESS__)
#define PALMENO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PALMENO_ASAN 1
#endif
#endif

namespace {

namespace headless = platform::headless;
using platform::Int32;

// Three regions in four runs, stations of both bands, two of them with overlapping ranges,
// and stations at both ends of the dial, where the large wheel turns leave the needle.
constexpr const char* kStations =
    "東京,TBS,954\n東京,QRR,1134\n東京,INT,76.1\n東京,FMT,80.0\n"
    "東京,LOW,530\n東京,TOP,1630\n東京,FLO,75.4\n東京,FHI,104.6\n"
    "大阪,ABC,1008\n大阪,OLO,531\n大阪,OHI,104.62\n大阪,MBS,1179\n大阪,FM8,85.1\n大阪,FM9,85.2\n"
    "札幌,HBC,1287\n"
    "東京,LFR,1242\n";
constexpr Int32 kRegionEntries = 4;

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

class SoakTest : public testsupport::ProgramTest {};

TEST_F(SoakTest, RandomInputKeepsTheTunerConsistentAndMemoryFlat) {
  WriteWorkFile("station.txt", kStations);
  const auto w = tunerWindow::Instance();
  testsupport::Settle();
  ASSERT_EQ(w->placeMenu()->Count(), kRegionEntries);

  std::mt19937 rng(20261210);
  const auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const auto anyInt32 = [&rng] {
    return std::uniform_int_distribution<Int32>(std::numeric_limits<Int32>::min(),
                                                std::numeric_limits<Int32>::max())(rng);
  };
  const std::vector<std::string> otherKeys = {"", "B", "x", "\x1e", "\x1f", "\r", "  ",
                                              "\xff", "東", std::string(1, '\0')};
  const std::vector<Int32> extremeDeltas = {std::numeric_limits<Int32>::min(),
                                            std::numeric_limits<Int32>::max(), -1, 1, 0};

#ifdef PALMENO_ASAN
  // Under AddressSanitizer every tuning pass maps a fresh fiber stack, which makes an input
  // about twenty times dearer; a quarter of the run still walks every path many times.
  constexpr int kInputs = 25'000;
#else
  constexpr int kInputs = 100'000;
#endif
  constexpr int kWarmUp = kInputs / 10;
  long residentAfterWarmUp = 0;
  std::string lastLoad;
  int tunedIn = 0, poweredOff = 0;  // how often the run saw each condition
  for (int n = 0; n < kInputs; ++n) {
    std::string what;
    switch (pick(10)) {
      case 0: case 1: case 2:
        headless::PressKey(*w, platform::ChrB(pick(2) ? 29 : 28));
        what = "arrow";
        break;
      case 3:
        headless::PressKey(*w, pick(2) ? " " : "b");
        what = "space or b";
        break;
      case 4:
        headless::PressKey(*w, otherKeys[pick(static_cast<int>(otherKeys.size()))]);
        what = "other key";
        break;
      case 5: {
        const int kind = pick(3);
        const Int32 delta = kind == 0   ? pick(21) - 10
                            : kind == 1 ? extremeDeltas[pick(5)]
                                        : anyInt32();
        headless::Wheel(*w, delta, anyInt32(), anyInt32(), anyInt32());
        what = "wheel " + std::to_string(delta);
        break;
      }
      case 6:
        headless::Click(*w->bandSwitch(), pick(15), pick(34));
        what = "band click";
        break;
      case 7:
        headless::Click(*w->mainPower(), pick(24), pick(24));
        what = "power click";
        break;
      default: {
        const auto entry = w->placeMenu()->Item(pick(kRegionEntries));
        ASSERT_NE(entry, nullptr);
        headless::ChooseMenu(*entry);
        what = "region " + entry->Text();
        break;
      }
    }
    testsupport::Settle();

    for (const auto& load : headless::LogWith("web.load ")) lastLoad = load.substr(9);
    headless::ClearLog();

    SCOPED_TRACE("input " + std::to_string(n) + ": " + what);
    const auto bar = w->tuneBar();
    ASSERT_EQ(w->stationName.size(), w->stationHz.size());
    ASSERT_GE(bar->X1(), 106);
    ASSERT_LE(bar->X1(), 326);
    ASSERT_EQ(bar->X2(), bar->X1());
    ASSERT_EQ(w->placeMenu()->Count(), kRegionEntries);
    ASSERT_FALSE(w->tuneStationThread()->IsBusy());

    const bool powerOn = w->mainPower()->Backdrop() == power_m_green();
    const auto band = w->bandSwitch()->Backdrop() == switch_up() ? tuningmodel::Band::AM
                                                                 : tuningmodel::Band::FM;
    const bool heard = tuningmodel::AnyMatch(w->stationHz, bar->X1(), band);
    ASSERT_EQ(w->tuning, powerOn && heard);
    tunedIn += w->tuning;
    poweredOff += !powerOn;
    if (w->tuning) {
      ASSERT_EQ(lastLoad.rfind(PlayerPageURLPrefix(), 0), 0u) << lastLoad;
    } else if (!lastLoad.empty()) {
      ASSERT_EQ(lastLoad, LogoImageURL());
    }

    if (n + 1 == kWarmUp) residentAfterWarmUp = ResidentBytes();
  }

  // The run spent a fair share of its inputs in each condition, so the checks above bit.
  EXPECT_GT(tunedIn, kInputs / 50);
  EXPECT_GT(poweredOff, kInputs / 10);

  const long growth = ResidentBytes() - residentAfterWarmUp;
#ifdef PALMENO_ASAN
  // AddressSanitizer holds freed memory back in quarantine, so resident memory grows by
  // design there; the ordinary build measures it.
  (void)growth;
#else
  EXPECT_LT(growth, 5L * 1024 * 1024) << "resident memory grew by " << growth << " bytes";
#endif
}

}  // namespace
