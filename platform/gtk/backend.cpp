// The GTK backend: GTK 3 windows and menus, WebKitGTK web views, GStreamer sounds,
// GdkPixbuf pictures. The core runs the GLib default main loop; GTK's events, GStreamer's
// bus watches and WebKit's replies all arrive through it.

#include <gst/gst.h>

#include <cstdio>

#include "platform/exceptions.h"
#include "platform/gtk/peers.h"

namespace platform::gtkbackend {

namespace {

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
  void Init() override {
    UseLighterWebEngine();
    if (!gtk_init_check(nullptr, nullptr)) {
      const char* display = g_getenv("DISPLAY");
      throw RuntimeException(String("cannot open the display") +
                             (display ? String(" \"") + display + "\"" : String(" (DISPLAY is not set)")) +
                             ": the window system is needed to run");
    }
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
      std::fprintf(stderr, "palmeno: GStreamer could not start (%s); no sounds\n",
                   error ? error->message : "unknown error");
    }
    if (error) g_error_free(error);
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
  }
};

}  // namespace
}  // namespace platform::gtkbackend

namespace platform {

std::unique_ptr<Backend> CreateBackend() {
  return std::make_unique<gtkbackend::GtkBackend>();
}

}  // namespace platform
