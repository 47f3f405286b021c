// The embedded web view. Pages load and play whether or not the view or its window is
// shown; a new LoadURL replaces the page, and the old page's sound ends with it.

#include <webkit2/webkit2.h>

#include <cstring>

#include "platform/gtk/peers.h"

namespace platform::gtkbackend {

namespace {

bool IsFileUri(const char* uri) {
  if (!uri) return false;
  GMallocPtr<char> scheme(g_uri_parse_scheme(uri));
  return scheme && g_ascii_strcasecmp(scheme.get(), "file") == 0;
}

// "host:port" of an address, "" when it has no host (about:blank, data:, a bad address).
String HostOf(const char* uri) {
  if (!uri) return String();
  GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return String();
  const char* host = g_uri_get_host(parsed);
  String result = host ? String(host) + ":" + std::to_string(g_uri_get_port(parsed)) : String();
  g_uri_unref(parsed);
  return result;
}

// The one web context of the run, made before its first web process starts. It is
// ephemeral: no cookies, local storage, disk cache or history are written anywhere, since
// the view only plays streams. Its web processes run in WebKit's sandbox (where the kernel
// does not allow it, WebKit's own environment switch turns it off, for tests only), and its
// memory caches stay small. It lives as long as the process.
WebKitWebContext* PlayerWebContext() {
  static WebKitWebContext* const context = [] {
    WebKitWebContext* c = webkit_web_context_new_ephemeral();
    webkit_web_context_set_sandbox_enabled(c, TRUE);
    webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
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
    view_ = GObjectPtr<GtkWidget>::RefSink(GTK_WIDGET(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", PlayerWebContext(), "website-policies",
                     policies.get(), nullptr)));
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view_.get()));
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    // Nothing the view shows is ever seen, so it composites nothing: no GL context, and
    // none of the memory a GL driver brings into the web process.
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

    signals_.emplace_back(view_.get(), "create", &OnCreate, this);
    signals_.emplace_back(view_.get(), "decide-policy", &OnDecidePolicy, this);
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

  void LoadURL(const String& url) override {
    if (destroyed_) return;
    // The page may navigate within the host the program sent it to, and nowhere else.
    allowedHost_ = HostOf(url.c_str());
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view_.get()), url.c_str());
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
  // Pages may not open windows of their own.
  static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) {
    return nullptr;
  }

  // Pages may not open windows, reach the local file system, or take the view to another
  // host than the one the program loaded. (A page's own media may come from anywhere.)
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer data) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
      return FALSE;
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = webkit_uri_request_get_uri(request);
    const String host = HostOf(uri);
    const bool otherHost = !host.empty() && host != static_cast<WebKitViewPeer*>(data)->allowedHost_;
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION || IsFileUri(uri) || otherHost) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    return FALSE;
  }

  static void OnDestroy(GtkWidget*, gpointer data) {
    static_cast<WebKitViewPeer*>(data)->destroyed_ = true;
  }

  HTMLViewer& viewer_;
  GObjectPtr<GtkWidget> view_;
  bool destroyed_ = false;
  String allowedHost_;
  std::vector<SignalConnection> signals_;
};

}  // namespace

std::unique_ptr<WebViewPeer> MakeWebViewPeer(HTMLViewer& viewer, GtkWindowPeer& window) {
  return std::make_unique<WebKitViewPeer>(viewer, window);
}

}  // namespace platform::gtkbackend
