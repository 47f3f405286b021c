#include "platform/window.h"

#include "platform/backend.h"
#include "platform/exceptions.h"
#include "platform/menu.h"
#include "platform/core/runtime.h"

namespace platform {

Window::Window() = default;

Window::~Window() { ReleasePeers(); }

void Window::ReleasePeers() {
  // Control peers live inside the window's peer, so they go first.
  for (const auto& c : controls_) c->peer_.reset();
  peer_.reset();
}

void Window::Construct() {
  detail::RequireRuntime("building a window");
  detail::RegisterWindow(shared_from_this());
  live_ = true;
  try {
    Layout();
    CreateControls();
    peer_ = CurrentBackend().CreateWindowPeer(*this);
    for (const auto& c : controls_)
      if (!c->peer_) c->peer_ = CurrentBackend().CreateControlPeer(*c, *peer_);
  } catch (...) {
    // A window that could not be built is not left half-registered.
    live_ = false;
    ReleasePeers();
    detail::UnregisterWindow(*this);
    throw;
  }
  if (visible_) Show();
  std::weak_ptr<Window> weak = weak_from_this();
  detail::Post([weak] {
    if (auto w = weak.lock(); w && w->live_) w->Event_Open();
  });
}

void Window::Show() {
  visible_ = true;
  if (peer_) peer_->Show();
  if (live_) detail::NoteFront(*this);
}

void Window::Hide() {
  visible_ = false;
  if (peer_) peer_->Hide();
}

void Window::SetTop(Int32 top) {
  top_ = top;
  if (peer_) peer_->Move(top_, left_);
}

void Window::SetLeft(Int32 left) {
  left_ = left;
  if (peer_) peer_->Move(top_, left_);
}

void Window::SetBackdrop(std::shared_ptr<Picture> picture) {
  backdrop_ = std::move(picture);
  if (peer_) peer_->Changed();
}

void Window::SetMenuBar(std::shared_ptr<platform::MenuBar> bar) {
  menuBar_ = std::move(bar);
  if (peer_) peer_->MenuBarChanged();
}

void Window::AddControl(std::string_view name, std::shared_ptr<Control> control) {
  if (!control) throw NilObjectException("the control \"" + String(name) + "\" is missing (nil object)");
  control->name_ = String(name);
  control->window_ = this;
  controls_.push_back(control);
  controlsByName_.try_emplace(control->name_, control.get());
  ++controlsVersion_;
  if (peer_) {
    control->peer_ = CurrentBackend().CreateControlPeer(*control, *peer_);
    peer_->ControlAdded(*control);
  }
}

void Window::RemoveControl(std::string_view name) {
  auto found = controlsByName_.find(name);
  if (found == controlsByName_.end()) return;
  Control* gone = found->second;
  controlsByName_.erase(found);
  std::shared_ptr<Control> keep;  // alive until the window no longer refers to it
  for (auto it = controls_.begin(); it != controls_.end(); ++it) {
    if (it->get() == gone) {
      keep = std::move(*it);
      controls_.erase(it);
      break;
    }
  }
  // Another control of the same name, if any, is found from now on.
  for (const auto& c : controls_) {
    if (c->Name() == name) {
      controlsByName_.try_emplace(c->name_, c.get());
      break;
    }
  }
  ++controlsVersion_;
  keep->peer_.reset();
  keep->window_ = nullptr;
  if (peer_) peer_->Changed();
}

std::shared_ptr<Control> Window::ControlByName(std::string_view name) const {
  Control* c = FindControl(name);
  return c ? c->shared_from_this() : nullptr;
}

Control* Window::FindControl(std::string_view name) const {
  auto found = controlsByName_.find(name);
  return found == controlsByName_.end() ? nullptr : found->second;
}

void Window::SetProperty(std::string_view name, const PropertyValue& value) {
  PropertyTarget::SetProperty(name, value);
  if (name == "Visible") {
    bool on = AsBool(value);
    // While the window is built, Visible only says whether it is shown once built.
    if (!peer_) visible_ = on;
    else if (on) Show();
    else Hide();
    return;
  }
  if (name == "Width") width_ = AsInt32(value);
  else if (name == "Height") height_ = AsInt32(value);
  else if (name == "Title") title_ = AsString(value);
  else if (name == "Resizeable") resizeable_ = AsBool(value);
  else if (name == "CloseButton") closeButton_ = AsBool(value);
  else if (name == "MinimizeButton") minimizeButton_ = AsBool(value);
  else if (name == "MaximizeButton") maximizeButton_ = AsBool(value);
  else return;
  if (peer_) peer_->Changed();
}

void Window::Close() { FinishClose(); }

bool Window::FinishClose() {
  if (closing_ || !live_) return true;
  closing_ = true;
  // The runtime's reference may be the last one; this one keeps the window alive until
  // the end of this function.
  std::shared_ptr<Window> self = weak_from_this().lock();
  bool completed = false;
  ReportingExceptions([this, &completed] {
    Event_Close();
    completed = true;
  });
  live_ = false;
  ReleasePeers();
  detail::UnregisterWindow(*this);
  closing_ = false;
  return completed;
}

std::shared_ptr<Window> FindImplicitWindow(const std::type_info& type) {
  return detail::FindWindow(type);
}

}  // namespace platform
