// The cooperative thread scheduler.
//
// Each run of a Thread executes on a Boost.Context fiber on the user-interface thread. The
// event loop resumes a fiber from the runtime's task queue; the fiber gives control back
// at a yield (RuntimeBackgroundTask) once its time slice is used up or when events wait,
// and its next turn is queued behind the work that came in meanwhile. Fibers are resumed
// only from the user-interface side, never from another fiber, so at most one fiber is on
// the stack at any time.

#include "platform/thread.h"

#include <boost/context/fiber.hpp>
#include <boost/context/preallocated.hpp>
#include <boost/context/protected_fixedsize_stack.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/backend.h"
#include "platform/exceptions.h"
#include "platform/window.h"
#include "platform/core/runtime.h"

// gcc says so with __SANITIZE_ADDRESS__, clang with __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define PALMENO_ANNOTATE_FIBERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PALMENO_ANNOTATE_FIBERS 1
#endif
#endif
#if defined(PALMENO_ANNOTATE_FIBERS)
#include <sanitizer/common_interface_defs.h>
#endif

namespace ctx = boost::context;
using Clock = std::chrono::steady_clock;

namespace platform {

// A thread's fiber stack, kept from one run to the next. Mapping a fresh stack for every
// run, and unmapping it at the run's end, cost about 100 us a run here (the unmapping's TLB
// flush and the first touches of the new pages), more than a pass over a thousand
// stations. Under AddressSanitizer every run gets a fresh stack, so that no shadow state
// of an ended run's frames carries over.
class StackCache {
 public:
  StackCache() = default;
  StackCache(const StackCache&) = delete;
  StackCache& operator=(const StackCache&) = delete;
  ~StackCache() { Release(); }

  ctx::stack_context Take(std::size_t size) {
    if (held_ && size_ != size) Release();
    if (held_) {
      held_ = false;
      return sc_;
    }
    size_ = size;
    return ctx::protected_fixedsize_stack(size).allocate();
  }
  void Give(ctx::stack_context sc) {
#if defined(PALMENO_ANNOTATE_FIBERS)
    ctx::protected_fixedsize_stack(size_).deallocate(sc);
#else
    Release();
    sc_ = sc;
    held_ = true;
#endif
  }

 private:
  void Release() {
    if (held_) ctx::protected_fixedsize_stack(size_).deallocate(sc_);
    held_ = false;
  }
  ctx::stack_context sc_{};
  std::size_t size_ = 0;
  bool held_ = false;
};

// The stack allocator of a run's fiber: it takes the thread's kept stack and gives it back
// when the fiber ends or is destroyed.
class CachedStack {
 public:
  CachedStack(StackCache& cache, std::size_t size) : cache_(&cache), size_(size) {}
  ctx::stack_context allocate() { return cache_->Take(size_); }
  void deallocate(ctx::stack_context& sc) { cache_->Give(sc); }

 private:
  StackCache* cache_;
  std::size_t size_;
};

struct Thread::Fiber {
  // Where the thread's run stands. A run goes Idle -> Scheduled -> Executing, and between
  // Executing and Suspended at each switching yield, back to Idle at its end.
  enum class Life {
    Idle,          // no run waits or has started
    Scheduled,     // a run waits to start; it has no fiber yet
    Suspended,     // a run has started and is off the stack, its fiber held in `fiber`
    Executing,     // the run is on the stack, in a time slice of its own
    ExecutingTurn  // the run is on the stack for one turn, resumed by a yield of the
                   // user-interface code, and gives control back at its next yield
  };

  explicit Fiber(Thread& t) : owner(t) {}
  ~Fiber();

  bool Executing() const { return life == Life::Executing || life == Life::ExecutingTurn; }

  Thread& owner;
  std::uint64_t id = 0;
  StackCache stacks;  // declared before `fiber`, so that it outlives it
  ctx::fiber fiber;   // the run's fiber while it is suspended; empty while it executes
  ctx::fiber caller;  // on the fiber: where to return to at the next yield
  Life life = Life::Idle;
  // Another run is queued behind the scheduled or current one; never set while Idle.
  bool oneMore = false;
  // A turn of this thread is in the runtime's task queue. This is the queue's state, not
  // the run's: a turn queued for a run that has since been stopped finds nothing to do.
  bool taskQueued = false;
  std::uint64_t runsCompleted = 0;
  std::uint32_t yields = 0;
  Clock::time_point sliceStart{};
  // Stack bounds for the sanitizer's fiber annotations.
  void* stackBottom = nullptr;
  std::size_t stackSize = 0;
  const void* callerBottom = nullptr;
  std::size_t callerSize = 0;
};

namespace {

using Life = Thread::Fiber::Life;

constexpr auto kSlice = std::chrono::milliseconds(2);
#if defined(PALMENO_ANNOTATE_FIBERS)
constexpr std::size_t kDefaultStack = 4u << 20;  // sanitizer frames are much larger
#else
constexpr std::size_t kDefaultStack = 1u << 20;
#endif

struct Scheduler {
  std::vector<Thread::Fiber*> threads;  // every thread, in creation order
  Thread::Fiber* current = nullptr;     // the fiber on the stack, if any
  std::uint64_t nextId = 1;
  std::function<void(bool)> yieldObserver;
};

Scheduler& Sched() {
  static Scheduler s;
  return s;
}

Thread::Fiber* FindFiber(std::uint64_t id) {
  for (auto* f : Sched().threads)
    if (f->id == id) return f;
  return nullptr;
}

// Sanitizer annotations: a switch is announced on the side that leaves and completed on
// the side that arrives. They compile to nothing without AddressSanitizer.
inline void StartSwitch(void** fake, const void* bottom, std::size_t size) {
#if defined(PALMENO_ANNOTATE_FIBERS)
  __sanitizer_start_switch_fiber(fake, bottom, size);
#else
  (void)fake, (void)bottom, (void)size;
#endif
}

inline void FinishSwitch(void* fake, const void** bottom, std::size_t* size) {
#if defined(PALMENO_ANNOTATE_FIBERS)
  __sanitizer_finish_switch_fiber(fake, bottom, size);
#else
  (void)fake, (void)bottom, (void)size;
#endif
}

void ServiceTurn(std::uint64_t id);

void QueueTurn(Thread::Fiber& f) {
  if (f.taskQueued) return;
  std::uint64_t id = f.id;
  detail::Post([id] { ServiceTurn(id); });
  f.taskQueued = true;
}

ctx::fiber FiberMain(Thread::Fiber& f, ctx::fiber&& caller) {
  FinishSwitch(nullptr, &f.callerBottom, &f.callerSize);
  f.caller = std::move(caller);
  // Only std::exception is caught: the forced unwinding of a fiber that is destroyed
  // while suspended must pass through to the fiber's entry.
  try {
    if (f.owner.OnRun) f.owner.OnRun(f.owner);
  } catch (const std::exception& e) {
    UnhandledException(e);
  }
  ++f.runsCompleted;
  StartSwitch(nullptr, f.callerBottom, f.callerSize);
  return std::move(f.caller);
}

// Holds the thread and its window while the thread's fiber is on the stack, so that
// nothing the run does (closing the window, dropping the last reference) destroys the
// fiber under its own feet; whatever is left to destroy goes afterwards, on this side.
struct KeepAlive {
  std::shared_ptr<Control> thread;
  std::shared_ptr<Window> window;
  explicit KeepAlive(Thread& t) : thread(t.weak_from_this().lock()) {
    if (Window* w = t.OwnerWindow()) window = w->weak_from_this().lock();
  }
};

// Gives the thread a turn: starts its scheduled run or resumes its suspended one, until its
// next switching yield or the run's end. Called on the user-interface side only.
void Resume(Thread::Fiber& f, bool oneTurn) {
  Scheduler& s = Sched();
  if (s.current || f.Executing() || f.life == Life::Idle) return;
  KeepAlive keep(f.owner);  // destroyed last, after every use of f below
  if (f.life == Life::Scheduled) {
    std::size_t size = std::max<std::size_t>(kDefaultStack, f.owner.StackSize() > 0
                                                                  ? static_cast<std::size_t>(f.owner.StackSize())
                                                                  : 0);
    CachedStack salloc(f.stacks, size);
    ctx::stack_context sc = salloc.allocate();
    f.stackBottom = static_cast<char*>(sc.sp) - sc.size;
    f.stackSize = sc.size;
    Thread::Fiber* fp = &f;
    f.fiber = ctx::fiber(std::allocator_arg, ctx::preallocated(sc.sp, sc.size, sc), salloc,
                         [fp](ctx::fiber&& c) { return FiberMain(*fp, std::move(c)); });
  }
  f.life = oneTurn ? Life::ExecutingTurn : Life::Executing;
  f.sliceStart = Clock::now();
  s.current = &f;
  void* fake = nullptr;
  StartSwitch(&fake, f.stackBottom, f.stackSize);
  f.fiber = std::move(f.fiber).resume();
  FinishSwitch(fake, nullptr, nullptr);
  // A run that ended between two checks leaves yields granted; this side has none.
  detail::yieldsWithoutCheck = 0;
  s.current = nullptr;
  if (f.fiber) {
    f.life = Life::Suspended;
    QueueTurn(f);
  } else if (f.oneMore) {
    f.oneMore = false;
    f.life = Life::Scheduled;
    QueueTurn(f);
  } else {
    f.life = Life::Idle;
  }
}

void ServiceTurn(std::uint64_t id) {
  Thread::Fiber* f = FindFiber(id);
  if (!f) return;
  f->taskQueued = false;
  if (Sched().current) {
    // Only reachable if a fiber ran a nested event loop; the turn waits for the loop.
    QueueTurn(*f);
    return;
  }
  Resume(*f, false);
}

// Switches from the fiber on the stack back to the side that resumed it.
void YieldFiber(Thread::Fiber& f) {
  void* fake = nullptr;
  StartSwitch(&fake, f.callerBottom, f.callerSize);
  try {
    f.caller = std::move(f.caller).resume();
  } catch (ctx::detail::forced_unwind&) {
    // The fiber is being destroyed while suspended here: the unwinding runs on this stack
    // and then returns to the destroyer for good.
    FinishSwitch(fake, &f.callerBottom, &f.callerSize);
    StartSwitch(nullptr, f.callerBottom, f.callerSize);
    throw;
  }
  FinishSwitch(fake, &f.callerBottom, &f.callerSize);
}

// Destroys a suspended run's fiber, which unwinds its stack.
void Unwind(Thread::Fiber& f) {
  if (!f.fiber) return;
  ctx::fiber dying = std::move(f.fiber);
  f.life = Life::Idle;
  void* fake = nullptr;
  StartSwitch(&fake, f.stackBottom, f.stackSize);
  {
    ctx::fiber gone = std::move(dying);
  }
  FinishSwitch(fake, nullptr, nullptr);
}

}  // namespace

Thread::Fiber::~Fiber() {
  if (Executing()) {
    std::fputs("palmeno: a thread was destroyed while its run was executing\n", stderr);
    std::abort();
  }
  auto& all = Sched().threads;
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
  Unwind(*this);
}

Thread::Thread() : fiber_(std::make_unique<Fiber>(*this)) {
  fiber_->id = Sched().nextId++;
  Sched().threads.push_back(fiber_.get());
}

Thread::~Thread() = default;

void Thread::Run() {
  Fiber& f = *fiber_;
  if (f.life != Life::Idle) {
    f.oneMore = true;
    return;
  }
  f.life = Life::Scheduled;
  try {
    QueueTurn(f);
  } catch (...) {
    f.life = Life::Idle;
    throw;
  }
}

bool Thread::IsBusy() const { return fiber_->life != Life::Idle || fiber_->oneMore; }

std::uint64_t Thread::RunsCompleted() const { return fiber_->runsCompleted; }

void Thread::SetProperty(std::string_view name, const PropertyValue& value) {
  Control::SetProperty(name, value);
  if (name == "Priority") priority_ = AsInt32(value);
  else if (name == "StackSize") stackSize_ = AsInt32(value);
}

namespace detail {
std::uint32_t yieldsWithoutCheck = 0;
}  // namespace detail

void detail::BackgroundTaskCheck() {
  Scheduler& s = Sched();
  if (s.yieldObserver) {
    auto observer = s.yieldObserver;
    observer(s.current != nullptr);
  }
  Thread::Fiber* f = s.current;
  if (!f) {
    // The user-interface side: one runnable thread gets one turn.
    for (Thread::Fiber* t : s.threads) {
      if (t->life == Life::Scheduled || t->life == Life::Suspended) {
        Resume(*t, true);
        return;
      }
    }
    return;
  }
  bool leave = f->life == Life::ExecutingTurn;
  if (!leave && (++f->yields & 63u) == 0) {
    leave = Clock::now() - f->sliceStart >= kSlice;
    if (!leave && (f->yields & 255u) == 0) leave = CurrentBackend().EventsWaiting();
  }
  if (leave) YieldFiber(*f);
  // Back on the fiber (resumed, or not left): the yields up to the next multiple of 64
  // would only count, so they return at once, counted here in advance. Resume takes the
  // rest back when the fiber leaves the stack.
  if (!s.yieldObserver && f->life == Life::Executing && s.current == f) {
    const std::uint32_t pure = 63u - (f->yields & 63u);
    f->yields += pure;
    yieldsWithoutCheck = pure;
  }
}

bool OnThreadFiber() { return Sched().current != nullptr; }

void SetYieldObserverForTesting(std::function<void(bool onFiber)> observer) {
  Sched().yieldObserver = std::move(observer);
  detail::yieldsWithoutCheck = 0;  // the observer sees every yield from now on
}

namespace detail {

void StopAllThreads() {
  std::vector<std::uint64_t> ids;
  for (auto* f : Sched().threads) ids.push_back(f->id);
  for (std::uint64_t id : ids) {
    Thread::Fiber* f = FindFiber(id);
    if (!f) continue;  // destroyed by the unwinding of another
    f->oneMore = f->taskQueued = false;
    if (f->life == Life::Scheduled) f->life = Life::Idle;
    if (f->life == Life::Suspended) {
      KeepAlive keep(f->owner);
      Unwind(*f);
    }
  }
}

void TouchScheduler() { (void)Sched(); }

}  // namespace detail
}  // namespace platform
