// The least a program of this kind needs: a 340x46 window and a hidden web view that may
// play a page, nothing else. The desktop measurements compare the program's start-up time
// and memory with this one's.
//
//   bare_webview [URL]   shows the window "bare"; loads URL into the hidden view if given

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "bare");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, 340, 46);
  gtk_container_add(GTK_CONTAINER(window), area);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);

  // The view lives in a window that is never shown; it loads and plays all the same.
  // Autoplay with sound needs the policy set when the view is made.
  GtkWidget* holder = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "website-policies", policies, nullptr));
  g_object_unref(policies);
  gtk_container_add(GTK_CONTAINER(holder), view);
  gtk_widget_realize(holder);
  if (argc > 1) webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);

  gtk_main();
  gtk_widget_destroy(holder);
  return 0;
}
