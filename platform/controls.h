#pragma once
// Controls placed on a window: the drawable ones (Canvas, Line, HTMLViewer) and the
// non-visual Thread (thread.h). A control belongs to one window, which keeps it alive.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/properties.h"
#include "platform/types.h"

namespace platform {

class Window;
class Picture;

// Backend side of a control: told to redraw or re-place it after a change.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Changed() = 0;
};

class Control : public PropertyTarget, public std::enable_shared_from_this<Control> {
 public:
  Control() = default;
  ~Control() override = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const String& Name() const { return name_; }
  // The window the control was added to; nullptr before that or after the window is gone.
  Window* OwnerWindow() const { return window_; }

  void SetProperty(std::string_view name, const PropertyValue& value) override;

  ControlPeer* Peer() const { return peer_.get(); }

 protected:
  void NotifyChanged() {
    if (peer_) peer_->Changed();
  }

 private:
  friend class Window;
  String name_;
  Window* window_ = nullptr;
  std::unique_ptr<ControlPeer> peer_;
};

// A control with a place on the window.
class RectControl : public Control {
 public:
  Int32 Left() const { return left_; }
  Int32 Top() const { return top_; }
  Int32 Width() const { return width_; }
  Int32 Height() const { return height_; }
  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  void SetProperty(std::string_view name, const PropertyValue& value) override;

  // A handler for the menu item of that name, answered while the control's window is in
  // front. It returns whether it handled the choice.
  using MenuHandler = std::function<bool()>;
  void AddMenuHandler(std::string_view itemName, MenuHandler handler);
  const MenuHandler* FindMenuHandler(std::string_view itemName) const;

 private:
  Int32 left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true, enabled_ = true;
  std::vector<std::pair<String, MenuHandler>> menuHandlers_;
};

// Shows a picture and reports clicks.
class Canvas : public RectControl {
 public:
  // The very picture last set, or nullptr.
  const std::shared_ptr<Picture>& Backdrop() const { return backdrop_; }
  void SetBackdrop(std::shared_ptr<Picture> picture);

  // Bound events. MouseDown gets the canvas and the click's x and y within it.
  std::function<bool(Canvas&, Int32 x, Int32 y)> OnMouseDown;
  std::function<void(Canvas&)> OnEnableMenuItems;

 private:
  std::shared_ptr<Picture> backdrop_;
};

// A straight line from (X1, Y1) to (X2, Y2) in window coordinates.
class Line : public RectControl {
 public:
  Int32 X1() const { return x1_; }
  Int32 Y1() const { return y1_; }
  Int32 X2() const { return x2_; }
  Int32 Y2() const { return y2_; }
  void SetX1(Int32 v);
  void SetY1(Int32 v);
  void SetX2(Int32 v);
  void SetY2(Int32 v);
  Int32 BorderWidth() const { return borderWidth_; }
  Color LineColor() const { return color_; }
  void SetProperty(std::string_view name, const PropertyValue& value) override;

 private:
  Int32 x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0, borderWidth_ = 1;
  Color color_{};
};

// An embedded web view. Loads and plays whether or not it or its window is visible.
class WebViewPeer : public ControlPeer {
 public:
  virtual void LoadURL(const String& url) = 0;
};

class HTMLViewer : public RectControl {
 public:
  // Starts loading and returns at once; the new page replaces the one before, and the
  // sound of that page ends with it.
  void LoadURL(const String& url);
  // The URL last handed to LoadURL ("" before the first).
  const String& URL() const { return url_; }

  // The view's own edit actions. They do nothing and answer false (not handled).
  bool EditClear_Action() { return false; }
  bool EditCopy_Action() { return false; }
  bool EditCut_Action() { return false; }
  bool EditPaste_Action() { return false; }
  bool EditSelectAll_Action() { return false; }

 private:
  String url_;
};

}  // namespace platform
