#pragma once
// The main window: the tuner strip with its needle, band switch, power switch and the worker
// that runs the tuning passes. Its fields are the tuner's state, shared without locks by the
// user-interface handlers and the tuning pass, which run cooperatively (see platform/thread.h).

#include <memory>
#include <vector>

#include "platform/controls.h"
#include "platform/media.h"
#include "platform/menu.h"
#include "platform/thread.h"
#include "platform/window.h"

// The region of the first run, and the one an empty request stands for.
inline constexpr const char* kDefaultRegion = "東京";

class tunerWindow : public platform::Window {
 public:
  using Int32 = platform::Int32;
  using String = platform::String;

  // The worker control: one tuning pass per Run. It overrides nothing of Thread; it only
  // remembers the window that owns it.
  class tuneStationThread : public platform::Thread {};

  // The single-instance accessor: the live main window, created and built on first use.
  static std::shared_ptr<tunerWindow> Instance();

  // Building (tuner_window.cpp).
  void Layout() override;
  void CreateControls() override;
  virtual void CreateControls0();

  // Control accessors: each finds its control by name at every call, so a control taken
  // off the window is no longer found, and answers the same control every time. The
  // look-up is remembered until the window's controls change: the tuning pass reads the
  // needle and the band this way for every station. The window owns what they return.
  platform::Line* tuneBar() { return tuneBarSlot_.Get(*this); }
  platform::Canvas* bandSwitch() { return bandSwitchSlot_.Get(*this); }
  platform::Canvas* mainPower() { return mainPowerSlot_.Get(*this); }
  platform::Thread* tuneStationThread() { return tuneStationThreadSlot_.Get(*this); }

  // Switch handlers (input.cpp).
  virtual bool bandSwitch_MouseDown(platform::Canvas& control, Int32 x, Int32 y);
  virtual void mainPower_EnableMenuItems(platform::Canvas& control);
  virtual bool mainPower_MouseDown(platform::Canvas& control, Int32 x, Int32 y);

  // The tuning pass (tuning_pass.cpp).
  virtual void tuneStationThread_Run(platform::Thread& thread);

  // Menu item accessors: each looks its item up by name in the window's menu bar at every
  // call (menu_items.cpp). Only placeMenu is used.
  std::shared_ptr<platform::MenuItem> placeMenu();
  std::shared_ptr<platform::MenuItem> EditMenu();
  std::shared_ptr<platform::MenuItem> EditSelectAll();
  std::shared_ptr<platform::MenuItem> UntitledMenu0();
  std::shared_ptr<platform::MenuItem> EditClear();
  std::shared_ptr<platform::MenuItem> EditPaste();
  std::shared_ptr<platform::MenuItem> EditCopy();
  std::shared_ptr<platform::MenuItem> EditCut();
  std::shared_ptr<platform::MenuItem> UntitledMenu1();
  std::shared_ptr<platform::MenuItem> EditUndo();
  std::shared_ptr<platform::MenuItem> FileMenu();
  std::shared_ptr<platform::QuitMenuItem> FileQuit();

  // Window events: Open and Close (tuner_window.cpp; the preferences file's lines are
  // read and written through preferences.h), keys and wheel (input.cpp).
  void Event_Open() override;
  void Event_Close() override;
  bool Event_KeyDown(const String& key) override;
  bool Event_MouseWheel(Int32 x, Int32 y, Int32 deltaX, Int32 deltaY) override;

  // Loads the station list of a region (station_list.cpp).
  virtual void readStation(String place);
  // Switches the power on or off (input.cpp).
  virtual void powerToggle();

  // The tuner state.
  bool tuning = false;                          // a station is tuned in
  std::vector<String> stationName{String()};    // station codes; index 0 the blank entry
  std::vector<double> stationHz{0.0};           // kHz (AM) or MHz (FM), parallel
  String currentPlace = kDefaultRegion;         // the current region
  std::shared_ptr<platform::Sound> noise;       // the band noise in use, nil until Open

 private:
  platform::ControlSlot<platform::Line> tuneBarSlot_{"tuneBar"};
  platform::ControlSlot<platform::Canvas> bandSwitchSlot_{"bandSwitch"};
  platform::ControlSlot<platform::Canvas> mainPowerSlot_{"mainPower"};
  platform::ControlSlot<platform::Thread> tuneStationThreadSlot_{"tuneStationThread"};
};

// The region entry: a menu item of the region menu; choosing it reloads the station list
// for the region it names and starts one tuning pass (station_list.cpp).
class placeMenuClass : public platform::MenuItem {
 public:
  bool Event_Action() override;
};
