#pragma once
// The application object and the life of the process: start-up, event loop, shutdown.

#include "platform/application.h"

// The application: it carries the shared menu bar and, when it opens, makes the hidden
// player window exist. Everything else happens in the main window's handlers.
class App : public platform::Application {
 public:
  App();
  void Event_Open() override;
};

// The start-up routine, run once by the framework before its event loop: creates and
// registers the application with its menu bar, then the main window. An exception passes
// out unchanged and the steps after it do not run.
void Startup();

// The exit steps of the process: the cached sounds, then the windows, then the shared menu
// bar are released, and the runtime shuts down. Returns the runtime's exit status. The test harness ends its
// runs through here too.
int AppExit();

// The whole life of the process. Anything that escapes the start-up or the event loop is
// reported through the framework; an exception from the start-up skips the event loop.
// AppExit ends it, and its result is returned as the exit status; 1 instead of 0 when an
// exception reached the handler.
int PalmenoMain();
