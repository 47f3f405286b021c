// Feeds any bytes to the main window's Open event as "Palmeno Prefs" and checks that it
// applies exactly what the six lines say, or raises the framework's nil-object error where
// the rules say it must, and that the tuning pass it starts copes with whatever needle,
// band and power the file restored.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/media.h"
#include "fuzz/fuzz_support.h"
#include "platform/exceptions.h"
#include "platform/headless/headless.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "tests/unit/hardening/tuning_model.h"

namespace {

// What the file asks for, read the way the rules read it.
struct Settings {
  platform::Int32 top, left, needle;
  bool powerOn, am;
  std::string place;
};

Settings Read(const std::vector<std::string>& lines) {
  const auto value = [&lines](std::size_t i) {
    return platform::NthField(i < lines.size() ? lines[i] : std::string(), "=", 2);
  };
  const auto integer = [&value](std::size_t i) {
    return platform::ToInt32(platform::Val(value(i)));
  };
  return {integer(0), integer(1), integer(4), value(2) == "1", value(3) == "1", value(5)};
}

// Ways the surroundings can fail while the file is read.
enum class Fault { None, StationFileUnreadable, NoiseMissing };

constexpr platform::Int32 kNeedleBefore = 77777;
const std::string kPlaceBefore = "\x01" "before";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::Init();
  tunerWindow& w = fuzzsupport::MainWindow();
  const Settings s =
      Read(fuzzsupport::LinesOf({reinterpret_cast<const char*>(data), size}));

  const std::uint32_t mix = fuzzsupport::Mix(data, size);
  const Fault fault = mix % 8 == 0   ? Fault::StationFileUnreadable
                      : mix % 8 == 1 ? Fault::NoiseMissing
                                     : Fault::None;
  const auto stationFile = fuzzsupport::WorkDir() / "station.txt";
  if (fault == Fault::StationFileUnreadable) {
    std::filesystem::create_directories(stationFile);
  }
  if (fault == Fault::NoiseMissing) {
    // The sounds are loaded once per run; forget them so the failing loads are tried.
    ResetMediaCachesForTesting();
    platform::headless::FailToDecode("amnoise.wav");
    platform::headless::FailToDecode("fmnoise.wav");
  }

  // A known state that the file must overwrite, or that must stay where the rules skip it.
  w.tuning = true;
  w.noise = nullptr;
  w.currentPlace = kPlaceBefore;
  w.tuneBar()->SetX1(kNeedleBefore);
  w.tuneBar()->SetX2(kNeedleBefore);
  w.stationName.assign({""});
  w.stationHz.assign({0.0});

  fuzzsupport::WriteBytes(fuzzsupport::ConfigDir() / "Palmeno Prefs", data, size);
  bool raised = false;
  try {
    w.Event_Open();
  } catch (const platform::NilObjectException&) {
    raised = true;
  }

  // Applied before anything can fail.
  FUZZ_CHECK(w.Top() == s.top);
  FUZZ_CHECK(w.Left() == s.left);
  FUZZ_CHECK(w.bandSwitch()->Backdrop() == (s.am ? switch_up() : switch_down()));
  FUZZ_CHECK(w.noise == (s.am ? amnoise() : fmnoise()));
  FUZZ_CHECK(w.mainPower()->Backdrop() == (s.powerOn ? power_m_green() : power_m_gray()));

  const bool noiseFails = fault == Fault::NoiseMissing && s.powerOn;
  FUZZ_CHECK(raised == (noiseFails || fault == Fault::StationFileUnreadable));
  if (noiseFails) {
    // The loop of a missing noise raises: the needle and the region stay as they were.
    FUZZ_CHECK(w.tuneBar()->X1() == kNeedleBefore);
    FUZZ_CHECK(w.currentPlace == kPlaceBefore);
  } else {
    FUZZ_CHECK(w.tuneBar()->X1() == s.needle);
    FUZZ_CHECK(w.tuneBar()->X2() == s.needle);
    FUZZ_CHECK(w.currentPlace == s.place);
    if (s.powerOn) FUZZ_CHECK(w.noise && w.noise->IsLooping());
  }
  FUZZ_CHECK(w.stationName.size() == w.stationHz.size());
  if (fault == Fault::StationFileUnreadable) FUZZ_CHECK(w.stationName.size() == 1);
  if (!raised) FUZZ_CHECK(w.stationName.size() == 6);  // the built-in list
  FUZZ_CHECK(w.tuning == raised);  // cleared only when the event got that far
  FUZZ_CHECK(w.tuneStationThread()->IsBusy() == !raised);

  // The pass started at the end of the event tunes in exactly when the dial says so.
  platform::headless::RunUntilIdle();
  if (!raised) {
    const auto band = s.am ? tuningmodel::Band::AM : tuningmodel::Band::FM;
    const bool heard = tuningmodel::AnyMatch(w.stationHz, s.needle, band);
    FUZZ_CHECK(w.tuning == (s.powerOn && heard));
  }

  if (fault == Fault::StationFileUnreadable) fuzzsupport::RemovePath(stationFile);
  if (fault == Fault::NoiseMissing) {
    platform::headless::ClearFaults();
    ResetMediaCachesForTesting();
  }
  fuzzsupport::QuietBackend();
  return 0;
}
