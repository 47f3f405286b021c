#include "tuner/tuner_window.h"

#include <cstdint>
#include <limits>

#include "app/media.h"
#include "app/menubar1.h"
#include "platform/exceptions.h"
#include "platform/properties.h"

namespace {

using I64 = std::int64_t;
using platform::String;

// The worker's class; inside tunerWindow its name is hidden by the accessor of the same name.
using WorkerThread = class tunerWindow::tuneStationThread;

constexpr I64 kNoIndex = std::numeric_limits<platform::Int32>::min();

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
