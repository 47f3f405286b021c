#pragma once
// Windows. A window subclass overrides the event handlers it needs; the framework builds it
// (Layout, then CreateControls), shows it when its Visible property says so, and raises
// Open from the event loop. The framework keeps every window alive from its construction
// until its Close event has ended.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "platform/controls.h"
#include "platform/properties.h"
#include "platform/types.h"

namespace platform {

class MenuBar;
class Picture;
class WindowPeer;

class Window : public PropertyTarget, public std::enable_shared_from_this<Window> {
 public:
  Window();
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Creates and builds a window of class W: registers it (GetImplicitWindow finds it from
  // here on), raises Layout and CreateControls, gives it its backend peer, shows it when
  // Visible, and queues its Open event on the event loop.
  template <class W>
  static std::shared_ptr<W> New() {
    auto w = std::make_shared<W>();
    w->Construct();
    return w;
  }

  void Show();
  void Hide();
  bool Visible() const { return visible_; }

  // Position of the window on the screen, in pixels; kept when no window manager moves it.
  Int32 Top() const { return top_; }
  Int32 Left() const { return left_; }
  void SetTop(Int32 top);
  void SetLeft(Int32 left);
  // Size of the content, below any menu bar.
  Int32 Width() const { return width_; }
  Int32 Height() const { return height_; }
  const String& Title() const { return title_; }
  bool Resizeable() const { return resizeable_; }
  bool CloseButton() const { return closeButton_; }
  bool MinimizeButton() const { return minimizeButton_; }
  bool MaximizeButton() const { return maximizeButton_; }

  const std::shared_ptr<Picture>& Backdrop() const { return backdrop_; }
  void SetBackdrop(std::shared_ptr<Picture> picture);
  const std::shared_ptr<platform::MenuBar>& MenuBar() const { return menuBar_; }
  void SetMenuBar(std::shared_ptr<platform::MenuBar> bar);

  // Registers a control under a name; the window owns it from then on.
  void AddControl(std::string_view name, std::shared_ptr<Control> control);
  // Takes the control registered under that name off the window (the first of them, when
  // several share it) and lets its peer go; from then on it is no longer found by name.
  // Does nothing when no control has that name.
  void RemoveControl(std::string_view name);
  // The control registered under that name (the same object at every call), or nullptr.
  // When several controls share a name, the first one added is found.
  std::shared_ptr<Control> ControlByName(std::string_view name) const;
  // The same look-up, in constant time and without taking a reference: the window keeps
  // the control alive until it is removed or the window goes.
  Control* FindControl(std::string_view name) const;
  // Changes whenever a control is added or removed, so that a look-up remembered at one
  // value is still right while the value is unchanged (see ControlSlot).
  std::uint64_t ControlsVersion() const { return controlsVersion_; }
  const std::vector<std::shared_ptr<Control>>& Controls() const { return controls_; }

  void SetProperty(std::string_view name, const PropertyValue& value) override;

  // Closes the window as the close button does: raises Close, then lets the window go.
  void Close();
  // True from construction until the Close event has ended.
  bool IsLive() const { return live_; }

  // Event handlers, raised by the framework. The defaults do nothing and answer false.
  virtual void Layout() {}
  virtual void CreateControls() {}
  virtual void Event_Open() {}
  virtual void Event_Close() {}
  virtual bool Event_KeyDown(const String& key) {
    (void)key;
    return false;
  }
  virtual bool Event_MouseWheel(Int32 x, Int32 y, Int32 deltaX, Int32 deltaY) {
    (void)x, (void)y, (void)deltaX, (void)deltaY;
    return false;
  }

  // Backend side.
  WindowPeer* Peer() const { return peer_.get(); }
  // The backend reports a move made by the window manager.
  void NoteMoved(Int32 top, Int32 left) { top_ = top, left_ = left; }
  // Runs the Close event and unregisters the window (events::CloseRequested calls it).
  // Answers false when the Close event raised (the exception has been reported).
  bool FinishClose();

 protected:
  void Construct();

 private:
  template <class W>
  friend std::shared_ptr<W> GetImplicitWindow();
  friend std::shared_ptr<Window> FindImplicitWindow(const std::type_info& type);
  friend void RuntimeReleaseWindows();
  // Lets the backend peers go (the controls' first), without raising any event.
  void ReleasePeers();

  Int32 top_ = 0, left_ = 0, width_ = 100, height_ = 100;
  String title_;
  bool visible_ = true, resizeable_ = true, closeButton_ = true;
  bool minimizeButton_ = true, maximizeButton_ = true;
  bool live_ = false, closing_ = false;
  std::shared_ptr<Picture> backdrop_;
  std::shared_ptr<platform::MenuBar> menuBar_;
  std::vector<std::shared_ptr<Control>> controls_;
  // Name to the first control of that name, for the look-ups by name.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<String, Control*, NameHash, std::equal_to<>> controlsByName_;
  std::uint64_t controlsVersion_ = 1;
  std::unique_ptr<WindowPeer> peer_;
};

// A window's control of one name and class, remembered: Get answers from the remembered
// pointer while the window's controls are unchanged, so that a loop which reads a control
// in every iteration pays one comparison, neither a search nor a reference count. It is a
// member of the window it serves (or must only ever be asked about one window), and the
// pointer it returns is valid until the control is removed or the window goes.
template <class T>
class ControlSlot {
 public:
  explicit ControlSlot(std::string_view name) : name_(name) {}
  // The control of that name, or nullptr when there is none or it is not a T.
  T* Get(const Window& window) {
    if (version_ != window.ControlsVersion()) {
      control_ = dynamic_cast<T*>(window.FindControl(name_));
      version_ = window.ControlsVersion();
    }
    return control_;
  }

 private:
  String name_;
  std::uint64_t version_ = 0;  // never a window's version: the first Get looks up
  T* control_ = nullptr;
};

// The live window of exactly that class, or nullptr.
std::shared_ptr<Window> FindImplicitWindow(const std::type_info& type);

template <class W>
std::shared_ptr<W> GetImplicitWindow() {
  return std::static_pointer_cast<W>(FindImplicitWindow(typeid(W)));
}

}  // namespace platform
