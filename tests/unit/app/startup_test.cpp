// The start-up routine, the application's Open event and the process's main routine.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/menubar1.h"
#include "platform/application.h"
#include "platform/files.h"
#include "platform/headless/headless.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "player/ondella_window.h"
#include "support/program_fixture.h"
#include "tuner/tuner_window.h"

namespace {

namespace headless = platform::headless;

using StartupTest = testsupport::ProgramTest;

std::vector<std::string> PlayerWindowLog() {
  std::vector<std::string> entries;
  for (const auto& e : headless::LogWith("window.")) {
    if (e.ends_with(" Ondella")) entries.push_back(e);
  }
  return entries;
}

TEST_F(StartupTest, BuildsTheAppAndTheMainWindowSharingOneMenuBar) {
  platform::RunFrameworkInitialization(Startup);
  testsupport::Settle();

  const auto app = std::dynamic_pointer_cast<App>(platform::CurrentApplication());
  ASSERT_NE(app, nullptr);
  ASSERT_NE(app->MenuBar(), nullptr);
  EXPECT_EQ(app->MenuBar(), MenuBar1::Instance());
  EXPECT_EQ(tunerWindow::Instance()->MenuBar(), app->MenuBar());

  // The application's Open event shows the player window and hides it at once.
  EXPECT_EQ(PlayerWindowLog(),
            (std::vector<std::string>{"window.show Ondella", "window.hide Ondella"}));
  EXPECT_FALSE(OndellaWindow::Instance()->Visible());
}

// The main routine makes and ends its own runtime, so the fixture's is ended around it.
class MainRoutineTest : public testsupport::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    platform::RuntimeExit();
  }
  void TearDown() override {
    platform::RuntimeInit();
    ProgramTest::TearDown();
  }
};

// A window that notes, when it goes, whether the shared menu bar is still there.
class ReleaseProbe : public platform::Window {
 public:
  ~ReleaseProbe() override { menuBarWasThere = MenuBar1::HasInstance(); }
  static inline bool menuBarWasThere = false;
};

TEST_F(MainRoutineTest, RunsTheLoopThenReleasesTheSharedObjects) {
  // Restored settings start a pass; its first yield asks the loop to end.
  testsupport::WriteFile(PrefsFile(), "t=1\nl=1\nm=1\nb=1\nn=110\np=東京\n");
  bool quitAsked = false;
  std::weak_ptr<ReleaseProbe> probe;
  ReleaseProbe::menuBarWasThere = false;
  platform::SetYieldObserverForTesting([&](bool) {
    if (!quitAsked) {
      probe = platform::Window::New<ReleaseProbe>();
      platform::Quit(0);
    }
    quitAsked = true;
  });

  const int status = PalmenoMain();
  platform::SetYieldObserverForTesting(nullptr);

  EXPECT_TRUE(quitAsked);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(probe.expired());
  EXPECT_TRUE(ReleaseProbe::menuBarWasThere) << "the windows go before the shared menu bar";
  EXPECT_FALSE(MenuBar1::HasInstance());
  EXPECT_EQ(PlayerWindowLog(),
            (std::vector<std::string>{"window.show Ondella", "window.hide Ondella"}));
}

TEST_F(MainRoutineTest, AStartUpErrorIsReportedAndTheLoopSkipped) {
  // No resources folder can be derived from an executable at the root, so building the
  // main window raises.
  platform::SetExecutableFileForTesting("/palmeno");

  testing::internal::CaptureStderr();
  const int status = PalmenoMain();
  const std::string report = testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, 1) << "a failed start-up is no success";
  EXPECT_NE(report.find("NilObjectException"), std::string::npos) << report;
  // The application was registered, but without the loop its Open event never came.
  EXPECT_TRUE(PlayerWindowLog().empty());
  EXPECT_FALSE(MenuBar1::HasInstance());
}

}  // namespace
