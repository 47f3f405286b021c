#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "support/settle.h"

namespace platform {
namespace {

// Ends a loop that would otherwise never end, so that the test fails instead of hanging.
guint ArmReaper() {
  return g_timeout_add_seconds(5, [](gpointer) {
    ADD_FAILURE() << "the event loop did not end";
    Quit(99);
    return G_SOURCE_REMOVE;
  }, nullptr);
}

TEST(Runtime, RunEndsAtQuitAndExitGivesTheFirstCode) {
  struct QuittingApp : Application {
    void Event_Open() override {
      Quit(7);
      Quit(0);
    }
  };
  RuntimeInit();
  guint reaper = ArmReaper();
  RuntimeRegisterAppObject(std::make_shared<QuittingApp>());
  EXPECT_NE(CurrentApplication(), nullptr);
  RuntimeRun();
  g_source_remove(reaper);
  EXPECT_TRUE(Quitting());
  EXPECT_EQ(RuntimeExit(), 7);
  EXPECT_FALSE(Quitting());
  EXPECT_EQ(CurrentApplication(), nullptr);
}

TEST(Runtime, InitAndExitPairsRepeatAndExitWithoutQuitGivesZero) {
  for (int i = 0; i < 3; ++i) {
    RuntimeInit();
    auto w = Window::New<Window>();
    EXPECT_EQ(headless::RunUntilIdle(), 1);  // the Open event
    EXPECT_EQ(RuntimeExit(), 0);
    EXPECT_FALSE(w->IsLive());
  }
}

TEST(Runtime, ExceptionsFromStartupPassAndFromOpenAreReported) {
  RuntimeInit();
  EXPECT_THROW(RunFrameworkInitialization([] { throw NilObjectException("x"); }), NilObjectException);
  int ran = 0;
  RunFrameworkInitialization([&] { ++ran; });
  EXPECT_EQ(ran, 1);

  struct FailingApp : Application {
    void Event_Open() override { throw IOException("cannot write /x: Permission denied", 13); }
  };
  RuntimeRegisterAppObject(std::make_shared<FailingApp>());
  ::testing::internal::CaptureStderr();
  testsupport::Settle();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "palmeno: unhandled IOException: cannot write /x: Permission denied\n");
  RuntimeExit();
}

// What a logout, a closed terminal or Ctrl+C sends quits as the quit item does: the windows
// close with their Close events, after the work already queued (the Open event that applies
// the saved settings), and a failed Close makes the status 1.
TEST(Runtime, QuitSignalsCloseTheWindowsAfterQueuedWork) {
  struct Recording : Window {
    std::vector<std::string>* seen = nullptr;
    bool failClose = false;
    void Event_Open() override { seen->push_back("open"); }
    void Event_Close() override {
      seen->push_back("close");
      if (failClose) throw IOException("cannot write the settings", 28);
      Quit(0);
    }
  };
  const struct {
    int signum;
    bool failClose;
    int status;
  } cases[] = {{SIGTERM, false, 0}, {SIGHUP, false, 0}, {SIGINT, false, 0}, {SIGTERM, true, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signum)) + (c.failClose ? ", failing close" : ""));
    std::vector<std::string> seen;
    RuntimeInit();
    auto w = Window::New<Recording>();
    w->seen = &seen;
    w->failClose = c.failClose;
    raise(c.signum);
    // GLib hears of the signal on a thread of its own, so the loop waits for it.
    ::testing::internal::CaptureStderr();
    guint reaper = ArmReaper();
    RuntimeRun();
    g_source_remove(reaper);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen, (std::vector<std::string>{"open", "close"}));
    EXPECT_FALSE(w->IsLive());
    EXPECT_TRUE(Quitting());
    EXPECT_EQ(RuntimeExit(), c.status);
  }
}

TEST(Runtime, UnhandledReportNamesTheClassOrSaysException) {
  ::testing::internal::CaptureStderr();
  UnhandledException(NilObjectException("tuneBar is missing (nil object)"));
  UnhandledException(std::runtime_error("boom"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "palmeno: unhandled NilObjectException: tuneBar is missing (nil object)\n"
            "palmeno: unhandled exception: boom\n");
}

TEST(Runtime, NeedRaisesNilObjectNamingTheObject) {
  std::shared_ptr<int> none;
  try {
    Need(none, "tuneBar");
    FAIL();
  } catch (const NilObjectException& e) {
    EXPECT_NE(std::string(e.what()).find("tuneBar"), std::string::npos);
  }
  auto some = std::make_shared<int>(3);
  EXPECT_EQ(&Need(some, "x"), some.get());
}

}  // namespace
}  // namespace platform
