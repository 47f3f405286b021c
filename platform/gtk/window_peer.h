#pragma once
// The GTK peers of windows and of the controls drawn on them. Everything here runs on the
// user-interface thread (a cooperative worker's fiber is on that thread too); none of it
// yields.

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "platform/backend.h"
#include "platform/gtk/gobject_ptr.h"
#include "platform/gtk/input.h"

namespace platform::gtkbackend {

class MenuView;

// A toplevel GtkWindow: an optional menu bar above a fixed-size content area of Width x
// Height pixels, in which the backdrop and the drawn controls are painted and web views
// are placed. It turns GDK input into the program's events.
class GtkWindowPeer : public WindowPeer {
 public:
  explicit GtkWindowPeer(Window& window);
  ~GtkWindowPeer() override;

  void Show() override;
  void Hide() override;
  void Move(Int32 top, Int32 left) override;
  void Changed() override;
  void MenuBarChanged() override;
  void ControlAdded(Control& control) override;

  Window& Owner() const { return window_; }
  // The container that holds the drawing surface and the web views.
  GtkFixed* Content() const { return GTK_FIXED(fixed_.get()); }
  GtkWidget* Surface() const { return area_.get(); }
  GtkWidget* Toplevel() const { return toplevel_.get(); }

 private:
  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnScroll(GtkWidget*, GdkEventScroll* event, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
  static gboolean OnFocusIn(GtkWidget*, GdkEventFocus*, gpointer self);
  void Paint(cairo_t* cr);
  bool IsMenuBarKey(unsigned keyval, unsigned state) const;

  Window& window_;
  GObjectPtr<GtkWidget> toplevel_, box_, fixed_, area_;
  std::unique_ptr<MenuView> menu_;
  WheelSteps wheel_;
  input::PressFilter presses_;
  std::vector<SignalConnection> signals_;
};

// A Canvas or a Line: drawn by its window's surface, so a change only asks for a redraw.
class DrawnControlPeer : public ControlPeer {
 public:
  explicit DrawnControlPeer(GtkWindowPeer& window)
      : surface_(GObjectPtr<GtkWidget>::Ref(window.Surface())) {}
  void Changed() override { gtk_widget_queue_draw(surface_.get()); }

 private:
  GObjectPtr<GtkWidget> surface_;
};

}  // namespace platform::gtkbackend
