// The main window as built: its single instance, its controls and their design-time
// values, its state before the Open event, and the bindings of its controls' events.

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "app/media.h"
#include "app/menubar1.h"
#include "platform/exceptions.h"
#include "platform/headless/headless.h"
#include "platform/types.h"
#include "support/program_fixture.h"
#include "tuner/tuner_window.h"

namespace {

using I64 = std::int64_t;
using platform::Int32;
using platform::String;
using testsupport::ExpectProperties;
using testsupport::PropertyTable;

constexpr I64 kNoIndex = std::numeric_limits<Int32>::min();

class TunerWindowTest : public testsupport::ProgramTest {};

TEST_F(TunerWindowTest, InstanceBuildsTheWindowOnceAndFindsItAfterwards) {
  const auto first = tunerWindow::Instance();
  ASSERT_TRUE(first);
  const auto second = tunerWindow::Instance();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->Controls().size(), 4u);
  EXPECT_EQ(first->tuneBar(), first->tuneBar());
  EXPECT_EQ(first->tuneStationThread(), first->tuneStationThread());
}

TEST_F(TunerWindowTest, AccessorsAnswerTheirOwnControlUntilItIsRemoved) {
  const auto w = tunerWindow::Instance();
  const std::vector<std::pair<platform::Control*, const char*>> accessors = {
      {w->tuneBar(), "tuneBar"},
      {w->bandSwitch(), "bandSwitch"},
      {w->mainPower(), "mainPower"},
      {w->tuneStationThread(), "tuneStationThread"}};
  for (const auto& [control, name] : accessors) {
    SCOPED_TRACE(name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control, w->ControlByName(name).get());
    EXPECT_EQ(control->Name(), name);
  }
  // Taking one control off leaves the others where they were.
  const auto band = w->ControlByName("bandSwitch");
  w->RemoveControl("bandSwitch");
  EXPECT_EQ(w->bandSwitch(), nullptr);
  EXPECT_EQ(w->tuneBar(), accessors[0].first);
  EXPECT_EQ(w->mainPower(), accessors[2].first);
  EXPECT_THROW(w->tuneStationThread_Run(*w->tuneStationThread()), platform::NilObjectException);
  w->AddControl("bandSwitch", band);
  EXPECT_EQ(w->bandSwitch(), band.get());
}

TEST_F(TunerWindowTest, StateBeforeTheOpenEvent) {
  const auto w = tunerWindow::Instance();
  EXPECT_EQ(w->Width(), 340);
  EXPECT_EQ(w->Height(), 46);
  EXPECT_EQ(w->Title(), "Palmeno");
  EXPECT_TRUE(w->Visible());
  EXPECT_FALSE(w->Resizeable());
  EXPECT_TRUE(w->CloseButton());
  EXPECT_TRUE(w->MinimizeButton());
  EXPECT_FALSE(w->MaximizeButton());
  EXPECT_EQ(w->Backdrop(), Ondella());
  EXPECT_TRUE(w->Backdrop());
  EXPECT_EQ(w->MenuBar(), MenuBar1::Instance());

  std::vector<String> names;
  for (const auto& control : w->Controls()) names.push_back(control->Name());
  EXPECT_EQ(names, (std::vector<String>{"tuneBar", "bandSwitch", "mainPower", "tuneStationThread"}));

  const auto bar = w->tuneBar();
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->X1(), 105);
  EXPECT_EQ(bar->X2(), 105);
  EXPECT_EQ(bar->Y1(), 19);
  EXPECT_EQ(bar->Y2(), 25);
  EXPECT_EQ(bar->BorderWidth(), 3);
  EXPECT_EQ(bar->LineColor(), platform::RGB(0xFF7F00));
  ASSERT_TRUE(w->bandSwitch() && w->mainPower());
  EXPECT_EQ(w->bandSwitch()->Backdrop(), switch_up());
  EXPECT_EQ(w->mainPower()->Backdrop(), power_m_green());
  EXPECT_TRUE(w->bandSwitch()->Backdrop() && w->mainPower()->Backdrop());

  const auto worker = w->tuneStationThread();
  ASSERT_TRUE(worker);
  EXPECT_TRUE(dynamic_cast<class tunerWindow::tuneStationThread*>(worker));
  EXPECT_EQ(worker->Priority(), 5);
  EXPECT_EQ(worker->StackSize(), 0);
  EXPECT_FALSE(worker->IsBusy());

  EXPECT_FALSE(w->tuning);
  EXPECT_EQ(w->currentPlace, "東京");
  EXPECT_EQ(w->stationName, std::vector<String>{""});
  EXPECT_EQ(w->stationHz, std::vector<double>{0.0});
  EXPECT_FALSE(w->noise);
  // Nothing was played or loaded while the window was built.
  EXPECT_EQ(Log("sound."), std::vector<std::string>{});
  EXPECT_EQ(Log("web.load"), std::vector<std::string>{});
}

TEST_F(TunerWindowTest, DesignTimePropertiesReadBack) {
  const auto w = tunerWindow::Instance();
  ExpectProperties(*w, {
                           {"Placement", I64{0}},        {"Width", I64{340}},
                           {"Height", I64{46}},          {"MinWidth", I64{64}},
                           {"MinHeight", I64{64}},       {"MaxWidth", I64{32000}},
                           {"MaxHeight", I64{32000}},    {"Frame", I64{0}},
                           {"Composite", true},          {"HasBackColor", false},
                           {"BackColor", platform::RGB(0xFFFFFF)},
                           {"Title", String("Palmeno")}, {"Visible", true},
                           {"FullScreen", false},        {"MenuBarVisible", true},
                           {"CloseButton", true},        {"Resizeable", false},
                           {"LiveResize", false},        {"MaximizeButton", false},
                           {"MinimizeButton", true},     {"MacProcID", I64{0}},
                       });
  ExpectProperties(*w->tuneBar(), {
                                      {"Name", String("tuneBar")}, {"Index", kNoIndex},
                                      {"Top", I64{19}},            {"Left", I64{105}},
                                      {"Width", I64{100}},         {"Height", I64{50}},
                                      {"X1", I64{105}},            {"X2", I64{105}},
                                      {"Y1", I64{19}},             {"Y2", I64{25}},
                                      {"TabPanelIndex", I64{0}},   {"Visible", true},
                                      {"BorderWidth", I64{3}},
                                      {"LineColor", platform::RGB(0xFF7F00)},
                                      {"InitialParent", String()},
                                  });
  // The two switches share every value but their name, place, size and tab order.
  struct Switch {
    platform::Canvas* canvas;
    const char* name;
    I64 left, top, width, height, tabIndex;
  };
  for (const Switch& s : {Switch{w->bandSwitch(), "bandSwitch", 32, 5, 15, 34, 1},
                          Switch{w->mainPower(), "mainPower", 4, 10, 24, 24, 2}}) {
    SCOPED_TRACE(s.name);
    ExpectProperties(*s.canvas, {
                                    {"Name", String(s.name)},   {"Index", kNoIndex},
                                    {"Left", s.left},           {"Top", s.top},
                                    {"Width", s.width},         {"Height", s.height},
                                    {"LockLeft", true},         {"LockTop", true},
                                    {"LockRight", false},       {"LockBottom", false},
                                    {"TabPanelIndex", I64{0}},  {"TabIndex", s.tabIndex},
                                    {"TabStop", true},          {"Visible", true},
                                    {"HelpTag", String()},      {"AutoDeactivate", true},
                                    {"Enabled", true},          {"UseFocusRing", true},
                                    {"AcceptFocus", false},     {"AcceptTabs", false},
                                    {"DoubleBuffer", false},    {"EraseBackground", true},
                                    {"InitialParent", String()},
                                });
    EXPECT_EQ(s.canvas->Left(), s.left);
    EXPECT_EQ(s.canvas->Width(), s.width);
  }
  ExpectProperties(*w->tuneStationThread(), {{"Priority", I64{5}}, {"StackSize", I64{0}}});
}

TEST_F(TunerWindowTest, WindowIsBuiltWithoutItsBackgroundWhenThePictureIsMissing) {
  RemoveResource("Ondella.bmp");
  const auto w = tunerWindow::Instance();
  EXPECT_FALSE(w->Backdrop());
  EXPECT_EQ(w->Controls().size(), 4u);
  EXPECT_EQ(w->bandSwitch()->Backdrop(), switch_up());
}

// Records which of the window's operations the controls' events reach.
class ProbeWindow : public tunerWindow {
 public:
  void Event_Open() override {}
  bool bandSwitch_MouseDown(platform::Canvas& c, Int32 x, Int32 y) override {
    calls.push_back(Call{"bandSwitch_MouseDown", &c, x, y});
    return false;
  }
  void mainPower_EnableMenuItems(platform::Canvas& c) override {
    calls.push_back(Call{"mainPower_EnableMenuItems", &c, 0, 0});
  }
  bool mainPower_MouseDown(platform::Canvas& c, Int32 x, Int32 y) override {
    calls.push_back(Call{"mainPower_MouseDown", &c, x, y});
    return false;
  }
  void tuneStationThread_Run(platform::Thread& t) override {
    calls.push_back(Call{"tuneStationThread_Run", &t, 0, 0});
  }

  struct Call {
    std::string operation;
    const void* control;
    Int32 x, y;
    friend bool operator==(const Call&, const Call&) = default;
  };
  std::vector<Call> calls;
};

TEST_F(TunerWindowTest, ControlEventsRunTheWindowsOperationsWithTheControl) {
  const auto w = platform::Window::New<ProbeWindow>();
  testsupport::Settle();
  auto& band = *w->bandSwitch();
  auto& power = *w->mainPower();
  auto& worker = *w->tuneStationThread();

  platform::headless::Click(band, 3, 7);
  platform::headless::Click(power, 11, 2);
  ASSERT_TRUE(power.OnEnableMenuItems);
  power.OnEnableMenuItems(power);
  worker.Run();
  testsupport::Settle();

  using Call = ProbeWindow::Call;
  EXPECT_EQ(w->calls, (std::vector<Call>{{"bandSwitch_MouseDown", &band, 3, 7},
                                         {"mainPower_MouseDown", &power, 11, 2},
                                         {"mainPower_EnableMenuItems", &power, 0, 0},
                                         {"tuneStationThread_Run", &worker, 0, 0}}));
  // The needle and the worker react to nothing but what is bound above.
  EXPECT_FALSE(band.OnEnableMenuItems);
}

TEST_F(TunerWindowTest, BuildingStartsNoPass) {
  const auto w = platform::Window::New<ProbeWindow>();
  testsupport::Settle();
  EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), 0u);
  EXPECT_TRUE(w->calls.empty());
}

}  // namespace
