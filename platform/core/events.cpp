// What a backend reports, turned into the program's events.

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/exceptions.h"
#include "platform/menu.h"
#include "platform/window.h"
#include "platform/core/runtime.h"

namespace platform::events {

void KeyDown(Window& window, const String& key) {
  if (!window.IsLive()) return;
  ReportingExceptions([&] { window.Event_KeyDown(key); });
}

void MouseWheel(Window& window, Int32 x, Int32 y, Int32 deltaX, Int32 deltaY) {
  if (!window.IsLive()) return;
  ReportingExceptions([&] { window.Event_MouseWheel(x, y, deltaX, deltaY); });
}

void MouseDown(Canvas& canvas, Int32 x, Int32 y) {
  if (!canvas.OnMouseDown) return;
  // The handler is copied so that it may rebind the event while it runs.
  auto handler = canvas.OnMouseDown;
  ReportingExceptions([&] { handler(canvas, x, y); });
}

bool KeyPressed(Window& window, const input::KeyPress& press) {
  if (!window.IsLive()) return false;
  std::shared_ptr<Window> keep = window.weak_from_this().lock();
  if (const std::shared_ptr<MenuBar>& bar = window.MenuBar(); bar && MenuShortcut(*bar, press))
    return true;
  std::optional<String> text = input::KeyText(press);
  if (!text) return false;
  KeyDown(window, *text);
  return true;
}

bool MenuShortcut(MenuBar& bar, const input::KeyPress& press) {
  std::shared_ptr<MenuItem> item = input::FindShortcut(bar, press);
  if (!item) return false;
  EnableMenuItems();
  for (const MenuItem* i = item.get(); i && i != &bar; i = i->Parent())
    if (!i->Enabled()) return true;
  if (item->Parent() == nullptr) return true;  // removed while the menus were updated
  MenuChosen(*item);
  return true;
}

void MousePressed(Window& window, Int32 x, Int32 y) {
  if (!window.IsLive()) return;
  // Held: its handler may close the window and drop its controls.
  std::shared_ptr<Canvas> canvas = input::CanvasAt(window, x, y);
  if (canvas) MouseDown(*canvas, WrapSub(x, canvas->Left()), WrapSub(y, canvas->Top()));
}

void EnableMenuItems() {
  Window* front = FrontWindow();
  if (!front) return;
  // A copy of the list: a handler may add controls.
  const std::vector<std::shared_ptr<Control>> controls = front->Controls();
  for (const auto& c : controls) {
    auto* canvas = dynamic_cast<Canvas*>(c.get());
    if (!canvas || !canvas->OnEnableMenuItems) continue;
    auto handler = canvas->OnEnableMenuItems;
    ReportingExceptions([&] { handler(*canvas); });
  }
}

void MenuChosen(MenuItem& item) {
  // The item may remove itself from its menu while it acts.
  std::shared_ptr<MenuItem> keep = item.weak_from_this().lock();
  bool handled = false;
  ReportingExceptions([&] { handled = item.Event_Action(); });
  if (handled) return;
  Window* front = FrontWindow();
  if (!front) return;
  std::shared_ptr<Window> keepWindow = front->weak_from_this().lock();
  const std::vector<std::shared_ptr<Control>> controls = front->Controls();
  for (const auto& c : controls) {
    auto* rect = dynamic_cast<RectControl*>(c.get());
    if (!rect) continue;
    const RectControl::MenuHandler* found = rect->FindMenuHandler(item.Name());
    if (!found) continue;
    RectControl::MenuHandler handler = *found;
    ReportingExceptions([&] { handled = handler(); });
    if (handled) return;
  }
}

void CloseRequested(Window& window) {
  const bool completed = window.FinishClose();
  // With the last visible window gone the user has nothing left to work with, so the
  // application ends even when the Close event did not get as far as asking to quit (for
  // example, when the settings could not be saved); the exit status then tells of the
  // failure. Hidden windows do not keep it running.
  if (Quitting()) return;
  for (const auto& w : platform::detail::LiveWindows()) {
    if (w->Visible()) return;
  }
  Quit(completed ? 0 : 1);
}

void WindowMoved(Window& window, Int32 top, Int32 left) { window.NoteMoved(top, left); }

void WindowActivated(Window& window) {
  if (window.IsLive()) platform::detail::NoteFront(window);
}

}  // namespace platform::events
