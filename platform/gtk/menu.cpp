// Menus. A MenuView mirrors one menu bar's tree in GTK widgets and follows its changes.
//
// GTK appends a menu item in time proportional to the items already there, so a menu of
// 100,000 entries built item by item would take minutes. Changes are therefore O(1): they
// update the widget of an item that has one and mark its parent's menu out of date; a menu
// is rebuilt (in one linear pass, prepending from the last item) when it is about to open,
// or at once from an idle callback when it is open already.

#include <unordered_map>

#include "platform/gtk/peers.h"

namespace platform::gtkbackend {

namespace {

enum class Kind { Bar, Top, Parent, Leaf, Separator };

Kind KindOf(const MenuItem& item) {
  const MenuItem* parent = item.Parent();
  if (parent && !parent->Parent() && dynamic_cast<const MenuBar*>(parent)) return Kind::Top;
  if (item.Text() == "-") return Kind::Separator;
  return item.Count() > 0 ? Kind::Parent : Kind::Leaf;
}

bool HasMenu(Kind kind) { return kind == Kind::Bar || kind == Kind::Top || kind == Kind::Parent; }

// The observers of one menu bar: a bar has a single observer slot, and every window that
// shows the bar has a view of its own.
class BarObservers : public MenuObserver {
 public:
  std::vector<MenuObserver*> views;
  void ItemChanged(MenuItem& item) override {
    for (MenuObserver* v : views) v->ItemChanged(item);
  }
  void ChildAppended(MenuItem& parent, MenuItem& child) override {
    for (MenuObserver* v : views) v->ChildAppended(parent, child);
  }
  void ChildRemoved(MenuItem& parent, Int32 index, MenuItem& child) override {
    for (MenuObserver* v : views) v->ChildRemoved(parent, index, child);
  }
};

std::unordered_map<const MenuBar*, std::unique_ptr<BarObservers>>& Registry() {
  static std::unordered_map<const MenuBar*, std::unique_ptr<BarObservers>> registry;
  return registry;
}

}  // namespace

struct MenuView::State : MenuObserver, std::enable_shared_from_this<MenuView::State> {
  struct Node {
    State* state = nullptr;
    const MenuItem* item = nullptr;
    Kind kind = Kind::Leaf;
    GObjectPtr<GtkWidget> widget;  // the GtkMenuItem; none for the bar
    GObjectPtr<GtkWidget> shell;   // the GtkMenuShell of its children, for kinds with a menu
    bool dirty = true;
    bool pending = false;  // queued for the idle rebuild
    std::vector<SignalConnection> signals;
  };

  std::shared_ptr<MenuBar> bar;
  std::unordered_map<const MenuItem*, std::unique_ptr<Node>> nodes;
  std::vector<const MenuItem*> pendingRebuilds;
  SourceId idle;
  bool settingCheck = false;  // we set a check mark: GTK's activate is not a choice
  bool prepared = false;      // EnableMenuItems ran for the menu now open
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

    auto& slot = Registry()[bar.get()];
    if (!slot) {
      slot = std::make_unique<BarObservers>();
      bar->SetObserver(slot.get());
    }
    slot->views.push_back(this);
  }

  ~State() override {
    auto it = Registry().find(bar.get());
    if (it != Registry().end()) {
      std::erase(it->second->views, static_cast<MenuObserver*>(this));
      if (it->second->views.empty()) {
        bar->SetObserver(nullptr);
        Registry().erase(it);
      }
    }
    idle.Remove();
    barPress.Disconnect();
    barDeactivate.Disconnect();
    // Item handlers go before the widgets.
    for (auto& [item, node] : nodes) node->signals.clear();
  }

  Node* Find(const MenuItem* item) {
    auto it = nodes.find(item);
    return it == nodes.end() ? nullptr : it->second.get();
  }

  Node& Make(const MenuItem& item) {
    auto node = std::make_unique<Node>();
    node->state = this;
    node->item = &item;
    node->kind = KindOf(item);
    GtkWidget* w = nullptr;
    switch (node->kind) {
      case Kind::Separator: w = gtk_separator_menu_item_new(); break;
      case Kind::Top:
      case Kind::Parent: w = gtk_menu_item_new_with_label(""); break;
      case Kind::Leaf:
        w = gtk_check_menu_item_new_with_label("");
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(w), FALSE);
        break;
      case Kind::Bar: break;
    }
    node->widget = GObjectPtr<GtkWidget>::RefSink(w);
    if (HasMenu(node->kind)) {
      node->shell = GObjectPtr<GtkWidget>::RefSink(gtk_menu_new());
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(w), node->shell.get());
      node->signals.emplace_back(w, "select", &OnSelect, node.get());
    } else if (node->kind == Kind::Leaf) {
      node->signals.emplace_back(w, "activate", &OnActivate, node.get());
    }
    Node& n = *node;
    nodes[&item] = std::move(node);
    Apply(n, item);
    gtk_widget_show(w);
    return n;
  }

  void Apply(Node& node, const MenuItem& item) {
    GtkWidget* w = node.widget.get();
    if (!w) return;
    gtk_widget_set_sensitive(w, item.Enabled());
    if (node.kind == Kind::Separator) return;
    gtk_menu_item_set_label(GTK_MENU_ITEM(w), ValidUtf8(item.Text()).c_str());
    if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(w)); label && GTK_IS_ACCEL_LABEL(label)) {
      std::optional<Shortcut> s = ParseShortcut(item.KeyboardShortcut());
      gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), s ? s->keyval : 0,
                                GdkModifierType(s ? s->modifiers : 0));
    }
    if (node.kind == Kind::Leaf) SetCheck(node, item.Checked());
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
    nodes.erase(it);
    if (!hadMenu) return;
    for (Int32 i = 0; i < item.Count(); ++i)
      if (auto child = item.Item(i)) EraseSubtree(*child);
  }

  // Fills a menu from its item's children: O(children).
  void Rebuild(Node& node) {
    const MenuItem& item = *node.item;
    GtkMenuShell* shell = GTK_MENU_SHELL(node.shell.get());
    // Each removal takes the head of GTK's list, so emptying the menu is linear too.
    GList* old = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* l = old; l; l = l->next) gtk_container_remove(GTK_CONTAINER(shell), GTK_WIDGET(l->data));
    g_list_free(old);
    for (Int32 i = item.Count() - 1; i >= 0; --i) {
      std::shared_ptr<MenuItem> child = item.Item(i);
      if (!child) continue;
      Node* c = Find(child.get());
      if (c && c->kind != KindOf(*child)) {
        EraseSubtree(*child);
        c = nullptr;
      }
      if (!c) c = &Make(*child);
      gtk_menu_shell_prepend(shell, c->widget.get());
    }
    node.dirty = false;
  }

  bool IsOpen(const Node& node) const {
    return node.kind == Kind::Bar || gtk_widget_get_mapped(node.shell.get());
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
    if (node->kind != KindOf(item)) {
      EraseSubtree(item);
      MarkDirty(item.Parent());
      return;
    }
    Apply(*node, item);
  }

  void ItemChanged(MenuItem& item) override { Refresh(item); }
  // A parent that gained its first child or lost its last one changes kind.
  void ChildrenChanged(MenuItem& parent) {
    Node* node = Find(&parent);
    if (node && node->kind != Kind::Bar && node->kind != KindOf(parent))
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
    if (Node* n = self->Find(raw); n && n->kind == Kind::Leaf) self->SetCheck(*n, item->Checked());
  }
};

MenuView::MenuView(std::shared_ptr<MenuBar> bar) : state_(std::make_shared<State>(std::move(bar))) {}
MenuView::~MenuView() = default;
GtkWidget* MenuView::Widget() const { return state_->nodes.at(state_->bar.get())->shell.get(); }
const std::shared_ptr<MenuBar>& MenuView::Bar() const { return state_->bar; }

namespace {

std::shared_ptr<MenuItem> FindShortcut(const MenuItem& parent, unsigned keyval, unsigned state) {
  for (Int32 i = 0; i < parent.Count(); ++i) {
    std::shared_ptr<MenuItem> child = parent.Item(i);
    if (!child) continue;
    if (child->Count() > 0) {
      if (auto found = FindShortcut(*child, keyval, state)) return found;
    } else if (!child->KeyboardShortcut().empty() && child->Text() != "-") {
      std::optional<Shortcut> s = ParseShortcut(child->KeyboardShortcut());
      if (s && MatchesShortcut(*s, keyval, state)) return child;
    }
  }
  return nullptr;
}

}  // namespace

bool DispatchMenuShortcut(MenuBar& bar, unsigned keyval, unsigned state) {
  std::shared_ptr<MenuItem> item = FindShortcut(bar, keyval, state);
  if (!item) return false;
  events::EnableMenuItems();
  // A disabled item, or one in a disabled menu, swallows its shortcut.
  for (const MenuItem* i = item.get(); i && i != &bar; i = i->Parent())
    if (!i->Enabled()) return true;
  if (item->Parent() == nullptr) return true;  // removed while the menus were updated
  events::MenuChosen(*item);
  return true;
}

}  // namespace platform::gtkbackend
