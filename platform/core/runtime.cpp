#include "platform/application.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>

#include <algorithm>
#include <deque>
#include <typeinfo>

#include "platform/backend.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/core/runtime.h"

namespace platform {
namespace {

// The state of one RuntimeInit .. RuntimeExit span.
struct Runtime {
  bool initialized = false;
  std::unique_ptr<Backend> backend;
  GMainLoop* loop = nullptr;
  std::shared_ptr<Application> app;
  std::vector<std::shared_ptr<Window>> windows;
  std::vector<std::weak_ptr<Window>> frontOrder;  // last shown or activated at the back
  std::deque<std::function<void()>> tasks;
  guint taskSource = 0;
  bool quitting = false;
  bool exitCodeSet = false;
  int exitCode = 0;
  std::vector<guint> signalSources;
};

Runtime& State() {
  // The thread scheduler is made first so that it is destroyed last: a window that is
  // still alive when the process exits takes its threads with it, and they unregister
  // from the scheduler as they go.
  static const bool schedulerFirst = (detail::TouchScheduler(), true);
  (void)schedulerFirst;
  static Runtime runtime;
  return runtime;
}

gboolean RunOneTask(gpointer) {
  Runtime& rt = State();
  if (!rt.tasks.empty()) {
    std::function<void()> task = std::move(rt.tasks.front());
    rt.tasks.pop_front();
    ReportingExceptions(task);
  }
  if (rt.tasks.empty()) {
    rt.taskSource = 0;
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

// Runs in the event loop, not in a signal handler: GLib's source notes the signal and
// dispatches it here. The quit is queued behind the work already waiting, so that a window
// whose Open event has not run yet (it applies the saved settings) is not closed first and
// made to save what it was built with.
gboolean OnQuitSignal(gpointer) {
  detail::Post(CloseWindowsAndQuit);
  return G_SOURCE_CONTINUE;
}

void WatchQuitSignals(Runtime& rt) {
  for (int signum : {SIGTERM, SIGHUP, SIGINT})
    rt.signalSources.push_back(g_unix_signal_add(signum, OnQuitSignal, nullptr));
}

}  // namespace

namespace detail {

void RequireRuntime(const char* what) {
  if (!State().initialized)
    throw RuntimeException(String(what) + " needs the runtime, and RuntimeInit has not run");
}

void Post(std::function<void()> task) {
  Runtime& rt = State();
  RequireRuntime("queueing work for the event loop");
  rt.tasks.push_back(std::move(task));
  if (rt.taskSource == 0)
    rt.taskSource = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunOneTask, nullptr, nullptr);
}

void RegisterWindow(std::shared_ptr<Window> window) {
  State().windows.push_back(std::move(window));
}

void UnregisterWindow(Window& window) {
  auto& ws = State().windows;
  auto it = std::find_if(ws.begin(), ws.end(), [&](const auto& w) { return w.get() == &window; });
  if (it == ws.end()) return;
  // Moved out first: the window may be destroyed when this reference goes, and its
  // destruction must not run while the list is being changed.
  std::shared_ptr<Window> gone = std::move(*it);
  ws.erase(it);
}

std::vector<std::shared_ptr<Window>> LiveWindows() { return State().windows; }

std::shared_ptr<Window> FindWindow(const std::type_info& type) {
  for (const auto& w : State().windows)
    if (const Window& win = *w; win.IsLive() && typeid(win) == type) return w;
  return nullptr;
}

void NoteFront(Window& window) {
  auto& order = State().frontOrder;
  std::erase_if(order, [&](const std::weak_ptr<Window>& w) {
    auto p = w.lock();
    return !p || p.get() == &window;
  });
  order.push_back(window.weak_from_this());
}

}  // namespace detail

namespace events {

Window* FrontWindow() {
  auto& order = State().frontOrder;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    auto w = it->lock();
    if (w && w->IsLive() && w->Visible()) return w.get();
  }
  return nullptr;
}

}  // namespace events

Backend& CurrentBackend() {
  Runtime& rt = State();
  if (!rt.backend) throw RuntimeException("no backend: RuntimeInit has not run");
  return *rt.backend;
}

void RuntimeInit() {
  Runtime& rt = State();
  if (rt.initialized) return;
  rt.loop = g_main_loop_new(nullptr, FALSE);
  rt.backend = CreateBackend();
  rt.initialized = true;
  // The executable is named now, while it surely exists: pictures and sounds are found
  // beside it later in the run, when an upgrade may have replaced or removed it.
  (void)ExecutableFile();
  WatchQuitSignals(rt);
  if (rt.backend->PresentRunningInstance()) {
    Quit(0);
    return;
  }
  rt.backend->Init();
}

void RunFrameworkInitialization(const std::function<void()>& startup) {
  // Quitting already means another instance took over: this one makes nothing of its own.
  if (Quitting()) return;
  if (startup) startup();
}

void RuntimeRegisterAppObject(std::shared_ptr<Application> app) {
  Runtime& rt = State();
  rt.app = std::move(app);
  std::weak_ptr<Application> weak = rt.app;
  detail::Post([weak] {
    if (auto a = weak.lock()) a->Event_Open();
  });
}

std::shared_ptr<Application> CurrentApplication() { return State().app; }

void RuntimeRun() {
  Runtime& rt = State();
  detail::RequireRuntime("running the event loop");
  if (rt.quitting) return;
  g_main_loop_run(rt.loop);
}

void CloseWindowsAndQuit() {
  // A Close event that failed (its settings not saved, say) makes the exit status tell.
  bool completed = true;
  for (const auto& w : detail::LiveWindows())
    if (w->IsLive() && !w->FinishClose()) completed = false;
  Quit(completed ? 0 : 1);
}

void Quit(int exitCode) {
  Runtime& rt = State();
  if (!rt.exitCodeSet) {
    rt.exitCodeSet = true;
    rt.exitCode = exitCode;
  }
  rt.quitting = true;
  if (rt.loop && g_main_loop_is_running(rt.loop)) g_main_loop_quit(rt.loop);
}

bool Quitting() { return State().quitting; }

void RuntimeReleaseWindows() {
  Runtime& rt = State();
  if (!rt.initialized) return;
  // From here on a signal ends the process as it would without us.
  for (guint source : rt.signalSources) g_source_remove(source);
  rt.signalSources.clear();
  if (rt.taskSource != 0) g_source_remove(rt.taskSource);
  rt.taskSource = 0;
  // Queued work may hold references of its own; it is dropped before the windows.
  std::deque<std::function<void()>> tasks = std::move(rt.tasks);
  tasks.clear();

  detail::StopAllThreads();

  // The windows go without their Close events: the application is over.
  std::vector<std::shared_ptr<Window>> windows = std::move(rt.windows);
  for (const auto& w : windows) {
    w->live_ = false;
    w->ReleasePeers();
  }
  windows.clear();
  rt.frontOrder.clear();
  rt.app.reset();
}

int RuntimeExit() {
  Runtime& rt = State();
  const int code = rt.exitCode;
  if (!rt.initialized) {
    rt = Runtime{};
    return code;
  }
  RuntimeReleaseWindows();
  rt.backend->Shutdown();
  rt.backend.reset();
  if (rt.loop) g_main_loop_unref(rt.loop);
  rt = Runtime{};
  return code;
}

}  // namespace platform
