#include "platform/menu.h"

#include <algorithm>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/window.h"
#include "platform/core/runtime.h"

namespace platform {

const MenuBar* MenuItem::Bar() const {
  const MenuItem* top = this;
  while (top->parent_) top = top->parent_;
  return top->asBar_;
}

template <class F>
void MenuItem::Notify(F&& tell) {
  const MenuBar* bar = Bar();
  if (!bar) return;
  // By index, the size read afresh: an observer may leave while the others are told.
  const std::vector<MenuObserver*>& observers = bar->Observers();
  for (std::size_t i = 0; i < observers.size(); ++i) tell(*observers[i]);
}

void MenuBar::AddObserver(MenuObserver* observer) {
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void MenuBar::RemoveObserver(MenuObserver* observer) { std::erase(observers_, observer); }

void MenuItem::SetText(String text) {
  if (text == text_) return;
  text_ = std::move(text);
  Notify([this](MenuObserver& o) { o.ItemChanged(*this); });
}

void MenuItem::SetKeyboardShortcut(String shortcut) {
  if (shortcut == shortcut_) return;
  shortcut_ = std::move(shortcut);
  Notify([this](MenuObserver& o) { o.ItemChanged(*this); });
}

void MenuItem::SetChecked(bool on) {
  if (on == checked_) return;
  checked_ = on;
  Notify([this](MenuObserver& o) { o.ItemChanged(*this); });
}

void MenuItem::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  Notify([this](MenuObserver& o) { o.ItemChanged(*this); });
}

void MenuItem::Append(std::shared_ptr<MenuItem> child) {
  if (!child) throw NilObjectException("the menu item to append is missing (nil object)");
  for (const MenuItem* up = this; up; up = up->parent_)
    if (up == child.get())
      throw RuntimeException("a menu item cannot be appended below itself");
  // An item stands in one menu at a time: appending it elsewhere moves it.
  if (MenuItem* old = child->parent_) {
    auto it = std::find(old->children_.begin(), old->children_.end(), child);
    if (it != old->children_.end()) old->Remove(static_cast<Int32>(it - old->children_.begin()));
  }
  child->parent_ = this;
  children_.push_back(child);
  Notify([this, &child](MenuObserver& o) { o.ChildAppended(*this, *child); });
}

std::shared_ptr<MenuItem> MenuItem::Child(std::string_view name) const {
  for (const auto& c : children_)
    if (c->name_ == name) return c;
  return nullptr;
}

std::shared_ptr<MenuItem> MenuItem::Lookup(std::string_view name) const {
  for (const auto& c : children_) {
    if (c->name_ == name) return c;
    if (auto found = c->Lookup(name)) return found;
  }
  return nullptr;
}

std::shared_ptr<MenuItem> MenuItem::Item(Int32 index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return children_[static_cast<std::size_t>(index)];
}

void MenuItem::Remove(Int32 index) {
  if (index < 0 || index >= Count()) return;
  std::shared_ptr<MenuItem> child = children_[static_cast<std::size_t>(index)];
  children_.erase(children_.begin() + index);
  child->parent_ = nullptr;
  // The observers are the bar's; the removed item no longer leads to it, so they are found
  // from this menu, which still hangs under the bar.
  Notify([this, index, &child](MenuObserver& o) { o.ChildRemoved(*this, index, *child); });
}

bool QuitMenuItem::Event_Action() {
  CloseWindowsAndQuit();
  return true;
}

}  // namespace platform
