#include "player/ondella_window.h"

#include <cstdint>
#include <limits>

#include "platform/exceptions.h"
#include "platform/properties.h"

namespace {

using I64 = std::int64_t;
using platform::String;

// The Edit items that the web view answers, in the order of binding, with the view's own
// action for each. Undo has no action on the view and is not bound.
struct EditBinding {
  const char* item;
  bool (platform::HTMLViewer::*action)();
};

constexpr EditBinding kEditBindings[] = {
    {"EditClear", &platform::HTMLViewer::EditClear_Action},
    {"EditCopy", &platform::HTMLViewer::EditCopy_Action},
    {"EditCut", &platform::HTMLViewer::EditCut_Action},
    {"EditPaste", &platform::HTMLViewer::EditPaste_Action},
    {"EditSelectAll", &platform::HTMLViewer::EditSelectAll_Action},
};

}  // namespace

std::shared_ptr<OndellaWindow> OndellaWindow::Instance() {
  if (auto window = platform::GetImplicitWindow<OndellaWindow>()) return window;
  // Built hidden: its properties say not visible, and nothing here shows it.
  return platform::Window::New<OndellaWindow>();
}

void OndellaWindow::Layout() {
  platform::SetProperties(*this, {
                                     {"Placement", I64{0}},
                                     {"Width", I64{66}},
                                     {"Height", I64{64}},
                                     {"MinWidth", I64{64}},
                                     {"MinHeight", I64{64}},
                                     {"MaxWidth", I64{32000}},
                                     {"MaxHeight", I64{32000}},
                                     {"Frame", I64{7}},
                                     {"Composite", true},
                                     {"HasBackColor", false},
                                     {"BackColor", platform::RGB(0xFFFFFF)},
                                     {"Title", String("Ondella")},
                                     {"Visible", false},
                                     {"FullScreen", false},
                                     {"MenuBarVisible", true},
                                     {"CloseButton", true},
                                     {"Resizeable", true},
                                     {"LiveResize", true},
                                     {"MaximizeButton", false},
                                     {"MinimizeButton", true},
                                     {"MacProcID", I64{0}},
                                 });
}

void OndellaWindow::CreateControls() { CreateControls0(); }

void OndellaWindow::CreateControls0() {
  AddControl("HTMLViewer1", std::make_shared<platform::HTMLViewer>());
  platform::SetProperties(platform::Need(HTMLViewer1(), "HTMLViewer1"),
                          {
                              {"Name", String("HTMLViewer1")},
                              {"Index", I64{std::numeric_limits<platform::Int32>::min()}},
                              {"Left", I64{0}},
                              {"Top", I64{0}},
                              {"Width", I64{36}},
                              {"Height", I64{32}},
                              {"LockLeft", true},
                              {"LockTop", true},
                              {"LockRight", true},
                              {"LockBottom", true},
                              {"TabPanelIndex", I64{0}},
                              {"InitialParent", String()},
                              {"TabIndex", I64{0}},
                              {"Visible", false},
                              {"HelpTag", String()},
                              {"AutoDeactivate", false},
                              {"Enabled", true},
                          });

  for (const EditBinding& binding : kEditBindings) {
    platform::HTMLViewer& view = platform::Need(HTMLViewer1(), "HTMLViewer1");
    // The handler lives in the view itself, so a plain pointer back to the view is always
    // valid when it runs and makes no reference cycle.
    view.AddMenuHandler(binding.item,
                        [target = &view, action = binding.action] { return (target->*action)(); });
  }
}

std::shared_ptr<platform::HTMLViewer> OndellaWindow::HTMLViewer1() {
  return std::dynamic_pointer_cast<platform::HTMLViewer>(ControlByName("HTMLViewer1"));
}
