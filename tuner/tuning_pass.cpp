// The tuning pass: turns the needle and the band into the first station of the list whose
// tuning range holds the needle's frequency, and moves the tuner between tuned in and not
// tuned in. It runs on the worker's fiber; it yields once after every entry that does not
// match and nowhere else, so a test and the effects that follow from it are never split.
//
// This file is compiled without floating-point contraction: the FM frequency must be
// rounded after the product and again after the sum, as two separate operations.

#include <cstddef>

#include "app/media.h"
#include "platform/exceptions.h"
#include "platform/thread.h"
#include "player/ondella_window.h"
#include "tuner/service_urls.h"
#include "tuner/tuner_window.h"

namespace {

constexpr platform::Int32 kAmStep = 5;          // kHz per pixel
constexpr double kAmHalfWidth = 5.0;            // kHz either side, ends excluded
constexpr platform::Int32 kFmZeroPixel = 111;   // the needle position of 76.0 MHz
constexpr double kFmStep = 0.13333333;          // MHz per pixel; deliberately not 2/15
constexpr double kFmBase = 76.0;                // MHz at the zero pixel
constexpr double kFmHalfWidth = 0.15;           // MHz either side, ends excluded

// Both ends are strict: a frequency on either end of the range does not match.
bool InRange(double hz, double halfWidth, double f) {
  if (!(hz - halfWidth < f)) return false;
  return f < hz + halfWidth;
}

platform::HTMLViewer& PlayerView() {
  auto player = OndellaWindow::Instance();
  auto view = platform::Need(player, "OndellaWindow").HTMLViewer1();
  return platform::Need(view, "HTMLViewer1");
}

}  // namespace

void tunerWindow::tuneStationThread_Run(platform::Thread& thread) {
  (void)thread;
  // The power is read once: a pass under way does not see it go off.
  if (platform::Need(mainPower(), "mainPower").Backdrop() == power_m_gray()) return;

  // The list's bound, the band and the needle are read afresh in every iteration, since
  // the user-interface code may change any of them while the pass waits at a yield.
  for (std::size_t i = 0; i < stationName.size(); ++i) {
    const auto& band = platform::Need(bandSwitch(), "bandSwitch").Backdrop();
    bool match = false;
    const bool am = band == switch_up();
    if (am || band == switch_down()) {
      // The lists are kept the same length; an entry without a frequency simply does not
      // match rather than being read out of bounds.
      if (i < stationHz.size()) {
        const double hz = stationHz[i];
        const Int32 x = platform::Need(tuneBar(), "tuneBar").X1();
        if (am) {
          const double f = static_cast<double>(platform::WrapMul(kAmStep, x));
          match = InRange(hz, kAmHalfWidth, f);
        } else {
          const double steps = static_cast<double>(platform::WrapSub(x, kFmZeroPixel));
          const double f = kFmBase + steps * kFmStep;
          match = InRange(hz, kFmHalfWidth, f);
        }
      }
    }

    if (match) {
      // The first match wins. A station that is already tuned in, this one or another,
      // is left playing; the pass ends without a yield either way.
      if (!tuning) {
        tuning = true;
        platform::Need(noise, "noise").Stop();
        platform::Need(tuned(), "tuned").Play();
        PlayerView().LoadURL(PlayerPageURLPrefix() + stationName[i]);
      }
      return;
    }
    platform::RuntimeBackgroundTask();
  }

  // No entry matched: a station that was tuned in is lost. The cue is left alone.
  if (tuning) {
    tuning = false;
    PlayerView().LoadURL(LogoImageURL());
    platform::Need(noise, "noise").PlayLooping();
  }
}
