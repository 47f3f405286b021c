#pragma once
// The application object and the runtime's life: initialisation, the event loop, quit and
// shutdown. The backend (GTK for the application, headless for tests) is chosen by linking.

#include <functional>
#include <memory>

#include "platform/types.h"

namespace platform {

class MenuBar;

class Application {
 public:
  virtual ~Application() = default;
  // The application's Open event, raised from the event loop once it runs.
  virtual void Event_Open() {}

  // The menu bar shown when no window supplies one.
  const std::shared_ptr<platform::MenuBar>& MenuBar() const { return menuBar_; }
  void SetMenuBar(std::shared_ptr<platform::MenuBar> bar) { menuBar_ = std::move(bar); }

 private:
  std::shared_ptr<platform::MenuBar> menuBar_;
};

// Makes the runtime and its backend ready; the first call of a main routine.
void RuntimeInit();
// Runs the start-up routine once, before the event loop. Exceptions pass to the caller.
void RunFrameworkInitialization(const std::function<void()>& startup);
// Keeps the object as the application and queues its Open event.
void RuntimeRegisterAppObject(std::shared_ptr<Application> app);
std::shared_ptr<Application> CurrentApplication();
// Runs the event loop until Quit. Exceptions from handlers are reported, and it goes on.
void RuntimeRun();
// Ends the event loop with an exit status. Harmless when already quitting or not running.
void Quit(int exitCode = 0);
// Quits the way the File menu's quit item does: every live window closes with its Close
// event, so that what the windows save on closing is saved, then the event loop ends, with
// status 1 when a Close event failed. From RuntimeInit to RuntimeExit, SIGTERM, SIGHUP and
// SIGINT (a session's logout, a closed terminal, Ctrl+C) quit this way too, as a task of
// the event loop queued behind the work already waiting.
void CloseWindowsAndQuit();
bool Quitting();
// Lets the windows go (without their Close events), with the work queued for them, their
// threads and the application object. RuntimeExit does it too when it has not been done.
void RuntimeReleaseWindows();
// Lets the windows go, shuts the backend down, and gives the exit status Quit asked for.
int RuntimeExit();

}  // namespace platform
