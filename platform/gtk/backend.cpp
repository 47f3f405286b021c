// The GTK backend: GTK 3 windows and menus, WebKitGTK web views, GStreamer sounds,
// GdkPixbuf pictures. The core runs the GLib default main loop; GTK's events, GStreamer's
// bus watches and WebKit's replies all arrive through it.

#include <gio/gio.h>
#include <gst/gst.h>

#include <cstdio>

#include "platform/exceptions.h"
#include "platform/gtk/picture.h"
#include "platform/gtk/sound.h"
#include "platform/gtk/webview.h"
#include "platform/gtk/window_peer.h"

namespace platform::gtkbackend {

namespace {

// The name this program owns on the session bus while it runs, which makes it run once per
// user: a second start finds the name taken and hands over to its owner.
constexpr const char* kApplicationId = "org.palmeno.Palmeno";
// The icon installed with the desktop entry; window managers show it for every window.
constexpr const char* kIconName = "palmeno";

// Whether the user's session has a bus of its own. GLib would otherwise start one for the
// X display on demand (dbus-launch), which outlives the program and which programs on other
// displays do not share, so it would not make the program run once anyway.
bool SessionBusExists() {
  const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = g_getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  GMallocPtr<gchar> socket(g_build_filename(runtime, "bus", nullptr));
  return g_file_test(socket.get(), G_FILE_TEST_EXISTS);
}

// A later start asked this instance to come forward: every visible window is presented
// (raised, given the focus and, when minimised, shown again).
void OnActivate(GApplication*, gpointer) {
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* l = toplevels; l; l = l->next) {
    GtkWindow* window = GTK_WINDOW(l->data);
    if (gtk_window_get_window_type(window) == GTK_WINDOW_TOPLEVEL &&
        gtk_widget_get_visible(GTK_WIDGET(window)))
      gtk_window_present(window);
  }
  g_list_free(toplevels);
}

// Settings of the web engine that cost a playing station nothing but memory: without the
// DMA-BUF renderer the UI process does not load the software GL driver (about 4 MB), and
// JavaScriptCore without its JIT compilers keeps no executable code pages and compiler
// threads (about 3 MB; the player page's scripts are small). Both are read from the
// environment when WebKit starts, and the web engine's processes inherit it, so they are
// set before any WebKit object exists. A value the user has set is left as it is.
void UseLighterWebEngine() {
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", FALSE);
  g_setenv("JSC_useJIT", "0", FALSE);
}

class GtkBackend : public Backend {
 public:
  bool PresentRunningInstance() override {
    if (!SessionBusExists()) return false;
    // A plain GApplication, not GtkApplication: it only owns the name and answers a later
    // start; windows, menus and the quit stay the runtime's. It is never run, since the
    // runtime's loop serves its bus messages on the same main context.
    application_ = GObjectPtr<GApplication>::Adopt(
        g_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS));
    activate_ = SignalConnection(application_.get(), "activate", &OnActivate, nullptr);
    GErrorPtr error;
    // Without a reachable bus GLib registers the application as a local one, unique to
    // nothing: the program runs as it would without a session bus.
    if (!g_application_register(application_.get(), nullptr, Out(error))) {
      std::fprintf(
          stderr,
          "palmeno: cannot register on the session bus (%s); not checking for another Palmeno\n",
          error ? error->message : "unknown error");
      activate_.Disconnect();
      application_.reset();
      return false;
    }
    if (!g_application_get_is_remote(application_.get())) return false;
    g_application_activate(application_.get());
    // The request is only queued on the connection; it must leave before the process does.
    if (GDBusConnection* bus = g_application_get_dbus_connection(application_.get()))
      g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    return true;
  }

  void Init() override {
    UseLighterWebEngine();
    if (!gtk_init_check(nullptr, nullptr)) {
      const char* display = g_getenv("DISPLAY");
      throw RuntimeException(
          display && *display
              ? String("cannot open the display \"") + display +
                    "\" named by DISPLAY: is the X server running, and may this user use it?"
              : String("cannot open the display: DISPLAY is not set; run Palmeno in a graphical "
                       "session, or set DISPLAY to the X server to use"));
    }
    gtk_window_set_default_icon_name(kIconName);
    GErrorPtr error;
    if (!gst_init_check(nullptr, nullptr, Out(error))) {
      std::fprintf(stderr, "palmeno: GStreamer could not start (%s); no sounds\n",
                   error ? error->message : "unknown error");
    }
  }

  std::unique_ptr<WindowPeer> CreateWindowPeer(Window& window) override {
    return std::make_unique<GtkWindowPeer>(window);
  }

  std::unique_ptr<ControlPeer> CreateControlPeer(Control& control, WindowPeer& window) override {
    // Every window peer is made by this backend.
    auto& peer = static_cast<GtkWindowPeer&>(window);
    if (auto* viewer = dynamic_cast<HTMLViewer*>(&control)) return MakeWebViewPeer(*viewer, peer);
    if (dynamic_cast<Canvas*>(&control) || dynamic_cast<Line*>(&control))
      return std::make_unique<DrawnControlPeer>(peer);
    return nullptr;
  }

  std::shared_ptr<Picture> OpenPicture(const std::filesystem::path& path) override {
    return LoadPicture(path);
  }

  std::shared_ptr<Sound> OpenSound(const std::filesystem::path& path) override {
    std::unique_ptr<SoundPeer> peer = OpenSoundPeer(path);
    if (!peer) return nullptr;
    return std::make_shared<Sound>(path.filename().string(), std::move(peer));
  }

  // Asks the X connection and GDK's own queue only; the GLib context must not be queried
  // from inside one of its dispatches, where a running thread asks this.
  bool EventsWaiting() override { return gdk_events_pending(); }

  void Shutdown() override {
    // The windows are gone; let GTK and WebKit finish what their destruction queued
    // (unrealising, closing the web processes' connections), without waiting for more.
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i)
      g_main_context_iteration(nullptr, FALSE);
    // The name on the session bus goes last: until the windows are gone, a new start is
    // still handed to this instance rather than running beside it.
    activate_.Disconnect();
    application_.reset();
  }

 private:
  GObjectPtr<GApplication> application_;
  SignalConnection activate_;
};

}  // namespace
}  // namespace platform::gtkbackend

namespace platform {

std::unique_ptr<Backend> CreateBackend() {
  return std::make_unique<gtkbackend::GtkBackend>();
}

}  // namespace platform
