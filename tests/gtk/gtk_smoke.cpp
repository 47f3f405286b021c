// A small program on the GTK backend for smoke.py: a 340x46 window with a backdrop, a
// canvas, a line and a menu bar, a looping sound, and a hidden window with a web view.
// It prints one line per event it receives and takes commands on standard input:
//   loop | play | stop        the sound given by --wav
//   state                     prints "sound idle", "sound playing" or "sound looping"
//   load URL                  loads URL into the hidden web view
//   regions N C               fills the region menu with N entries "R0".. (names too),
//                             entry C checked (none when C < 0)
//   menus                     prints each menu shown: "popup XID WIDTH HEIGHT NATURAL-WIDTH
//                             NATURAL-HEIGHT", then "item ROLE LABEL" for each of its items
//   quit                      ends the event loop
// Printed: "open", "key CODE" (the byte of a one-byte key text, else the text),
// "wheel DX DY", "mousedown X Y", "enable", "menu NAME", "closed", and "drawn T N" when
// a menu of N items is first drawn after it maps, at T microseconds of the monotonic clock;
// with SMOKE_TRACE_KEYS set, "pressed T" when a key press arrives.

#include <gdk/gdkx.h>
#include <glib.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/files.h"
#include "platform/media.h"
#include "platform/menu.h"
#include "platform/window.h"

using namespace platform;

namespace {

struct Options {
  std::string wav, backdrop, canvasPicture;
  Int32 top = 100, left = 120;
} options;

std::shared_ptr<Sound> sound;
std::shared_ptr<MenuBar> menuBar;

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

class NamedItem : public MenuItem {
 public:
  bool Event_Action() override {
    Say("menu " + Name());
    return true;
  }
};

std::shared_ptr<MenuItem> Item(const char* name, const char* text, const char* shortcut) {
  auto item = std::make_shared<NamedItem>();
  item->SetName(name);
  item->SetText(text);
  item->SetKeyboardShortcut(shortcut);
  return item;
}

std::shared_ptr<Picture> PictureFrom(const std::string& path) {
  return path.empty() ? nullptr : FolderItem(path).OpenAsPicture();
}

class PlayerWindow : public platform::Window {
 public:
  std::shared_ptr<HTMLViewer> viewer = std::make_shared<HTMLViewer>();
  void Layout() override {
    SetProperties(*this, {{"Title", String("Smoke player")}, {"Width", std::int64_t{200}},
                          {"Height", std::int64_t{100}}, {"Visible", false}});
  }
  void CreateControls() override {
    SetProperties(*viewer, {{"Left", std::int64_t{0}}, {"Top", std::int64_t{0}},
                            {"Width", std::int64_t{200}}, {"Height", std::int64_t{100}}});
    AddControl("HTMLViewer1", viewer);
  }
};

class SmokeWindow : public platform::Window {
 public:
  std::shared_ptr<Line> needle = std::make_shared<Line>();
  std::shared_ptr<Canvas> canvas = std::make_shared<Canvas>();

  void Layout() override {
    SetProperties(*this, {{"Title", String("Palmeno smoke")}, {"Width", std::int64_t{340}},
                          {"Height", std::int64_t{46}}, {"Resizeable", false},
                          {"MaximizeButton", false}});
    SetTop(options.top);
    SetLeft(options.left);
    SetBackdrop(PictureFrom(options.backdrop));
    SetMenuBar(menuBar);
  }
  void CreateControls() override {
    SetProperties(*needle, {{"X1", std::int64_t{110}}, {"Y1", std::int64_t{4}},
                            {"X2", std::int64_t{110}}, {"Y2", std::int64_t{40}},
                            {"BorderWidth", std::int64_t{1}}, {"LineColor", RGB(0xFF8000)}});
    AddControl("tuneBar", needle);
    SetProperties(*canvas, {{"Left", std::int64_t{250}}, {"Top", std::int64_t{20}},
                            {"Width", std::int64_t{30}}, {"Height", std::int64_t{20}}});
    canvas->SetBackdrop(PictureFrom(options.canvasPicture));
    canvas->OnMouseDown = [](Canvas&, Int32 x, Int32 y) {
      Say("mousedown " + std::to_string(x) + " " + std::to_string(y));
      return false;
    };
    canvas->OnEnableMenuItems = [](Canvas&) { Say("enable"); };
    AddControl("mainPower", canvas);
  }
  void Event_Open() override { Say("open"); }
  void Event_Close() override {
    Say("closed");
    Quit(0);
  }
  bool Event_KeyDown(const String& key) override {
    Say("key " + (key.size() == 1 ? std::to_string(static_cast<unsigned char>(key[0])) : key));
    // The arrows move the needle, so that a redraw after a change can be seen.
    if (key == "\x1d" || key == "\x1c") {
      Int32 x = needle->X1() + (key == "\x1d" ? 1 : -1);
      needle->SetX1(x);
      needle->SetX2(x);
    }
    return false;
  }
  bool Event_MouseWheel(Int32, Int32, Int32 dx, Int32 dy) override {
    Say("wheel " + std::to_string(dx) + " " + std::to_string(dy));
    return false;
  }
};

std::shared_ptr<PlayerWindow> player;
std::shared_ptr<MenuItem> regions;

void FillRegions(int count, int checked) {
  for (Int32 i = regions->Count() - 1; i >= 0; --i) regions->Remove(i);
  for (int i = 0; i < count; ++i) {
    auto entry = Item(("R" + std::to_string(i)).c_str(), ("R" + std::to_string(i)).c_str(), "");
    regions->Append(entry);
    if (i == checked) entry->SetChecked(true);
  }
}

// The menus GTK shows now, read from its widgets: what a user and a screen reader meet.
void PrintMenus() {
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* l = toplevels; l; l = l->next) {
    GtkWidget* top = GTK_WIDGET(l->data);
    GtkWidget* menu = gtk_bin_get_child(GTK_BIN(top));
    if (!menu || !GTK_IS_MENU(menu) || !gtk_widget_get_mapped(top)) continue;
    GtkRequisition natural;
    gtk_widget_get_preferred_size(top, nullptr, &natural);
    GdkWindow* window = gtk_widget_get_window(top);
    Say("popup " + std::to_string(GDK_WINDOW_XID(window)) + " " +
        std::to_string(gdk_window_get_width(window)) + " " + std::to_string(gdk_window_get_height(window)) +
        " " + std::to_string(natural.width) + " " + std::to_string(natural.height));
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* i = items; i; i = i->next) {
      GtkWidget* item = GTK_WIDGET(i->data);
      AtkRole role = atk_object_get_role(gtk_widget_get_accessible(item));
      const char* label = GTK_IS_MENU_ITEM(item) ? gtk_menu_item_get_label(GTK_MENU_ITEM(item)) : nullptr;
      std::string name = atk_role_get_name(role);
      for (char& c : name)
        if (c == ' ') c = '_';
      Say("item " + name + " " + (label ? label : ""));
    }
    g_list_free(items);
  }
  g_list_free(toplevels);
}

// Notes when a menu is drawn for the first time after it maps.
gboolean OnMenuDrawn(GtkWidget* widget, cairo_t*, gpointer) {
  if (g_object_get_data(G_OBJECT(widget), "smoke-drawn")) return FALSE;
  g_object_set_data(G_OBJECT(widget), "smoke-drawn", widget);
  GList* items = gtk_container_get_children(GTK_CONTAINER(widget));
  Say("drawn " + std::to_string(g_get_monotonic_time()) + " " + std::to_string(g_list_length(items)));
  g_list_free(items);
  return FALSE;
}

// Notes the arrival of each key press, once, however many widgets it passes through.
gboolean OnKeyPressed(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
  static guint32 last = 0;
  auto* event = static_cast<GdkEventKey*>(g_value_get_boxed(&values[1]));
  if (event && event->time != last) {
    last = event->time;
    Say("pressed " + std::to_string(g_get_monotonic_time()));
  }
  return TRUE;
}

// Every menu that maps is watched for its first drawing.
gboolean OnMap(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
  auto* widget = GTK_WIDGET(g_value_get_object(&values[0]));
  if (!GTK_IS_MENU(widget)) return TRUE;
  g_object_set_data(G_OBJECT(widget), "smoke-drawn", nullptr);
  if (!g_object_get_data(G_OBJECT(widget), "smoke-watched")) {
    g_object_set_data(G_OBJECT(widget), "smoke-watched", widget);
    g_signal_connect_after(widget, "draw", G_CALLBACK(&OnMenuDrawn), nullptr);
  }
  return TRUE;
}

void Command(const std::string& line) {
  if (line == "quit") {
    Quit(0);
  } else if (line == "loop" || line == "play" || line == "stop") {
    if (!sound) return Say("error no sound");
    if (line == "loop") sound->PlayLooping();
    if (line == "play") sound->Play();
    if (line == "stop") sound->Stop();
  } else if (line == "state") {
    if (!sound) return Say("error no sound");
    Say(sound->IsLooping() ? "sound looping" : sound->IsPlaying() ? "sound playing" : "sound idle");
  } else if (line.rfind("regions ", 0) == 0) {
    int count = 0, checked = -1;
    std::sscanf(line.c_str() + 8, "%d %d", &count, &checked);
    FillRegions(count, checked);
  } else if (line == "menus") {
    PrintMenus();
    Say("end");
  } else if (line.rfind("load ", 0) == 0) {
    player->viewer->LoadURL(line.substr(5));
  } else if (!line.empty()) {
    Say("error unknown command " + line);
  }
}

gboolean OnStdin(GIOChannel* channel, GIOCondition condition, gpointer) {
  gchar* text = nullptr;
  gsize length = 0;
  GIOStatus status = G_IO_STATUS_AGAIN;
  if (condition & G_IO_IN) status = g_io_channel_read_line(channel, &text, &length, nullptr, nullptr);
  if (text) {
    std::string line(text, length);
    g_free(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    Command(line);
  }
  if (status == G_IO_STATUS_EOF || (condition & (G_IO_HUP | G_IO_ERR) && !(condition & G_IO_IN))) {
    Quit(0);
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i], value = argv[i + 1];
    if (flag == "--wav") options.wav = value;
    else if (flag == "--backdrop") options.backdrop = value;
    else if (flag == "--canvas") options.canvasPicture = value;
    else if (flag == "--top") options.top = std::stoi(value);
    else if (flag == "--left") options.left = std::stoi(value);
  }
  try {
    RuntimeInit();
    menuBar = std::make_shared<MenuBar>();
    auto file = Item("FileMenu", "File", "");
    menuBar->Append(file);
    file->Append(Item("FileBeep", "Beep", "Cmd+K"));
    file->Append(Item("Divider", "-", ""));
    auto quit = std::make_shared<QuitMenuItem>();
    quit->SetName("FileQuit");
    quit->SetText("終了");
    quit->SetKeyboardShortcut("Cmd+Q");
    file->Append(quit);
    auto edit = Item("EditMenu", "編集", "");
    menuBar->Append(edit);
    edit->Append(Item("EditUndo", "元に戻す", "Cmd+Z"));
    edit->Append(Item("UntitledMenu1", "-", ""));
    edit->Append(Item("EditCopy", "コピー", "Cmd+C"));
    regions = Item("placeMenu", "地域", "");
    menuBar->Append(regions);
    g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, &OnMap, nullptr, nullptr);
    if (std::getenv("SMOKE_TRACE_KEYS"))
      g_signal_add_emission_hook(g_signal_lookup("key-press-event", GTK_TYPE_WIDGET), 0,
                                 &OnKeyPressed, nullptr, nullptr);
    if (!options.wav.empty()) {
      sound = FolderItem(options.wav).OpenAsSound();
      if (!sound) Say("error cannot open sound");
    }
    player = platform::Window::New<PlayerWindow>();
    player->Show();
    player->Hide();
    auto window = platform::Window::New<SmokeWindow>();

    GIOChannel* in = g_io_channel_unix_new(0);
    g_io_add_watch(in, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), &OnStdin, nullptr);
    g_io_channel_unref(in);
    RuntimeRun();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gtk_smoke: %s\n", e.what());
    RuntimeExit();
    return 1;
  }
  sound.reset();
  player.reset();
  regions.reset();
  int code = RuntimeExit();
  Say("exit " + std::to_string(code));
  return code;
}
