#include "tuner/tuner_window.h"

#include <cstdint>
#include <limits>

#include "app/media.h"
#include "app/menubar1.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/properties.h"
#include "platform/text.h"
#include "tuner/preferences.h"

namespace {

using I64 = std::int64_t;
using platform::String;

// The worker's class; inside tunerWindow its name is hidden by the accessor of the same name.
using WorkerThread = class tunerWindow::tuneStationThread;

constexpr I64 kNoIndex = std::numeric_limits<platform::Int32>::min();

// The needle's place on the very first run.
constexpr platform::Int32 kFirstRunNeedle = 110;

platform::Int32 IntegerOf(const platform::String& value) {
  return platform::ToInt32(platform::Val(value));
}

// The two switches share their design-time properties but for name, place, size and tab
// order.
void SetSwitchProperties(platform::Canvas& canvas, const char* name, I64 left, I64 top,
                         I64 width, I64 height, I64 tabIndex) {
  platform::SetProperties(canvas, {
                                      {"Name", String(name)},
                                      {"Index", kNoIndex},
                                      {"Left", left},
                                      {"Top", top},
                                      {"Width", width},
                                      {"Height", height},
                                      {"LockLeft", true},
                                      {"LockTop", true},
                                      {"LockRight", false},
                                      {"LockBottom", false},
                                      {"TabPanelIndex", I64{0}},
                                      {"TabIndex", tabIndex},
                                      {"TabStop", true},
                                      {"Visible", true},
                                      {"HelpTag", String()},
                                      {"AutoDeactivate", true},
                                      {"Enabled", true},
                                      {"UseFocusRing", true},
                                      {"AcceptFocus", false},
                                      {"AcceptTabs", false},
                                      {"DoubleBuffer", false},
                                      {"EraseBackground", true},
                                      {"InitialParent", String()},
                                  });
}

}  // namespace

std::shared_ptr<tunerWindow> tunerWindow::Instance() {
  if (auto window = platform::GetImplicitWindow<tunerWindow>()) return window;
  // The framework registers the window before it raises Layout and CreateControls, so the
  // window's own handlers find it through this accessor from then on.
  return platform::Window::New<tunerWindow>();
}

void tunerWindow::Layout() {
  SetBackdrop(Ondella());
  SetMenuBar(MenuBar1::Instance());
  platform::SetProperties(*this, {
                                     {"Placement", I64{0}},
                                     {"Width", I64{340}},
                                     {"Height", I64{46}},
                                     {"MinWidth", I64{64}},
                                     {"MinHeight", I64{64}},
                                     {"MaxWidth", I64{32000}},
                                     {"MaxHeight", I64{32000}},
                                     {"Frame", I64{0}},
                                     {"Composite", true},
                                     {"HasBackColor", false},
                                     {"BackColor", platform::RGB(0xFFFFFF)},
                                     {"Title", String("Palmeno")},
                                     {"Visible", true},
                                     {"FullScreen", false},
                                     {"MenuBarVisible", true},
                                     {"CloseButton", true},
                                     {"Resizeable", false},
                                     {"LiveResize", false},
                                     {"MaximizeButton", false},
                                     {"MinimizeButton", true},
                                     {"MacProcID", I64{0}},
                                 });
}

void tunerWindow::CreateControls() { CreateControls0(); }

void tunerWindow::CreateControls0() {
  // The needle: a vertical orange line, left of the range the keys and the wheel allow
  // until the Open event places it.
  AddControl("tuneBar", std::make_shared<platform::Line>());
  platform::SetProperties(platform::Need(tuneBar(), "tuneBar"),
                          {
                              {"Name", String("tuneBar")},
                              {"Index", kNoIndex},
                              {"Top", I64{19}},
                              {"Left", I64{105}},
                              {"Width", I64{100}},
                              {"Height", I64{50}},
                              {"X1", I64{105}},
                              {"X2", I64{105}},
                              {"Y1", I64{19}},
                              {"Y2", I64{25}},
                              {"TabPanelIndex", I64{0}},
                              {"Visible", true},
                              {"BorderWidth", I64{3}},
                              {"LineColor", platform::RGB(0xFF7F00)},
                              {"InitialParent", String()},
                          });

  // The band switch starts at AM. Its picture is set before its properties, which hold none.
  AddControl("bandSwitch", std::make_shared<platform::Canvas>());
  {
    platform::Canvas& band = platform::Need(bandSwitch(), "bandSwitch");
    band.SetBackdrop(switch_up());
    SetSwitchProperties(band, "bandSwitch", 32, 5, 15, 34, 1);
    // The window owns its controls, so it outlives every binding made here.
    band.OnMouseDown = [this](platform::Canvas& c, Int32 x, Int32 y) {
      return bandSwitch_MouseDown(c, x, y);
    };
  }

  // The power switch starts on.
  AddControl("mainPower", std::make_shared<platform::Canvas>());
  {
    platform::Canvas& power = platform::Need(mainPower(), "mainPower");
    power.SetBackdrop(power_m_green());
    SetSwitchProperties(power, "mainPower", 4, 10, 24, 24, 2);
    power.OnEnableMenuItems = [this](platform::Canvas& c) { mainPower_EnableMenuItems(c); };
    power.OnMouseDown = [this](platform::Canvas& c, Int32 x, Int32 y) {
      return mainPower_MouseDown(c, x, y);
    };
  }

  // The worker: idle until the first input or the Open event starts a pass.
  AddControl("tuneStationThread", std::make_shared<WorkerThread>());
  {
    platform::Thread& worker = platform::Need(tuneStationThread(), "tuneStationThread");
    platform::SetProperties(worker, {
                                        {"Priority", I64{5}},
                                        {"StackSize", I64{0}},
                                    });
    worker.OnRun = [this](platform::Thread& t) { tuneStationThread_Run(t); };
  }
}

void tunerWindow::Event_Open() {
  using platform::Need;
  using platform::TextEquals;

  // Each setting is applied as soon as its line is read, so a failure part way leaves the
  // settings before it applied and the ones after it as built.
  if (auto prefs = PrefsReader::OpenIfExists()) {
    const platform::Int32 top = IntegerOf(prefs->Next());
    Need(Instance(), "tunerWindow").SetTop(top);
    const platform::Int32 left = IntegerOf(prefs->Next());
    Need(Instance(), "tunerWindow").SetLeft(left);
    const String powerValue = prefs->Next();
    const String bandValue = prefs->Next();

    Need(bandSwitch(), "bandSwitch")
        .SetBackdrop(TextEquals(bandValue, "1") ? switch_up() : switch_down());
    noise = Need(bandSwitch(), "bandSwitch").Backdrop() == switch_up() ? amnoise() : fmnoise();
    if (TextEquals(powerValue, "1")) {
      Need(mainPower(), "mainPower").SetBackdrop(power_m_green());
      Need(noise, "noise").PlayLooping();
    } else {
      Need(mainPower(), "mainPower").SetBackdrop(power_m_gray());
    }

    // A saved needle is applied as it is, even outside the range the keys keep.
    const platform::Int32 needle = IntegerOf(prefs->Next());
    const auto bar = tuneBar();
    Need(bar, "tuneBar").SetX1(needle);
    bar->SetX2(bar->X1());

    currentPlace = prefs->Next();
    readStation(currentPlace);
    prefs->Close();
    tuning = false;
    Need(tuneStationThread(), "tuneStationThread").Run();
  } else {
    // First run: no pass starts until the first input.
    Need(mainPower(), "mainPower").SetBackdrop(power_m_green());
    Need(bandSwitch(), "bandSwitch").SetBackdrop(switch_up());
    currentPlace = kDefaultRegion;
    readStation(kDefaultRegion);
    noise = amnoise();
    Need(noise, "noise").PlayLooping();
    const auto bar = tuneBar();
    Need(bar, "tuneBar").SetX1(kFirstRunNeedle);
    bar->SetX2(bar->X1());
  }
}

void tunerWindow::Event_Close() {
  using platform::Need;
  using platform::Str;

  PrefsWriter prefs;
  const auto self = Instance();
  prefs.Next(Str(Need(self, "tunerWindow").Top()));
  prefs.Next(Str(Need(self, "tunerWindow").Left()));
  const bool powerOn = Need(mainPower(), "mainPower").Backdrop() == power_m_green();
  prefs.Next(powerOn ? "1" : "2");
  const bool am = Need(bandSwitch(), "bandSwitch").Backdrop() == switch_up();
  prefs.Next(am ? "1" : "2");
  prefs.Next(Str(Need(tuneBar(), "tuneBar").X1()));
  prefs.Next(currentPlace);
  prefs.Close();

  platform::Quit(0);
}
