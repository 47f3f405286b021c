#pragma once
// The program's one menu bar: File (quit), Edit (the common editing items) and the region
// menu, captioned in Japanese. Built once, on first use, and shared by the application
// and the main window.

#include <memory>

#include "platform/menu.h"

class MenuBar1 : public platform::MenuBar {
 public:
  // The single-instance accessor: the shared bar, built on the first call.
  static std::shared_ptr<MenuBar1> Instance();
  // Gives up the shared instance at exit; Instance() is nil-free again only by rebuilding.
  static void ReleaseInstance();
  // Tests: whether the shared instance exists right now.
  static bool HasInstance();

  MenuBar1();

 private:
  void Untitled0();  // File menu
  void Untitled1();  // Edit menu
  void Untitled2();  // region menu
};
