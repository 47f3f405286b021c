// Menus. A MenuView mirrors one menu bar's tree in GTK widgets and follows its changes.
//
// GTK appends a menu item in time proportional to the items already there, so a menu of
// 100,000 entries built item by item would take minutes. Changes are therefore O(1): they
// update the widget of an item that has one and mark its parent's menu out of date; a menu
// is rebuilt (in one linear pass, prepending from the last item) when it is about to open,
// or at once from an idle callback when it is open already.
//
// GTK's menus themselves do not scale: opening one of 1,000 items takes about 0.3 s, 10,000
// about 4 s, and 100,000 overflow the stack in GTK's size negotiation. A menu of more than
// kPageSize items is therefore shown in pages: its menu holds at most kPageSize entries,
// each standing for an equal span of items ("1–100: first … last") with a submenu that is
// filled only when the entry is selected, and so on down to pages of items. Every item
// stays reachable, in order, and is chosen as in a short menu.
//
// Only the items of a menu of choices (one in which some item carries the check mark) are
// check items; every other leaf is a plain menu item.

#include <unordered_map>

#include "platform/backend.h"
#include "platform/gtk/gobject_ptr.h"
#include "platform/gtk/input.h"
#include "platform/gtk/menu_view.h"

namespace platform::gtkbackend {

namespace {

// At most this many entries in one GTK menu: such a menu opens in a few tens of
// milliseconds here.
constexpr Int32 kPageSize = 100;
// Labels are cut to this many characters; GTK would lay out the whole text however long.
constexpr std::size_t kLabelChars = 64;
constexpr std::size_t kSpanLabelChars = 24;

enum class Kind { Bar, Top, Parent, Leaf, Check, Separator };

// `choice`: the item's menu holds a checked item.
Kind KindOf(const MenuItem& item, bool choice) {
  const MenuItem* parent = item.Parent();
  if (parent && !parent->Parent() && dynamic_cast<const MenuBar*>(parent)) return Kind::Top;
  if (item.Text() == "-") return Kind::Separator;
  if (item.Count() > 0) return Kind::Parent;
  return choice ? Kind::Check : Kind::Leaf;
}

bool HasMenu(Kind kind) { return kind == Kind::Bar || kind == Kind::Top || kind == Kind::Parent; }

bool AnyChecked(const MenuItem& menu) {
  for (Int32 i = 0; i < menu.Count(); ++i)
    if (auto child = menu.Item(i); child && child->Checked()) return true;
  return false;
}

}  // namespace

struct MenuView::State : MenuObserver, std::enable_shared_from_this<MenuView::State> {
  struct Span;

  struct Node {
    State* state = nullptr;
    const MenuItem* item = nullptr;
    Kind kind = Kind::Leaf;
    GObjectPtr<GtkWidget> widget;  // the GtkMenuItem; none for the bar
    GObjectPtr<GtkWidget> shell;   // the GtkMenuShell of its children, for kinds with a menu
    bool dirty = true;
    bool pending = false;  // queued for the idle rebuild
    bool choice = false;   // its menu holds a checked item (as of its last rebuild)
    std::vector<std::unique_ptr<Span>> spans;  // its menu's entries, when it is paged
    std::vector<SignalConnection> signals;
  };

  // An entry of a paged menu: the items first..last of `menu`, in a submenu of their own.
  struct Span {
    State* state = nullptr;
    const MenuItem* menu = nullptr;
    Int32 first = 0, last = 0;
    GObjectPtr<GtkWidget> widget, shell;
    bool filled = false;
    std::vector<std::unique_ptr<Span>> spans;  // when the span is itself paged
    std::vector<const MenuItem*> placed;       // the items whose widgets it holds
    SignalConnection select;
  };

  std::shared_ptr<MenuBar> bar;
  std::unordered_map<const MenuItem*, std::unique_ptr<Node>> nodes;
  std::vector<const MenuItem*> pendingRebuilds;
  SourceId idle;
  bool settingCheck = false;  // we set a check mark: GTK's activate is not a choice
  bool prepared = false;      // EnableMenuItems ran for the bar now open
  SignalConnection barPress, barDeactivate;

  explicit State(std::shared_ptr<MenuBar> b) : bar(std::move(b)) {
    auto node = std::make_unique<Node>();
    node->state = this;
    node->item = bar.get();
    node->kind = Kind::Bar;
    node->shell = GObjectPtr<GtkWidget>::RefSink(gtk_menu_bar_new());
    Node& n = *node;
    nodes.emplace(bar.get(), std::move(node));
    // Connected before GTK's handler, which opens the menu: the menus are brought up to
    // date first.
    barPress = SignalConnection(n.shell.get(), "button-press-event", &OnBarPress, this);
    barDeactivate = SignalConnection(n.shell.get(), "deactivate", &OnBarDeactivate, this);
    Rebuild(n);
    // The menus are whole before anything can open them: a menu that GTK pops up empty
    // and fills afterwards shows as a blank box of the wrong size.
    RebuildTopMenus();
    bar->AddObserver(this);
  }

  ~State() override {
    bar->RemoveObserver(this);
    idle.Remove();
    barPress.Disconnect();
    barDeactivate.Disconnect();
    // Item handlers go before the widgets.
    for (auto& [item, node] : nodes) {
      node->signals.clear();
      ForgetSpans(node->spans);
    }
  }

  Node* Find(const MenuItem* item) {
    auto it = nodes.find(item);
    return it == nodes.end() ? nullptr : it->second.get();
  }

  // Whether the menu that holds an item is a menu of choices.
  bool ChoiceOf(const MenuItem& item) {
    Node* parent = item.Parent() ? Find(item.Parent()) : nullptr;
    return parent && parent->choice;
  }

  Node& Make(const MenuItem& item, bool choice) {
    auto node = std::make_unique<Node>();
    node->state = this;
    node->item = &item;
    node->kind = KindOf(item, choice);
    GtkWidget* w = nullptr;
    switch (node->kind) {
      case Kind::Separator: w = gtk_separator_menu_item_new(); break;
      case Kind::Top:
      case Kind::Parent:
      case Kind::Leaf: w = gtk_menu_item_new_with_label(""); break;
      case Kind::Check:
        w = gtk_check_menu_item_new_with_label("");
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(w), FALSE);
        break;
      case Kind::Bar: break;
    }
    node->widget = GObjectPtr<GtkWidget>::RefSink(w);
    if (HasMenu(node->kind)) {
      node->shell = GObjectPtr<GtkWidget>::RefSink(gtk_menu_new());
      node->signals.emplace_back(w, "select", &OnSelect, node.get());
    } else if (node->kind == Kind::Leaf || node->kind == Kind::Check) {
      node->signals.emplace_back(w, "activate", &OnActivate, node.get());
    }
    Node& n = *node;
    nodes[&item] = std::move(node);
    Apply(n, item);
    AttachMenu(n);
    gtk_widget_show(w);
    return n;
  }

  // A menu without items opens as nothing, as GTK applications show an empty menu, rather
  // than as an empty box.
  void AttachMenu(Node& node) {
    if (node.kind != Kind::Top && node.kind != Kind::Parent) return;
    GtkMenuItem* w = GTK_MENU_ITEM(node.widget.get());
    GtkWidget* want = node.item->Count() > 0 ? node.shell.get() : nullptr;
    if (gtk_menu_item_get_submenu(w) != want) gtk_menu_item_set_submenu(w, want);
  }

  void Apply(Node& node, const MenuItem& item) {
    GtkWidget* w = node.widget.get();
    if (!w) return;
    gtk_widget_set_sensitive(w, item.Enabled());
    if (node.kind == Kind::Separator) return;
    gtk_menu_item_set_label(GTK_MENU_ITEM(w), ElideLabel(item.Text(), kLabelChars).c_str());
    if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(w)); label && GTK_IS_ACCEL_LABEL(label)) {
      std::optional<Accelerator> a = AcceleratorOf(item.KeyboardShortcut());
      gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), a ? a->keyval : 0,
                                GdkModifierType(a ? a->modifiers : 0));
    }
    if (node.kind == Kind::Check) SetCheck(node, item.Checked());
  }

  void SetCheck(Node& node, bool on) {
    auto* check = GTK_CHECK_MENU_ITEM(node.widget.get());
    if (gtk_check_menu_item_get_active(check) == on) return;
    settingCheck = true;
    gtk_check_menu_item_set_active(check, on);
    settingCheck = false;
  }

  // Drops the widgets of an item and of everything below it that has one.
  void EraseSubtree(const MenuItem& item) {
    auto it = nodes.find(&item);
    if (it == nodes.end()) return;
    bool hadMenu = HasMenu(it->second->kind);
    ForgetSpans(it->second->spans);
    nodes.erase(it);
    if (!hadMenu) return;
    for (Int32 i = 0; i < item.Count(); ++i)
      if (auto child = item.Item(i)) EraseSubtree(*child);
  }

  // Takes the item widgets out of the spans' menus before the spans go: a menu that is
  // destroyed destroys the widgets still inside it, and those are kept for reuse.
  void ForgetSpans(std::vector<std::unique_ptr<Span>>& spans) {
    for (auto& span : spans) {
      span->select.Disconnect();
      ForgetSpans(span->spans);
      for (const MenuItem* placed : span->placed) {
        Node* n = Find(placed);
        if (n && gtk_widget_get_parent(n->widget.get()) == span->shell.get())
          gtk_container_remove(GTK_CONTAINER(span->shell.get()), n->widget.get());
      }
    }
    spans.clear();
  }

  static void Empty(GtkWidget* shell) {
    // Each removal takes the head of GTK's list, so emptying the menu is linear.
    GList* old = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* l = old; l; l = l->next) gtk_container_remove(GTK_CONTAINER(shell), GTK_WIDGET(l->data));
    g_list_free(old);
  }

  // The node of a child of a menu, made anew when its kind changed.
  Node& ChildNode(const MenuItem& child, bool choice) {
    Node* c = Find(&child);
    if (c && c->kind != KindOf(child, choice)) {
      EraseSubtree(child);
      c = nullptr;
    }
    if (!c) c = &Make(child, choice);
    // A widget still in another menu (one that was shown before) moves here.
    if (GtkWidget* parent = gtk_widget_get_parent(c->widget.get()))
      gtk_container_remove(GTK_CONTAINER(parent), c->widget.get());
    return *c;
  }

  // Fills a menu from its item's children: O(children).
  void Rebuild(Node& node) {
    const MenuItem& item = *node.item;
    GtkMenuShell* shell = GTK_MENU_SHELL(node.shell.get());
    ForgetSpans(node.spans);
    Empty(node.shell.get());
    node.choice = node.kind != Kind::Bar && AnyChecked(item);
    if (item.Count() > kPageSize) {
      for (const ItemRange& r : PageRanges(0, item.Count(), kPageSize))
        node.spans.push_back(MakeSpan(item, r, shell));
    } else {
      for (Int32 i = item.Count() - 1; i >= 0; --i)
        if (std::shared_ptr<MenuItem> child = item.Item(i))
          gtk_menu_shell_prepend(shell, ChildNode(*child, node.choice).widget.get());
    }
    AttachMenu(node);
    node.dirty = false;
  }

  std::unique_ptr<Span> MakeSpan(const MenuItem& menu, ItemRange r, GtkMenuShell* into) {
    auto span = std::make_unique<Span>();
    span->state = this;
    span->menu = &menu;
    span->first = r.first;
    span->last = r.last;
    auto text = [&menu](Int32 i) {
      std::shared_ptr<MenuItem> item = menu.Item(i);
      return ElideLabel(item ? item->Text() : String(), kSpanLabelChars);
    };
    String label = std::to_string(r.first + 1) + "\u2013" + std::to_string(r.last) + ": " +
                   text(r.first) + " \u2026 " + text(r.last - 1);
    span->widget = GObjectPtr<GtkWidget>::RefSink(gtk_menu_item_new_with_label(label.c_str()));
    span->shell = GObjectPtr<GtkWidget>::RefSink(gtk_menu_new());
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(span->widget.get()), span->shell.get());
    span->select = SignalConnection(span->widget.get(), "select", &OnSpanSelect, span.get());
    gtk_widget_show(span->widget.get());
    gtk_menu_shell_append(into, span->widget.get());
    return span;
  }

  // A span's menu is filled when its entry is selected, before GTK pops it up.
  void Fill(Span& span) {
    if (span.filled) return;
    span.filled = true;
    const MenuItem& menu = *span.menu;
    Node* owner = Find(&menu);
    bool choice = owner && owner->choice;
    GtkMenuShell* shell = GTK_MENU_SHELL(span.shell.get());
    if (span.last - span.first > kPageSize) {
      for (const ItemRange& r : PageRanges(span.first, span.last, kPageSize))
        span.spans.push_back(MakeSpan(menu, r, shell));
      return;
    }
    for (Int32 i = span.first; i < span.last; ++i) {
      std::shared_ptr<MenuItem> child = menu.Item(i);
      if (!child) continue;  // removed since; the menu is rebuilt
      gtk_menu_shell_append(shell, ChildNode(*child, choice).widget.get());
      span.placed.push_back(child.get());
    }
  }

  bool IsOpen(const Node& node) const {
    if (node.kind == Kind::Bar) return true;
    // While the bar is active the user can move to any of its menus; each opens at once.
    if (node.kind == Kind::Top && prepared) return true;
    return gtk_widget_get_mapped(node.shell.get());
  }

  void MarkDirty(const MenuItem* item) {
    Node* node = Find(item);
    if (!node || !HasMenu(node->kind)) return;
    node->dirty = true;
    if (!IsOpen(*node) || node->pending) return;
    node->pending = true;
    pendingRebuilds.push_back(item);
    if (!idle)
      idle = SourceId(g_idle_add_full(G_PRIORITY_HIGH_IDLE, &OnIdle, this, nullptr));
  }

  // Re-reads an item; a change of kind (a leaf that got children, a text that became "-")
  // needs a new widget, made when its parent's menu is rebuilt.
  void Refresh(const MenuItem& item) {
    Node* node = Find(&item);
    if (!node || node->kind == Kind::Bar) return;
    if (node->kind != KindOf(item, ChoiceOf(item))) {
      EraseSubtree(item);
      MarkDirty(item.Parent());
      return;
    }
    Apply(*node, item);
  }

  void ItemChanged(MenuItem& item) override {
    // A check mark set in a menu without one, or taken from a menu of choices, may change
    // whether the menu's items are check items: the menu finds out when it is rebuilt.
    if (item.Parent() && item.Count() == 0 && item.Text() != "-" && item.Checked() != ChoiceOf(item))
      MarkDirty(item.Parent());
    Refresh(item);
  }
  // A parent that gained its first child or lost its last one changes kind.
  void ChildrenChanged(MenuItem& parent) {
    Node* node = Find(&parent);
    if (node && node->kind != Kind::Bar && node->kind != Kind::Top &&
        node->kind != KindOf(parent, ChoiceOf(parent)))
      Refresh(parent);
    else
      MarkDirty(&parent);
  }
  void ChildAppended(MenuItem& parent, MenuItem&) override { ChildrenChanged(parent); }
  void ChildRemoved(MenuItem& parent, Int32, MenuItem& child) override {
    EraseSubtree(child);
    ChildrenChanged(parent);
  }

  void RebuildTopMenus() {
    for (Int32 i = 0; i < bar->Count(); ++i) {
      auto top = bar->Item(i);
      Node* n = top ? Find(top.get()) : nullptr;
      if (n && HasMenu(n->kind) && n->dirty) Rebuild(*n);
    }
  }

  void Prepare() {
    if (prepared) return;
    prepared = true;
    auto keep = shared_from_this();
    events::EnableMenuItems();
    RebuildTopMenus();
  }

  static gboolean OnIdle(gpointer data) {
    auto* self = static_cast<State*>(data);
    self->idle.Forget();
    std::vector<const MenuItem*> queue;
    queue.swap(self->pendingRebuilds);
    for (const MenuItem* item : queue) {
      Node* n = self->Find(item);
      if (!n) continue;
      n->pending = false;
      if (n->dirty) self->Rebuild(*n);
    }
    return G_SOURCE_REMOVE;
  }

  static gboolean OnBarPress(GtkWidget*, GdkEventButton*, gpointer data) {
    static_cast<State*>(data)->Prepare();
    return FALSE;
  }
  static void OnBarDeactivate(GtkMenuShell*, gpointer data) {
    static_cast<State*>(data)->prepared = false;
  }

  static void OnSelect(GtkMenuItem*, gpointer data) {
    auto* node = static_cast<Node*>(data);
    State* self = node->state;
    const MenuItem* item = node->item;
    if (node->kind == Kind::Top) self->Prepare();
    // Prepare may have replaced nodes; look the item up again.
    Node* n = self->Find(item);
    if (n && n->dirty) self->Rebuild(*n);
  }

  static void OnSpanSelect(GtkMenuItem*, gpointer data) {
    auto* span = static_cast<Span*>(data);
    span->state->Fill(*span);
  }

  static void OnActivate(GtkMenuItem*, gpointer data) {
    auto* node = static_cast<Node*>(data);
    State* self = node->state;
    if (self->settingCheck) return;
    const MenuItem* raw = node->item;
    std::shared_ptr<State> keep = self->shared_from_this();
    std::shared_ptr<const MenuItem> item = raw->weak_from_this().lock();
    if (!item) return;
    events::MenuChosen(const_cast<MenuItem&>(*item));
    // GTK flipped the check mark on the click; the program decides it. The choice may
    // have removed the item or closed the window: look it up again.
    if (Node* n = self->Find(raw); n && n->kind == Kind::Check) self->SetCheck(*n, item->Checked());
  }
};

MenuView::MenuView(std::shared_ptr<MenuBar> bar) : state_(std::make_shared<State>(std::move(bar))) {}
MenuView::~MenuView() = default;
GtkWidget* MenuView::Widget() const { return state_->nodes.at(state_->bar.get())->shell.get(); }
const std::shared_ptr<MenuBar>& MenuView::Bar() const { return state_->bar; }
void MenuView::Prepare() { state_->Prepare(); }

}  // namespace platform::gtkbackend
