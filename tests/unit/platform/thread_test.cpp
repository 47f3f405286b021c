#include "platform/thread.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/window.h"
#include "runtime_fixture.h"

namespace platform {
namespace {

using ThreadTest = testing::RuntimeTest;

// A window that holds one worker, the way the program's main window does.
class WorkerWindow : public Window {
 public:
  void CreateControls() override {
    AddControl("worker", std::make_shared<Thread>());
    Worker().OnRun = [this](Thread& t) {
      if (body) body(t);
    };
  }
  Thread& Worker() { return static_cast<Thread&>(*ControlByName("worker")); }
  std::function<void(Thread&)> body;
};

TEST_F(ThreadTest, RunsWhileBusyCoalesceIntoOneMoreAndNeverOverlap) {
  auto t = std::make_shared<Thread>();
  int active = 0, maxActive = 0, runs = 0;
  t->OnRun = [&](Thread&) {
    ++runs;
    maxActive = std::max(maxActive, ++active);
    for (int i = 0; i < 1000; ++i) RuntimeBackgroundTask();
    --active;
  };
  EXPECT_FALSE(t->IsBusy());
  t->Run();
  t->Run();
  t->Run();
  EXPECT_TRUE(t->IsBusy());
  EXPECT_EQ(runs, 0) << "Run must return before the run starts";
  Settle();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(t->RunsCompleted(), 2u);
  EXPECT_EQ(maxActive, 1);
  EXPECT_FALSE(t->IsBusy());

  // Runs asked for while a run is under way: again at most one more.
  runs = 0;
  t->OnRun = [&](Thread& self) {
    ++runs;
    if (runs == 1) {
      self.Run();
      self.Run();
    }
    RuntimeBackgroundTask();
  };
  t->Run();
  Settle();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(t->RunsCompleted(), 4u);
}

TEST_F(ThreadTest, UserInterfaceYieldGivesTheWorkerOneTurnInOrder) {
  auto t = std::make_shared<Thread>();
  std::vector<std::string> order;
  t->OnRun = [&](Thread&) {
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(OnThreadFiber());
      order.push_back("w" + std::to_string(i));
      RuntimeBackgroundTask();
    }
  };
  t->Run();
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(OnThreadFiber());
    order.push_back("ui" + std::to_string(i));
    RuntimeBackgroundTask();
  }
  EXPECT_EQ(order, (std::vector<std::string>{"ui0", "w0", "ui1", "w1", "ui2", "w2"}));
  Settle();
  EXPECT_EQ(order.back(), "w3");
  EXPECT_EQ(t->RunsCompleted(), 1u);

  // With nothing runnable, a user-interface yield does nothing, however many there are...
  for (int i = 0; i < 1000; ++i) RuntimeBackgroundTask();
  EXPECT_EQ(order.size(), 7u);
  // ...and the first one after a Run gives the worker its turn again.
  t->Run();
  RuntimeBackgroundTask();
  EXPECT_EQ(order.size(), 8u);
  EXPECT_EQ(order.back(), "w0");
  Settle();
  EXPECT_EQ(t->RunsCompleted(), 2u);
}

TEST_F(ThreadTest, YieldObserverSeesWhichSideYields) {
  auto t = std::make_shared<Thread>();
  std::vector<bool> sides;
  SetYieldObserverForTesting([&](bool onFiber) { sides.push_back(onFiber); });
  t->OnRun = [](Thread&) { RuntimeBackgroundTask(); };
  t->Run();
  RuntimeBackgroundTask();
  Settle();
  SetYieldObserverForTesting(nullptr);
  RuntimeBackgroundTask();
  EXPECT_EQ(sides, (std::vector<bool>{false, true}));
}

TEST_F(ThreadTest, YieldsThatReturnAtOnceStayOnTheFiberTheyWereCountedFor) {
  // Between two looks at the clock a worker's yields return at once. A run that ends
  // there, or an observer set there, must not let the user-interface side or the
  // observer miss a yield.
  auto first = std::make_shared<Thread>(), second = std::make_shared<Thread>();
  int secondTurns = 0;
  std::vector<bool> seen;
  first->OnRun = [&](Thread&) {
    for (int i = 0; i < 5; ++i) RuntimeBackgroundTask();
    SetYieldObserverForTesting([&](bool onFiber) { seen.push_back(onFiber); });
    RuntimeBackgroundTask();
    RuntimeBackgroundTask();
    SetYieldObserverForTesting(nullptr);
    for (int i = 0; i < 5; ++i) RuntimeBackgroundTask();
  };
  second->OnRun = [&](Thread&) {
    ++secondTurns;
    RuntimeBackgroundTask();
    ++secondTurns;
  };
  first->Run();
  // The first one's turn from the loop: it ends between two checks.
  for (int i = 0; i < 100 && first->RunsCompleted() == 0; ++i)
    g_main_context_iteration(nullptr, FALSE);
  EXPECT_EQ(first->RunsCompleted(), 1u);
  EXPECT_EQ(seen, (std::vector<bool>{true, true}));
  second->Run();
  RuntimeBackgroundTask();  // still a user-interface yield: the second one's turn
  EXPECT_EQ(secondTurns, 1);
  RuntimeBackgroundTask();
  EXPECT_EQ(secondTurns, 2);
  Settle();
}

TEST_F(ThreadTest, WorkerLeavesTheLoopOnlyAfterItsSlice) {
  // A worker that yields often returns to the loop only once its slice has passed, so
  // other queued work runs between its turns but not at every yield.
  auto t = std::make_shared<Thread>();
  int yields = 0, otherWork = 0;
  bool done = false;
  t->OnRun = [&](Thread&) {
    // Until the loop has had a few turns, not for a fixed time: on a loaded machine a fixed
    // span may hold a single slice. A worker that never left would run into the limit.
    auto start = std::chrono::steady_clock::now();
    while (otherWork < 5 && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
      ++yields;
      RuntimeBackgroundTask();
    }
    done = true;
  };
  t->Run();
  std::function<void()> tick = [&] {
    if (done) return;
    ++otherWork;
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer p) {
          (*static_cast<std::function<void()>*>(p))();
          return G_SOURCE_REMOVE;
        },
        &tick, nullptr);
  };
  tick();
  Settle();
  EXPECT_TRUE(done);
  EXPECT_GE(otherWork, 3) << "the loop must get turns while the worker runs";
  EXPECT_LT(otherWork, yields / 10) << "the worker must not leave the loop at every yield";
}

TEST_F(ThreadTest, ExceptionOnTheFiberIsReportedAndTheLoopGoesOn) {
  auto t = std::make_shared<Thread>();
  int runs = 0;
  t->OnRun = [&](Thread&) {
    ++runs;
    RuntimeBackgroundTask();
    throw NilObjectException("tuneBar is missing (nil object)");
  };
  ::testing::internal::CaptureStderr();
  t->Run();
  Settle();
  t->Run();
  Settle();
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(t->RunsCompleted(), 2u);
  EXPECT_FALSE(t->IsBusy());
  EXPECT_NE(err.find("palmeno: unhandled NilObjectException: tuneBar is missing"),
            std::string::npos)
      << err;
}

// Something on the worker's stack whose destruction is seen.
struct Sentinel {
  bool* destroyed;
  ~Sentinel() { *destroyed = true; }
};

TEST_F(ThreadTest, ClosingTheWindowOfASuspendedWorkerUnwindsItsRun) {
  auto w = Window::New<WorkerWindow>();
  bool unwound = false, resumedAfterClose = false;
  w->body = [&](Thread&) {
    Sentinel s{&unwound};
    RuntimeBackgroundTask();  // suspended here by the user-interface yield below
    resumedAfterClose = true;
  };
  std::weak_ptr<Window> weak = w;
  Settle();  // the window's Open event
  w->Worker().Run();
  RuntimeBackgroundTask();  // one turn: the run stops at its yield
  ASSERT_TRUE(w->Worker().IsBusy());
  ASSERT_FALSE(unwound);
  w->Close();
  w.reset();
  EXPECT_TRUE(weak.expired()) << "the closed window must go";
  EXPECT_TRUE(unwound) << "the suspended run's stack must be unwound";
  EXPECT_FALSE(resumedAfterClose);
  Settle();
  EXPECT_FALSE(resumedAfterClose);
}

TEST_F(ThreadTest, WorkerThatClosesItsOwnWindowEndsSafely) {
  auto w = Window::New<WorkerWindow>();
  std::weak_ptr<Window> weak = w;
  bool after = false;
  w->body = [&](Thread& t) {
    t.OwnerWindow()->Close();
    RuntimeBackgroundTask();
    after = true;
  };
  w->Worker().Run();
  w.reset();
  Settle();
  EXPECT_TRUE(after) << "the run goes on to its end";
  EXPECT_TRUE(weak.expired()) << "and the window goes once the run has left the stack";
}

TEST_F(ThreadTest, RuntimeExitUnwindsASuspendedRunAndForgetsQueuedOnes) {
  auto t = std::make_shared<Thread>();
  bool unwound = false;
  int runs = 0;
  t->OnRun = [&](Thread&) {
    ++runs;
    Sentinel s{&unwound};
    RuntimeBackgroundTask();
  };
  t->Run();
  t->Run();
  RuntimeBackgroundTask();
  ASSERT_EQ(runs, 1);
  Exit();
  EXPECT_TRUE(unwound);
  EXPECT_FALSE(t->IsBusy());
  EXPECT_EQ(t->RunsCompleted(), 0u);

  // The thread works again in a new runtime.
  RuntimeInit();
  t->Run();
  Settle();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(t->RunsCompleted(), 1u);
  RuntimeExit();
}

TEST_F(ThreadTest, DestroyingAThreadWithASuspendedRunUnwindsIt) {
  auto t = std::make_shared<Thread>();
  bool unwound = false;
  t->OnRun = [&](Thread&) {
    Sentinel s{&unwound};
    for (;;) RuntimeBackgroundTask();
  };
  t->Run();
  RuntimeBackgroundTask();
  t.reset();
  EXPECT_TRUE(unwound);
  Settle();
}

}  // namespace
}  // namespace platform
