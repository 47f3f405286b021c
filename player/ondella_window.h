#pragma once
// The hidden player window. It exists only to hold the web view into which the tuner loads
// a station's player page (whose page plays the stream) or the service's logo image (which
// ends it). It takes no input and is never seen after start-up.

#include <memory>

#include "platform/controls.h"
#include "platform/window.h"

class OndellaWindow : public platform::Window {
 public:
  // The single-instance accessor: the one player window, created hidden on first use.
  static std::shared_ptr<OndellaWindow> Instance();

  void Layout() override;
  void CreateControls() override;
  virtual void CreateControls0();

  // The web view, looked up by name at every call.
  std::shared_ptr<platform::HTMLViewer> HTMLViewer1();
};
