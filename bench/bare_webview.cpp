// The least a program of this kind needs: a 340x46 window with a needle that the arrow keys
// move, and a hidden web view that may play a page, nothing else. The desktop measurements
// compare the program's start-up, its answer to keys and its memory with this one's, so
// the view is made with the program's own web view settings.
//
//   bare_webview [URL]   shows the window "bare"; loads URL into the hidden view if given

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

int needle = 105;  // the x of the needle, as the program's tuner starts

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer) {
  cairo_set_source_rgb(cr, 1.0, 0x7F / 255.0, 0.0);
  cairo_rectangle(cr, needle - 1, 19, 3, 7);
  cairo_fill(cr);
  return FALSE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer area) {
  if (event->keyval == GDK_KEY_Right) ++needle;
  else if (event->keyval == GDK_KEY_Left) --needle;
  else return FALSE;
  gtk_widget_queue_draw(GTK_WIDGET(area));
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  // The same engine settings as the program's backend sets before WebKit starts.
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", FALSE);
  g_setenv("JSC_useJIT", "0", FALSE);
  gtk_init(&argc, &argv);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "bare");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, 340, 46);
  gtk_container_add(GTK_CONTAINER(window), area);
  g_signal_connect(area, "draw", G_CALLBACK(OnDraw), nullptr);
  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKey), area);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);

  // The view lives in a window that is never shown; it loads and plays all the same.
  // Autoplay with sound needs the policy set when the view is made. Context and settings
  // as the program's view: ephemeral, sandboxed, small caches, no compositing.
  GtkWidget* holder = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                            "website-policies", policies, nullptr));
  g_object_unref(policies);
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  gtk_container_add(GTK_CONTAINER(holder), view);
  gtk_widget_realize(holder);
  if (argc > 1) webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);

  gtk_main();
  gtk_widget_destroy(holder);
  g_object_unref(context);
  return 0;
}
