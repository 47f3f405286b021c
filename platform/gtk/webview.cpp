// The embedded web view. Pages load and play whether or not the view or its window is
// shown; every LoadURL loads a new document, which replaces the page and ends its sound.
//
// The page is whatever the network path serves, so the view gives it nothing beyond
// playing: it may navigate, redirect and frame over http and https wherever it likes, but
// it cannot write a file, open a window or dialog, reach a local scheme, or grow the web
// process without bound.

#include <webkit2/webkit2.h>

#include <memory>
#include <optional>

#include "platform/gtk/webview.h"
#include "platform/text.h"

namespace platform::gtkbackend {

namespace {

struct GUriDeleter {
  void operator()(GUri* uri) const { g_uri_unref(uri); }
};
using GUriPtr = std::unique_ptr<GUri, GUriDeleter>;

struct MemoryPressureSettingsDeleter {
  void operator()(WebKitMemoryPressureSettings* s) const {
    webkit_memory_pressure_settings_free(s);
  }
};
using MemoryPressureSettingsPtr =
    std::unique_ptr<WebKitMemoryPressureSettings, MemoryPressureSettingsDeleter>;

// The blank page a load passes through when it must not become a same-document navigation.
constexpr const char* kBlankPage = "about:blank";

// Limits of each web and network process. A player page plays in about 115 MB (web) and
// 30 MB (network); at half the limit the engine starts to drop caches, at three quarters it
// collects harder, and past the limit itself the process is killed, which the next load
// recovers from. Checked every second, so a runaway page is stopped near 1 GB instead of
// after the next 30 s default poll, by which time it can hold several GB.
constexpr guint kProcessMemoryLimitMB = 1024;
constexpr double kConservativeThreshold = 0.5;
constexpr double kStrictThreshold = 0.75;
constexpr double kKillThreshold = 1.0;
constexpr double kMemoryPollSeconds = 1.0;

String SchemeOf(const char* uri) {
  if (!uri) return String();
  GMallocPtr<char> scheme(g_uri_parse_scheme(uri));
  return scheme ? String(scheme.get()) : String();
}

bool IsWebScheme(const String& scheme) {
  return scheme == "http" || scheme == "https";
}

// Whether loading `target` over the page at `shown` may only move the shown page to
// another fragment: WebKit does that when the two differ only after "#" and the target
// has one. An address GLib cannot parse counts as "may", which costs one blank page.
bool MayStayInDocument(const String& target, const char* shown) {
  if (!shown || target.find('#') == String::npos) return false;
  GUriPtr a(g_uri_parse(target.c_str(), G_URI_FLAGS_ENCODED, nullptr));
  GUriPtr b(g_uri_parse(shown, G_URI_FLAGS_ENCODED, nullptr));
  if (!a || !b) return true;
  const auto port = [](GUri* u) {
    const gint p = g_uri_get_port(u);
    if (p != -1) return p;
    return g_ascii_strcasecmp(g_uri_get_scheme(u), "https") == 0 ? 443 : 80;
  };
  const auto same = [](const char* x, const char* y) {
    return g_strcmp0(x ? x : "", y ? y : "") == 0;
  };
  const auto sameCaseless = [](const char* x, const char* y) {
    return g_ascii_strcasecmp(x ? x : "", y ? y : "") == 0;
  };
  const auto path = [](GUri* u) {
    const char* p = g_uri_get_path(u);
    return (p && *p) ? p : "/";
  };
  return sameCaseless(g_uri_get_scheme(a.get()), g_uri_get_scheme(b.get())) &&
         sameCaseless(g_uri_get_host(a.get()), g_uri_get_host(b.get())) &&
         port(a.get()) == port(b.get()) &&
         same(g_uri_get_userinfo(a.get()), g_uri_get_userinfo(b.get())) &&
         same(path(a.get()), path(b.get())) &&
         same(g_uri_get_query(a.get()), g_uri_get_query(b.get()));
}

// A page may not save anything: a download that starts anyway (an <a download> link is
// one) is cancelled here, before it has chosen a file, let alone created one.
gboolean OnDecideDestination(WebKitDownload* download, gchar*, gpointer) {
  webkit_download_cancel(download);
  return TRUE;
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
  g_signal_connect(download, "decide-destination", G_CALLBACK(&OnDecideDestination), nullptr);
  webkit_download_cancel(download);
}

// The one web context of the run, made before its first web process starts. It is
// ephemeral: no cookies, local storage, disk cache or history are written anywhere, since
// the view only plays streams. Its web processes run in WebKit's sandbox (where the kernel
// does not allow it, WebKit's own environment switch turns it off, for tests only), and its
// memory caches stay small. It lives as long as the process.
WebKitWebContext* PlayerWebContext() {
  static WebKitWebContext* const context = [] {
    MemoryPressureSettingsPtr limits(webkit_memory_pressure_settings_new());
    webkit_memory_pressure_settings_set_memory_limit(limits.get(), kProcessMemoryLimitMB);
    // The engine checks each threshold against the others: strict first, kill last.
    webkit_memory_pressure_settings_set_strict_threshold(limits.get(), kStrictThreshold);
    webkit_memory_pressure_settings_set_conservative_threshold(limits.get(),
                                                               kConservativeThreshold);
    webkit_memory_pressure_settings_set_kill_threshold(limits.get(), kKillThreshold);
    webkit_memory_pressure_settings_set_poll_interval(limits.get(), kMemoryPollSeconds);
    // The network process takes its limits from here when it starts.
    webkit_website_data_manager_set_memory_pressure_settings(limits.get());
    auto data =
        GObjectPtr<WebKitWebsiteDataManager>::Adopt(webkit_website_data_manager_new_ephemeral());
    auto* c =
        WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data.get(),
                                        "memory-pressure-settings", limits.get(), nullptr));
    webkit_web_context_set_sandbox_enabled(c, TRUE);
    webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    g_signal_connect(c, "download-started", G_CALLBACK(&OnDownloadStarted), nullptr);
    return c;
  }();
  return context;
}

class WebKitViewPeer : public WebViewPeer {
 public:
  WebKitViewPeer(HTMLViewer& viewer, GtkWindowPeer& window) : viewer_(viewer) {
    // Without this policy the engine lets only silent media start by itself, and a
    // player page's play() fails with NotAllowedError.
    auto policies = GObjectPtr<WebKitWebsitePolicies>::Adopt(
        webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr));
    view_ = GObjectPtr<GtkWidget>::RefSink(
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", PlayerWebContext(),
                                "website-policies", policies.get(), nullptr)));
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view_.get()));
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    // Nothing the view shows is ever seen, so it composites nothing: no GL context, and
    // none of the memory a GL driver brings into the web process.
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

    signals_.emplace_back(view_.get(), "create", &OnCreate, this);
    signals_.emplace_back(view_.get(), "decide-policy", &OnDecidePolicy, this);
    signals_.emplace_back(view_.get(), "print", &OnPrint, this);
    signals_.emplace_back(view_.get(), "run-file-chooser", &OnRunFileChooser, this);
    signals_.emplace_back(view_.get(), "script-dialog", &OnScriptDialog, this);
    signals_.emplace_back(view_.get(), "load-changed", &OnLoadChanged, this);
    signals_.emplace_back(view_.get(), "load-failed", &OnLoadFailed, this);
    signals_.emplace_back(view_.get(), "web-process-terminated", &OnWebProcessTerminated, this);
    signals_.emplace_back(view_.get(), "destroy", &OnDestroy, this);
    gtk_fixed_put(window.Content(), view_.get(), viewer.Left(), viewer.Top());
    Changed();
  }

  ~WebKitViewPeer() override {
    signals_.clear();
    // Destroying the view ends its page and its sound. When the window went first it
    // took the view with it.
    if (!destroyed_) gtk_widget_destroy(view_.get());
  }

  // The program appends station codes to the player page's address as they are; bytes an
  // address cannot carry are escaped here, or WebKit refuses the address (or a NUL cuts
  // it short) and nothing loads.
  //
  // WebKit turns a load into a same-document navigation when the address differs from the
  // page still shown only after "#", and it compares with the shown page even while an
  // earlier load has not yet committed: the old page and its stream would stay. So while a
  // load is pending, or when the target is the shown page but for its fragment, the view
  // first loads a blank page and loads the target once that has committed (a few
  // milliseconds, no network). Otherwise the target loads at once, as before.
  void LoadURL(const String& url) override {
    if (destroyed_) return;
    String target = PercentEncodeURLBytes(url);
    WebKitWebView* view = WEBKIT_WEB_VIEW(view_.get());
    if (afterBlank_) {
      *afterBlank_ = std::move(target);
      return;
    }
    if (webkit_web_view_is_loading(view) ||
        MayStayInDocument(target, webkit_web_view_get_uri(view))) {
      afterBlank_ = std::move(target);
      webkit_web_view_load_uri(view, kBlankPage);
      return;
    }
    webkit_web_view_load_uri(view, target.c_str());
  }

  void Changed() override {
    if (destroyed_) return;
    GtkWidget* w = view_.get();
    if (GtkWidget* parent = gtk_widget_get_parent(w); parent && GTK_IS_FIXED(parent))
      gtk_fixed_move(GTK_FIXED(parent), w, viewer_.Left(), viewer_.Top());
    gtk_widget_set_size_request(w, std::max<Int32>(viewer_.Width(), 1),
                                std::max<Int32>(viewer_.Height(), 1));
    gtk_widget_set_visible(w, viewer_.Visible());
  }

 private:
  // Loads the address that waited for the blank page.
  void LoadAfterBlank() {
    if (!afterBlank_ || destroyed_) return;
    const String target = std::move(*afterBlank_);
    afterBlank_.reset();
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view_.get()), target.c_str());
  }

  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebKitViewPeer*>(data);
    // Only the blank page's own load commits it; a load it replaced ends without a commit.
    if (event == WEBKIT_LOAD_COMMITTED && self->afterBlank_ &&
        g_strcmp0(webkit_web_view_get_uri(view), kBlankPage) == 0)
      self->LoadAfterBlank();
  }

  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*,
                               gpointer data) {
    auto* self = static_cast<WebKitViewPeer*>(data);
    if (self->afterBlank_ && g_strcmp0(uri, kBlankPage) == 0) self->LoadAfterBlank();
    return FALSE;
  }

  // The next load starts a new web process; one that waited for the blank page goes now.
  static void OnWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                     gpointer data) {
    static_cast<WebKitViewPeer*>(data)->LoadAfterBlank();
  }

  // Pages may not open windows of their own.
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

  // Left to GTK, printing shows a dialog over the tuner (even from a hidden view) that
  // takes every key until it is closed; a page may print in a loop.
  static gboolean OnPrint(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }

  static gboolean OnRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer) {
    webkit_file_chooser_request_cancel(request);
    return TRUE;
  }

  // Script dialogs are answered without being shown: alert is dismissed, confirm and
  // prompt are declined, and a page that asks whether it may be left is left, so that it
  // cannot hold the next load back.
  static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
    if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
    return TRUE;
  }

  // Navigations, redirects and frames go wherever the page sends them over http and https.
  // Refused: new windows; local and other schemes (file:, and blob:, data: or about: as the
  // page itself, which would let it replace itself without the service); anything that
  // would be saved rather than shown. Frames may also hold the page's own about:, data: and
  // blob: documents, which reach no file.
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<WebKitViewPeer*>(data);
    switch (type) {
      case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
        webkit_policy_decision_ignore(decision);
        return TRUE;
      case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        const String scheme = SchemeOf(uri);
        const bool ownBlank = self->afterBlank_ && g_strcmp0(uri, kBlankPage) == 0;
        // The main frame is told apart only at its response (below), which about: pages
        // do not have: a page's own about:blank is refused here, in a frame too, where the
        // frame simply keeps the blank document it starts with.
        if (IsWebScheme(scheme) || ownBlank || g_strcmp0(uri, "about:srcdoc") == 0 ||
            scheme == "data" || scheme == "blob")
          return FALSE;
        webkit_policy_decision_ignore(decision);
        return TRUE;
      }
      case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
        auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        const char* uri =
            webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
        const bool ownBlank = self->afterBlank_ && g_strcmp0(uri, kBlankPage) == 0;
        const bool refusedPage =
            webkit_response_policy_decision_is_main_frame_main_resource(response) &&
            !IsWebScheme(SchemeOf(uri)) && !ownBlank;
        if (refusedPage || IsAttachment(webkit_response_policy_decision_get_response(response)) ||
            !webkit_response_policy_decision_is_mime_type_supported(response)) {
          webkit_policy_decision_ignore(decision);
          return TRUE;
        }
        return FALSE;
      }
      default:
        return FALSE;
    }
  }

  // WebKit downloads a response marked as an attachment instead of showing it.
  static bool IsAttachment(WebKitURIResponse* response) {
    SoupMessageHeaders* headers =
        response ? webkit_uri_response_get_http_headers(response) : nullptr;
    if (!headers) return false;
    const char* disposition = soup_message_headers_get_one(headers, "Content-Disposition");
    if (!disposition) return false;
    while (g_ascii_isspace(*disposition)) ++disposition;
    return g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
  }

  static void OnDestroy(GtkWidget*, gpointer data) {
    static_cast<WebKitViewPeer*>(data)->destroyed_ = true;
  }

  HTMLViewer& viewer_;
  GObjectPtr<GtkWidget> view_;
  bool destroyed_ = false;
  // The address to load once the blank page has committed; none when no blank page is on
  // its way.
  std::optional<String> afterBlank_;
  std::vector<SignalConnection> signals_;
};

}  // namespace

std::unique_ptr<WebViewPeer> MakeWebViewPeer(HTMLViewer& viewer, GtkWindowPeer& window) {
  return std::make_unique<WebKitViewPeer>(viewer, window);
}

}  // namespace platform::gtkbackend
