// Start-up and shutdown of the process, and the application object.

#include "app/app.h"

#include <exception>
#include <memory>

#include "app/media.h"
#include "app/menubar1.h"
#include "platform/exceptions.h"
#include "player/ondella_window.h"
#include "tuner/tuner_window.h"

App::App() = default;

void App::Event_Open() {
  // Showing the player window once makes it real for the backend; it is hidden again at
  // once and stays hidden, only holding the web view.
  platform::Need(OndellaWindow::Instance(), "OndellaWindow").Show();
  platform::Need(OndellaWindow::Instance(), "OndellaWindow").Hide();
}

namespace {

// The program registers no file types.
void InitFileTypes() {}

void NewAppInstance() {
  auto app = std::make_shared<App>();
  app->SetMenuBar(MenuBar1::Instance());
  // From here on the framework holds the application.
  platform::RuntimeRegisterAppObject(std::move(app));
}

// The program adds no application-level menu handlers.
void ApplicationAddMenuHandlers() {}

void MakeDefaultView() {
  // The framework keeps the window alive; the reference is not needed here.
  (void)tunerWindow::Instance();
}

}  // namespace

void Startup() {
  InitFileTypes();
  NewAppInstance();
  ApplicationAddMenuHandlers();
  MakeDefaultView();
}

int AppExit() {
  // The sounds first, then the windows, and the shared menu bar last of all.
  tunedRelease();
  amnoiseRelease();
  fmnoiseRelease();
  platform::RuntimeReleaseWindows();
  MenuBar1::ReleaseInstance();
  return platform::RuntimeExit();
}

int PalmenoMain() {
  // Without a runtime (no display to open, say) nothing else can run: say why and fail.
  try {
    platform::RuntimeInit();
  } catch (const std::exception& e) {
    platform::UnhandledException(e);
    return 1;
  }
  // The program's one exception handler. The event loop runs only when the start-up has
  // come through whole.
  bool failed = false;
  try {
    platform::RunFrameworkInitialization(Startup);
    platform::RuntimeRun();
  } catch (const std::exception& e) {
    failed = true;
    platform::UnhandledException(e);
  } catch (...) {
    failed = true;
    platform::UnhandledException(platform::RuntimeException("an exception of unknown type"));
  }

  const int status = AppExit();
  // A run that ended in an exception did not succeed, whatever the runtime says.
  return failed && status == 0 ? 1 : status;
}
