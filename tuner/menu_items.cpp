#include "platform/exceptions.h"
#include "tuner/tuner_window.h"

namespace {

// The item of that name anywhere below the window's menu bar, or none. The bar is read at
// every call, so the accessors always see the bar the window holds now.
std::shared_ptr<platform::MenuItem> LookupItem(const platform::Window& window, const char* name) {
  return platform::Need(window.MenuBar(), "the main window's menu bar").Lookup(name);
}

}  // namespace

std::shared_ptr<platform::MenuItem> tunerWindow::placeMenu() {
  return LookupItem(*this, "placeMenu");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditMenu() {
  return LookupItem(*this, "EditMenu");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditSelectAll() {
  return LookupItem(*this, "EditSelectAll");
}
std::shared_ptr<platform::MenuItem> tunerWindow::UntitledMenu0() {
  return LookupItem(*this, "UntitledMenu0");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditClear() {
  return LookupItem(*this, "EditClear");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditPaste() {
  return LookupItem(*this, "EditPaste");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditCopy() {
  return LookupItem(*this, "EditCopy");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditCut() { return LookupItem(*this, "EditCut"); }
std::shared_ptr<platform::MenuItem> tunerWindow::UntitledMenu1() {
  return LookupItem(*this, "UntitledMenu1");
}
std::shared_ptr<platform::MenuItem> tunerWindow::EditUndo() {
  return LookupItem(*this, "EditUndo");
}
std::shared_ptr<platform::MenuItem> tunerWindow::FileMenu() {
  return LookupItem(*this, "FileMenu");
}
std::shared_ptr<platform::QuitMenuItem> tunerWindow::FileQuit() {
  return std::dynamic_pointer_cast<platform::QuitMenuItem>(LookupItem(*this, "FileQuit"));
}
