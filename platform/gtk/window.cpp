#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/gtk/menu_view.h"
#include "platform/gtk/picture.h"
#include "platform/gtk/window_peer.h"

namespace platform::gtkbackend {

namespace {

// GTK wants UTF-8; the program's texts are bytes and may not be. Invalid sequences are
// shown as replacement characters; the program keeps its bytes.
String ValidUtf8(const String& text) {
  GMallocPtr<gchar> valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return String(valid.get());
}

void SetSourceColor(cairo_t* cr, Color c) {
  cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

}  // namespace

GdkPixbuf* PixbufOf(const Picture* picture) {
  if (!picture) return nullptr;
  auto* peer = dynamic_cast<PixbufPicture*>(picture->Peer());
  return peer ? peer->Pixbuf() : nullptr;
}

std::shared_ptr<Picture> LoadPicture(const std::filesystem::path& path) {
  GError* error = nullptr;
  // gdk_pixbuf_new_from_file returns a full reference.
  auto pixbuf = GObjectPtr<GdkPixbuf>::Adopt(gdk_pixbuf_new_from_file(path.c_str(), &error));
  if (error) g_error_free(error);
  if (!pixbuf) return nullptr;
  Int32 w = gdk_pixbuf_get_width(pixbuf.get()), h = gdk_pixbuf_get_height(pixbuf.get());
  return std::make_shared<Picture>(w, h, std::make_unique<PixbufPicture>(std::move(pixbuf)));
}

GtkWindowPeer::GtkWindowPeer(Window& window) : window_(window) {
  // A toplevel belongs to GTK's list of toplevels; our own reference keeps the object
  // valid until the destructor has destroyed it.
  toplevel_ = GObjectPtr<GtkWidget>::Ref(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  box_ = GObjectPtr<GtkWidget>::RefSink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
  fixed_ = GObjectPtr<GtkWidget>::RefSink(gtk_fixed_new());
  area_ = GObjectPtr<GtkWidget>::RefSink(gtk_drawing_area_new());
  gtk_container_add(GTK_CONTAINER(toplevel_.get()), box_.get());
  gtk_box_pack_end(GTK_BOX(box_.get()), fixed_.get(), TRUE, TRUE, 0);
  gtk_fixed_put(GTK_FIXED(fixed_.get()), area_.get(), 0, 0);

  // Presses and wheel movements are taken by the drawing surface alone and not passed on
  // to the toplevel, so each reaches the program once.
  gtk_widget_add_events(area_.get(),
                        GDK_BUTTON_PRESS_MASK | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
  gtk_widget_set_can_focus(toplevel_.get(), TRUE);

  signals_.emplace_back(area_.get(), "draw", &OnDraw, this);
  signals_.emplace_back(area_.get(), "button-press-event", &OnButtonPress, this);
  signals_.emplace_back(area_.get(), "scroll-event", &OnScroll, this);
  // Connected before GTK's own handler, which would otherwise hand keys to accelerators
  // and focus widgets first: shortcuts are dispatched here, before KeyDown.
  signals_.emplace_back(toplevel_.get(), "key-press-event", &OnKeyPress, this);
  signals_.emplace_back(toplevel_.get(), "delete-event", &OnDelete, this);
  signals_.emplace_back(toplevel_.get(), "configure-event", &OnConfigure, this);
  signals_.emplace_back(toplevel_.get(), "focus-in-event", &OnFocusIn, this);

  gtk_widget_show(box_.get());
  gtk_widget_show(fixed_.get());
  gtk_widget_show(area_.get());
  Changed();
  MenuBarChanged();
  gtk_window_move(GTK_WINDOW(toplevel_.get()), window_.Left(), window_.Top());
}

GtkWindowPeer::~GtkWindowPeer() {
  // Fixed order: no callback may reach this peer once teardown has begun; then the menu
  // lets go of its bar; then the widgets go.
  signals_.clear();
  menu_.reset();
  gtk_widget_destroy(toplevel_.get());
}

void GtkWindowPeer::Show() {
  gtk_window_move(GTK_WINDOW(toplevel_.get()), window_.Left(), window_.Top());
  // Present also gives the window the keyboard focus where no window manager does.
  gtk_window_present(GTK_WINDOW(toplevel_.get()));
}

void GtkWindowPeer::Hide() {
  gtk_widget_hide(toplevel_.get());
  // A window manager would hand the keyboard focus to the window in front; without one
  // the focus would stay with the hidden window and no key would reach the program.
  Window* front = events::FrontWindow();
  if (front && front != &window_ && front->Visible() && front->Peer()) {
    gtk_window_present(GTK_WINDOW(static_cast<GtkWindowPeer*>(front->Peer())->Toplevel()));
  }
}

void GtkWindowPeer::Move(Int32 top, Int32 left) {
  gtk_window_move(GTK_WINDOW(toplevel_.get()), left, top);
}

void GtkWindowPeer::Changed() {
  GtkWindow* w = GTK_WINDOW(toplevel_.get());
  gtk_window_set_title(w, ValidUtf8(window_.Title()).c_str());
  Int32 width = std::max<Int32>(window_.Width(), 1), height = std::max<Int32>(window_.Height(), 1);
  gtk_widget_set_size_request(fixed_.get(), width, height);
  gtk_widget_set_size_request(area_.get(), width, height);
  gtk_window_set_resizable(w, window_.Resizeable());
  gtk_window_set_deletable(w, window_.CloseButton());
  // Window managers read the type hint when the window maps, and most offer neither
  // minimise nor maximise for a dialog. Without a maximise button a fixed-size window is
  // what the user expects anyway.
  if (!gtk_widget_get_realized(toplevel_.get())) {
    bool bare = !window_.MinimizeButton() && !window_.MaximizeButton();
    gtk_window_set_type_hint(w, bare ? GDK_WINDOW_TYPE_HINT_DIALOG : GDK_WINDOW_TYPE_HINT_NORMAL);
  }
  gtk_widget_queue_draw(area_.get());
}

void GtkWindowPeer::MenuBarChanged() {
  const std::shared_ptr<MenuBar>& bar = window_.MenuBar();
  if (menu_ && bar == menu_->Bar()) return;
  if (menu_) gtk_container_remove(GTK_CONTAINER(box_.get()), menu_->Widget());
  menu_.reset();
  if (!bar) return;
  menu_ = std::make_unique<MenuView>(bar);
  gtk_box_pack_start(GTK_BOX(box_.get()), menu_->Widget(), FALSE, FALSE, 0);
  gtk_widget_show_all(menu_->Widget());
}

void GtkWindowPeer::ControlAdded(Control&) { gtk_widget_queue_draw(area_.get()); }

void GtkWindowPeer::Paint(cairo_t* cr) {
  if (GdkPixbuf* backdrop = PixbufOf(window_.Backdrop().get())) {
    gdk_cairo_set_source_pixbuf(cr, backdrop, 0, 0);
    cairo_paint(cr);
  }
  for (const std::shared_ptr<Control>& control : window_.Controls()) {
    if (auto* canvas = dynamic_cast<Canvas*>(control.get())) {
      GdkPixbuf* picture = PixbufOf(canvas->Backdrop().get());
      if (!canvas->Visible() || !picture) continue;
      cairo_save(cr);
      if (canvas->Width() > 0 && canvas->Height() > 0) {
        cairo_rectangle(cr, canvas->Left(), canvas->Top(), canvas->Width(), canvas->Height());
        cairo_clip(cr);
      }
      gdk_cairo_set_source_pixbuf(cr, picture, canvas->Left(), canvas->Top());
      cairo_paint(cr);
      cairo_restore(cr);
    } else if (auto* line = dynamic_cast<Line*>(control.get())) {
      if (!line->Visible() || line->BorderWidth() <= 0) continue;
      cairo_save(cr);
      // Square caps on pixel centres cover both end pixels, and an odd width then lies
      // on whole pixels instead of blurring across two.
      double offset = line->BorderWidth() % 2 ? 0.5 : 0.0;
      SetSourceColor(cr, line->LineColor());
      cairo_set_line_width(cr, line->BorderWidth());
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
      cairo_move_to(cr, line->X1() + offset, line->Y1() + offset);
      cairo_line_to(cr, line->X2() + offset, line->Y2() + offset);
      cairo_stroke(cr);
      cairo_restore(cr);
    }
  }
}

gboolean GtkWindowPeer::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  static_cast<GtkWindowPeer*>(self)->Paint(cr);
  return FALSE;
}

gboolean GtkWindowPeer::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<GtkWindowPeer*>(data);
  // A double click also sends a GDK_2BUTTON_PRESS after the second press; it is not a
  // further press. GTK may deliver one press twice, with the same time and button.
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  if (!self->presses_.IsNew(event->time, event->button)) return TRUE;
  events::MousePressed(self->window_, ToInt32(std::floor(event->x)), ToInt32(std::floor(event->y)));
  return TRUE;
}

gboolean GtkWindowPeer::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<GtkWindowPeer*>(data);
  WheelSteps::Steps steps;
  switch (event->direction) {
    case GDK_SCROLL_UP: steps = self->wheel_.Notch(0, -1); break;
    case GDK_SCROLL_DOWN: steps = self->wheel_.Notch(0, 1); break;
    case GDK_SCROLL_LEFT: steps = self->wheel_.Notch(-1, 0); break;
    case GDK_SCROLL_RIGHT: steps = self->wheel_.Notch(1, 0); break;
    case GDK_SCROLL_SMOOTH: {
      double dx = 0, dy = 0;
      gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), &dx, &dy);
      steps = self->wheel_.Smooth(dx, dy);
      break;
    }
  }
  if (steps.x != 0 || steps.y != 0) {
    std::shared_ptr<Window> keep = self->window_.shared_from_this();
    events::MouseWheel(self->window_, ToInt32(std::floor(event->x)),
                       ToInt32(std::floor(event->y)), steps.x, steps.y);
  }
  return TRUE;
}

bool GtkWindowPeer::IsMenuBarKey(unsigned keyval, unsigned state) const {
  if (!menu_) return false;
  // The key GTK's menu bars open on (F10 unless the user's settings say otherwise).
  GtkSettings* settings = gtk_widget_get_settings(toplevel_.get());
  gchar* accel = nullptr;
  g_object_get(settings, "gtk-menu-bar-accel", &accel, nullptr);
  guint key = 0;
  GdkModifierType mods = GdkModifierType(0);
  if (accel) gtk_accelerator_parse(accel, &key, &mods);
  g_free(accel);
  const unsigned relevant = GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK;
  return key != 0 && gdk_keyval_to_lower(keyval) == gdk_keyval_to_lower(key) &&
         (state & relevant) == (unsigned(mods) & relevant);
}

gboolean GtkWindowPeer::OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<GtkWindowPeer*>(data);
  std::shared_ptr<Window> keep = self->window_.shared_from_this();
  // The menu bar's key stays with the menus, which GTK opens after this handler. They are
  // brought up to date first, so that the first menu shows whole at its first opening.
  if (self->IsMenuBarKey(event->keyval, event->state)) {
    self->menu_->Prepare();
    return FALSE;
  }
  input::KeyPress press = KeyPressOf(event->keyval, event->state, event->is_modifier);
  // A web view with the focus takes its keys itself (a visible page the user types in);
  // the menus' shortcuts still come first.
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(widget));
  if (focus && focus != widget && gtk_widget_is_focus(focus) &&
      g_type_is_a(G_OBJECT_TYPE(focus), g_type_from_name("WebKitWebView"))) {
    std::shared_ptr<MenuBar> bar = self->window_.MenuBar();
    return bar && events::MenuShortcut(*bar, press);
  }
  return events::KeyPressed(self->window_, press);
}

gboolean GtkWindowPeer::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<GtkWindowPeer*>(data);
  // The core decides when the window goes; it then destroys this peer, and the widget
  // with it. GTK must not destroy it on its own.
  std::shared_ptr<Window> keep = self->window_.shared_from_this();
  events::CloseRequested(self->window_);
  return TRUE;
}

gboolean GtkWindowPeer::OnConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer data) {
  auto* self = static_cast<GtkWindowPeer*>(data);
  if (!gtk_widget_get_visible(widget)) return FALSE;
  gint left = 0, top = 0;
  gtk_window_get_position(GTK_WINDOW(widget), &left, &top);
  // X11 holds a position in 16 bits, so a place set beyond +-32,767 comes back wrapped.
  // That is the place the program set, not a move: the program keeps its own value.
  const auto kept = [](gint reported, Int32 set) -> Int32 {
    return static_cast<std::int16_t>(reported) == static_cast<std::int16_t>(set) ? set : reported;
  };
  const Int32 newTop = kept(top, self->window_.Top()), newLeft = kept(left, self->window_.Left());
  if (newTop != self->window_.Top() || newLeft != self->window_.Left())
    events::WindowMoved(self->window_, newTop, newLeft);
  return FALSE;
}

gboolean GtkWindowPeer::OnFocusIn(GtkWidget*, GdkEventFocus*, gpointer data) {
  auto* self = static_cast<GtkWindowPeer*>(data);
  events::WindowActivated(self->window_);
  return FALSE;
}

}  // namespace platform::gtkbackend
