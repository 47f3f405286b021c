#pragma once
// The GTK presentation of a menu bar. Runs on the user-interface thread; nothing here
// yields.

#include <gtk/gtk.h>

#include <memory>

#include "platform/menu.h"

namespace platform::gtkbackend {

// Shows one menu bar's tree as a GtkMenuBar and reports choices (menu.cpp).
class MenuView {
 public:
  explicit MenuView(std::shared_ptr<MenuBar> bar);
  ~MenuView();
  MenuView(const MenuView&) = delete;
  MenuView& operator=(const MenuView&) = delete;
  GtkWidget* Widget() const;
  const std::shared_ptr<MenuBar>& Bar() const;
  // Brings the menus up to date (EnableMenuItems, then the menus of the bar) before the
  // bar opens from the keyboard; once per opening.
  void Prepare();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform::gtkbackend
