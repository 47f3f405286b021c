#pragma once
// The runtime's shared state and its task queue, for the core's own files only.
//
// Every piece of deferred work (a window's Open event, the application's Open event, a
// thread's turn) goes through one FIFO queue served by a single GLib idle source, so work
// queued earlier always runs earlier, and one dispatch of the main loop runs one task.

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/application.h"
#include "platform/backend.h"
#include "platform/window.h"

namespace platform::detail {

// Queues a task for the event loop. Exceptions that leave it are reported.
void Post(std::function<void()> task);

// Throws when RuntimeInit has not run, naming what needed the runtime.
void RequireRuntime(const char* what);

// The window list: every window from its construction until its Close event has ended.
void RegisterWindow(std::shared_ptr<Window> window);
void UnregisterWindow(Window& window);
std::vector<std::shared_ptr<Window>> LiveWindows();
std::shared_ptr<Window> FindWindow(const std::type_info& type);

// The windows in the order they were last shown or activated, for FrontWindow.
void NoteFront(Window& window);

// Thread scheduler hooks (thread.cpp): stops every thread at shutdown, unwinding a run that
// is suspended mid-way, and forgets every queued run.
void StopAllThreads();
// Makes sure the scheduler exists (see State() in runtime.cpp for why the order counts).
void TouchScheduler();

}  // namespace platform::detail
