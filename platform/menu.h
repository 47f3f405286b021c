#pragma once
// Menus: a tree of items under a menu bar. The program builds the tree; the backend shows
// it (the observer below) and reports choices through events::MenuChosen.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

class MenuBar;
class MenuItem;

// Told of every change below a menu bar, so that a backend can keep its menus in step.
class MenuObserver {
 public:
  virtual ~MenuObserver() = default;
  virtual void ItemChanged(MenuItem& item) = 0;  // text, shortcut, check mark, enabled
  virtual void ChildAppended(MenuItem& parent, MenuItem& child) = 0;
  virtual void ChildRemoved(MenuItem& parent, Int32 index, MenuItem& child) = 0;
};

class MenuItem : public std::enable_shared_from_this<MenuItem> {
 public:
  MenuItem() = default;
  virtual ~MenuItem() = default;
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;

  const String& Name() const { return name_; }
  void SetName(String name) { name_ = std::move(name); }
  // An item whose text is "-" is shown as a dividing line.
  const String& Text() const { return text_; }
  void SetText(String text);
  bool AutoEnable() const { return autoEnable_; }
  void SetAutoEnable(bool on) { autoEnable_ = on; }
  // "Cmd+Q" and the like; "" for none. Shown and dispatched as Ctrl+Q on Linux.
  const String& KeyboardShortcut() const { return shortcut_; }
  void SetKeyboardShortcut(String shortcut);
  bool Checked() const { return checked_; }
  void SetChecked(bool on);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  void Enable() { SetEnabled(true); }

  // Adds the item after those already there.
  void Append(std::shared_ptr<MenuItem> child);
  // The direct child of that name, or nullptr.
  std::shared_ptr<MenuItem> Child(std::string_view name) const;
  // The item of that name anywhere below this one (depth first, in menu order), or nullptr.
  std::shared_ptr<MenuItem> Lookup(std::string_view name) const;
  Int32 Count() const { return static_cast<Int32>(children_.size()); }
  // The child at a 0-based index, or nullptr when out of range.
  std::shared_ptr<MenuItem> Item(Int32 index) const;
  // Removes the child at a 0-based index; out of range does nothing.
  void Remove(Int32 index);
  MenuItem* Parent() const { return parent_; }

  // The item's Action event; answers whether it handled the choice. Raised by
  // events::MenuChosen, which reports any exception.
  virtual bool Event_Action() { return false; }

  // The menu bar this item hangs under (found by walking up), if any.
  const MenuBar* Bar() const;

 private:
  // Tells the observers of the bar above, if any.
  template <class F>
  void Notify(F&& tell);

  friend class MenuBar;
  MenuBar* asBar_ = nullptr;  // set on a menu bar only: itself

  String name_, text_, shortcut_;
  bool autoEnable_ = false, checked_ = false, enabled_ = true;
  MenuItem* parent_ = nullptr;
  std::vector<std::shared_ptr<MenuItem>> children_;
};

// A menu bar tells every observer of the changes below it: each window that shows the bar
// keeps a view of its own.
class MenuBar : public MenuItem {
 public:
  MenuBar() { asBar_ = this; }
  // Adding an observer twice has no further effect; removing one not added does nothing.
  void AddObserver(MenuObserver* observer);
  void RemoveObserver(MenuObserver* observer);
  const std::vector<MenuObserver*>& Observers() const { return observers_; }

 private:
  std::vector<MenuObserver*> observers_;
};

// The framework's quit item: choosing it closes the windows (their Close events run) and
// then ends the application.
class QuitMenuItem : public MenuItem {
 public:
  bool Event_Action() override;
};

}  // namespace platform
