#include "app/menubar1.h"

#include <cstddef>
#include <iterator>

#include "platform/exceptions.h"

namespace {

// One item of the menu tree. A row whose parent is null is a menu of the bar itself; the
// others go into the menu of that name. A null shortcut means the item has none.
struct MenuRow {
  const char* name;
  bool quitItem;
  const char* parent;
  const char* text;
  const char* shortcut;
};

// In the order of building, which under each parent is the order shown. The separators are
// numbered against the menu order: UntitledMenu1 comes first.
constexpr MenuRow kMenuRows[] = {
    {"FileMenu", false, nullptr, "ファイル", nullptr},
    {"FileQuit", true, "FileMenu", "終了", "Cmd+Q"},
    {"EditMenu", false, nullptr, "編集", nullptr},
    {"EditUndo", false, "EditMenu", "元に戻す", "Cmd+Z"},
    {"UntitledMenu1", false, "EditMenu", "-", nullptr},
    {"EditCut", false, "EditMenu", "カット", "Cmd+X"},
    {"EditCopy", false, "EditMenu", "コピー", "Cmd+C"},
    {"EditPaste", false, "EditMenu", "貼り付け", "Cmd+V"},
    {"EditClear", false, "EditMenu", "削除", nullptr},
    {"UntitledMenu0", false, "EditMenu", "-", nullptr},
    {"EditSelectAll", false, "EditMenu", "すべてを選択", "Cmd+A"},
    {"placeMenu", false, nullptr, "地域", nullptr},
};

// The shared bar; stored only once its constructor has returned, so a failed build leaves
// no half-built bar behind.
std::shared_ptr<MenuBar1> implicitInstance;

// Builds rows [first, last) and appends each item as soon as it is made.
void BuildRows(MenuBar1& bar, std::size_t first, std::size_t last) {
  for (std::size_t row = first; row < last; ++row) {
    const MenuRow& r = kMenuRows[row];
    std::shared_ptr<platform::MenuItem> item;
    if (r.quitItem) {
      item = std::make_shared<platform::QuitMenuItem>();
    } else {
      item = std::make_shared<platform::MenuItem>();
    }
    item->SetName(r.name);
    item->SetAutoEnable(true);
    item->SetText(r.text);
    if (r.shortcut) item->SetKeyboardShortcut(r.shortcut);
    if (!r.parent) {
      bar.Append(item);
    } else {
      // The parent menu is looked up afresh for every item.
      platform::Need(bar.Child(r.parent), r.parent).Append(item);
    }
  }
}

}  // namespace

std::shared_ptr<MenuBar1> MenuBar1::Instance() {
  if (implicitInstance) return implicitInstance;
  auto bar = std::make_shared<MenuBar1>();
  implicitInstance = bar;
  return bar;
}

void MenuBar1::ReleaseInstance() { implicitInstance.reset(); }

bool MenuBar1::HasInstance() { return implicitInstance != nullptr; }

MenuBar1::MenuBar1() {
  Untitled0();
  Untitled1();
  Untitled2();
}

// Rows 1 and 2: the File menu and its quit item.
void MenuBar1::Untitled0() { BuildRows(*this, 0, 2); }

// Rows 3 to 11: the Edit menu and its eight items.
void MenuBar1::Untitled1() { BuildRows(*this, 2, 11); }

// Row 12: the region menu, built without entries.
void MenuBar1::Untitled2() { BuildRows(*this, 11, std::size(kMenuRows)); }
