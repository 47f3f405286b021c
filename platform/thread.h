#pragma once
// Cooperative threads. A Thread runs its Run event on a fiber of the user-interface
// thread, so it and the user-interface code never run at the same time: control passes
// between them only at a yield (RuntimeBackgroundTask) or when a run ends. Shared state
// needs no lock, but whatever must be seen whole must not be split by a yield.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/controls.h"

namespace platform {

class Thread : public Control {
 public:
  Thread();
  ~Thread() override;

  // Starts one run of the Run event later, from the event loop, and returns at once.
  // While a run is under way or already scheduled, at most one further run is queued:
  // Run never fails and never runs two at once.
  void Run();

  // True from Run until the last queued run has ended.
  bool IsBusy() const;
  // Number of runs of the Run event that have ended (for tests and benchmarks).
  std::uint64_t RunsCompleted() const;

  Int32 Priority() const { return priority_; }
  Int32 StackSize() const { return stackSize_; }
  void SetProperty(std::string_view name, const PropertyValue& value) override;

  // The bound Run event.
  std::function<void(Thread&)> OnRun;

  struct Fiber;  // the scheduler's state for this thread (thread.cpp)

 private:
  Int32 priority_ = 5, stackSize_ = 0;
  std::unique_ptr<Fiber> fiber_;
};

namespace detail {
// How many of the coming yields may return at once: on a thread's fiber, the yields before
// the next look at the clock (every 64th). Zero whenever a yield has more to do (on the
// user-interface side, during a one-turn run, while a yield observer is set).
extern std::uint32_t yieldsWithoutCheck;
void BackgroundTaskCheck();
}  // namespace detail

// The yield point. On a thread's fiber it returns to the event loop once a time slice
// (about 2 ms) has passed, or when events are waiting (checked every few hundred yields);
// otherwise it costs a decrement, inline, since a tuning pass yields once per station.
// Called from user-interface code it gives one runnable thread one turn, up to that
// thread's next yield, and dispatches no events.
inline void RuntimeBackgroundTask() {
  if (detail::yieldsWithoutCheck != 0) [[likely]] {
    --detail::yieldsWithoutCheck;
    return;
  }
  detail::BackgroundTaskCheck();
}

// True while code runs on a thread's fiber rather than in the user-interface code.
bool OnThreadFiber();

// Tests: called at every RuntimeBackgroundTask, before it switches, with whether the caller
// is a thread's fiber. nullptr removes the observer.
void SetYieldObserverForTesting(std::function<void(bool onFiber)> observer);

}  // namespace platform
