#pragma once
// The interface between the platform's classes and a backend that renders them. Only
// backends include this header; the program uses the classes.

#include <filesystem>
#include <memory>

#include "platform/controls.h"
#include "platform/input.h"
#include "platform/media.h"
#include "platform/menu.h"
#include "platform/types.h"
#include "platform/window.h"

namespace platform {

class Canvas;

// Backend side of a window. Created when the window has been built (after CreateControls),
// destroyed when it closes or at shutdown.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Move(Int32 top, Int32 left) = 0;
  // Title, size, buttons or backdrop changed.
  virtual void Changed() = 0;
  virtual void MenuBarChanged() = 0;
  // A control added after the peer was made (controls added before get peers at creation).
  virtual void ControlAdded(Control& control) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Called by RuntimeInit, after the GLib main context is ready.
  virtual void Init() = 0;
  // Called by RuntimeInit before Init. When this program already runs for the user, asks
  // that instance to present its windows and answers true: the runtime then quits at once
  // with status 0, and neither the start-up nor the event loop runs. Otherwise this
  // instance is the one that later starts are handed to, for as long as the runtime lasts.
  virtual bool PresentRunningInstance() { return false; }
  virtual std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) = 0;
  // A peer for a control of that window; nullptr for controls that draw nothing.
  virtual std::unique_ptr<ControlPeer> CreateControlPeer(Control& control, WindowPeer& window) = 0;
  virtual std::shared_ptr<Picture> OpenPicture(const std::filesystem::path& path) = 0;
  virtual std::shared_ptr<Sound> OpenSound(const std::filesystem::path& path) = 0;
  // Called by RuntimeExit after the windows are gone.
  virtual void Shutdown() = 0;
  // Asked by a running thread every few hundred yields: true when input waits, so that the
  // thread gives the event loop its turn before its time slice is over. It must not
  // iterate or query the GLib main context (g_main_context_pending included): a thread
  // runs inside a dispatch of that context, and a nested query drops the rest of the
  // dispatch in progress, starving the other sources of its priority.
  virtual bool EventsWaiting() { return false; }
};

// CreateBackend is defined by the backend library that is linked in (gtk or headless);
// CurrentBackend, by the core, gives the one RuntimeInit made.
std::unique_ptr<Backend> CreateBackend();
Backend& CurrentBackend();

// What a backend reports. Each runs the program's handler and hands any exception that
// leaves it to UnhandledException; the event loop goes on.
namespace events {
void KeyDown(Window& window, const String& key);
void MouseWheel(Window& window, Int32 x, Int32 y, Int32 deltaX, Int32 deltaY);
void MouseDown(Canvas& canvas, Int32 x, Int32 y);
// A key pressed in a window: a shortcut of the window's menu bar chooses its item (see
// MenuShortcut); any other key raises KeyDown with its text (input::KeyText). Answers
// whether the press was taken; a modifier key alone is not.
bool KeyPressed(Window& window, const input::KeyPress& press);
// The menu item whose shortcut the key press is, brought up to date and chosen; a
// disabled item, or one in a disabled menu, swallows its shortcut. Answers whether the key
// was a shortcut.
bool MenuShortcut(MenuBar& bar, const input::KeyPress& press);
// A press of the mouse button at x, y of the window's content (one press once: the
// backend filters repeats with an input::PressFilter): the canvas there takes it
// (input::CanvasAt) as its MouseDown, at coordinates within the canvas.
void MousePressed(Window& window, Int32 x, Int32 y);
// The framework brings the menus up to date before a menu opens or a shortcut is
// dispatched: EnableMenuItems is raised on the controls of the front window that bind it.
void EnableMenuItems();
// An item was chosen (by mouse or shortcut): its own Action first; when that does not
// handle it, a menu handler of a control of the front window that names the item.
void MenuChosen(MenuItem& item);
// The close button: the Close event runs, then the window goes. Never refused.
void CloseRequested(Window& window);
void WindowMoved(Window& window, Int32 top, Int32 left);
void WindowActivated(Window& window);
// The visible window in front (the last one activated or shown), or nullptr.
Window* FrontWindow();
}  // namespace events

// Runs f, handing an exception that leaves it to UnhandledException.
template <class F>
void ReportingExceptions(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    extern void UnhandledException(const std::exception&);
    UnhandledException(e);
  }
}

}  // namespace platform
