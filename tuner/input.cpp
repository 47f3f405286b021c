// The user's hands on the tuner strip: arrow keys and wheel move the needle, "b" and the
// band switch change the band, the space bar and the power switch toggle the power.
//
// The handlers only change what is seen and heard at once; what the new position, band or
// power means for the tuning is left to the pass that each of them starts on the worker.
// None of them yields except mainPower_EnableMenuItems, so a pass never sees half of a
// handler's changes.

#include <memory>

#include "app/media.h"
#include "platform/exceptions.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "player/ondella_window.h"
#include "tuner/service_urls.h"
#include "tuner/tuner_window.h"

namespace {

// The needle's range on the dial, in window pixels; both ends belong to it.
constexpr platform::Int32 kDialMin = 106;
constexpr platform::Int32 kDialMax = 326;

// Keys as the framework hands them over.
const platform::String& RightArrowKey() {
  static const platform::String key = platform::ChrB(29);
  return key;
}
const platform::String& LeftArrowKey() {
  static const platform::String key = platform::ChrB(28);
  return key;
}
const platform::String& SpaceKey() {
  static const platform::String key = platform::ChrB(32);
  return key;
}
constexpr const char* kBandKey = "b";

void StartWorker(tunerWindow& window) {
  const auto worker = window.tuneStationThread();
  platform::Need(worker, "tuneStationThread").Run();
}

}  // namespace

bool tunerWindow::Event_KeyDown(const String& key) {
  using platform::Need;
  using platform::TextEquals;

  // The arrows do not clamp: a needle restored outside the range only moves toward it.
  // The needle is read only for a key that matched.
  const auto bar = tuneBar();
  if (TextEquals(key, RightArrowKey()) && Need(bar, "tuneBar").X1() < kDialMax) {
    bar->SetX1(bar->X1() + 1);
    bar->SetX2(bar->X1());
  } else if (TextEquals(key, LeftArrowKey()) && Need(bar, "tuneBar").X1() > kDialMin) {
    bar->SetX1(bar->X1() - 1);
    bar->SetX2(bar->X1());
  } else if (TextEquals(key, SpaceKey())) {
    powerToggle();
  } else if (TextEquals(key, kBandKey)) {
    // The key changes only the picture; the noise stays that of the band shown before.
    const auto band = bandSwitch();
    auto& canvas = Need(band, "bandSwitch");
    canvas.SetBackdrop(canvas.Backdrop() == switch_down() ? switch_up() : switch_down());
  }

  StartWorker(*this);
  return false;
}

bool tunerWindow::Event_MouseWheel(Int32 x, Int32 y, Int32 deltaX, Int32 deltaY) {
  (void)x, (void)y, (void)deltaX;
  const auto bar = tuneBar();
  auto& line = platform::Need(bar, "tuneBar");
  line.SetX1(platform::WrapAdd(line.X1(), deltaY));
  if (line.X1() > kDialMax) {
    line.SetX1(kDialMax);
  } else if (line.X1() < kDialMin) {
    line.SetX1(kDialMin);
  }
  line.SetX2(line.X1());

  StartWorker(*this);
  return false;
}

bool tunerWindow::bandSwitch_MouseDown(platform::Canvas& control, Int32 x, Int32 y) {
  (void)control, (void)x, (void)y;
  using platform::Need;

  const auto band = bandSwitch();
  auto& canvas = Need(band, "bandSwitch");
  if (canvas.Backdrop() == switch_down()) {
    canvas.SetBackdrop(switch_up());
    Need(noise, "noise").Stop();
    noise = amnoise();
  } else {
    canvas.SetBackdrop(switch_down());
    Need(noise, "noise").Stop();
    noise = fmnoise();
  }
  // The new band's noise loops whatever the power shows; the pass sorts out the rest.
  Need(noise, "noise").PlayLooping();

  StartWorker(*this);
  return false;
}

bool tunerWindow::mainPower_MouseDown(platform::Canvas& control, Int32 x, Int32 y) {
  (void)control, (void)x, (void)y;
  powerToggle();
  return false;
}

void tunerWindow::powerToggle() {
  using platform::Need;

  const auto power = mainPower();
  auto& canvas = Need(power, "mainPower");
  if (canvas.Backdrop() == power_m_gray()) {
    canvas.SetBackdrop(power_m_green());
    // Cleared so that the next pass that finds a station plays the cue and loads its page.
    tuning = false;
    Need(noise, "noise").PlayLooping();
    StartWorker(*this);
  } else {
    // Switching off starts no pass: it silences everything and ends the stream itself by
    // loading the logo image in place of the station's page.
    canvas.SetBackdrop(power_m_gray());
    tuning = false;
    Need(noise, "noise").Stop();
    Need(tuned(), "tuned").Stop();
    const auto player = OndellaWindow::Instance();
    const auto viewer = Need(player, "OndellaWindow").HTMLViewer1();
    Need(viewer, "HTMLViewer1").LoadURL(LogoImageURL());
  }
}

void tunerWindow::mainPower_EnableMenuItems(platform::Canvas& control) {
  (void)control;
  using platform::Need;

  Need(placeMenu(), "placeMenu").Enable();
  // The count is read anew before each entry, since the worker may run at the yield.
  for (Int32 i = 0; i < Need(placeMenu(), "placeMenu").Count(); ++i) {
    Need(Need(placeMenu(), "placeMenu").Item(i), "region entry").Enable();
    platform::RuntimeBackgroundTask();
  }
}
