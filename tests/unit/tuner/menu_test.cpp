// The shared menu bar and the main window's accessors of its items.

#include <memory>
#include <string>
#include <vector>

#include "app/menubar1.h"
#include "platform/exceptions.h"
#include "support/program_fixture.h"
#include "tuner/tuner_window.h"

namespace {

using platform::MenuItem;

class MenuTest : public testsupport::ProgramTest {};

TEST_F(MenuTest, InstanceBuildsTheBarOnceUntilReleased) {
  EXPECT_FALSE(MenuBar1::HasInstance());
  const auto bar = MenuBar1::Instance();
  ASSERT_TRUE(bar);
  EXPECT_TRUE(MenuBar1::HasInstance());
  EXPECT_EQ(MenuBar1::Instance(), bar);
  EXPECT_EQ(bar->Count(), 3);

  MenuBar1::ReleaseInstance();
  EXPECT_FALSE(MenuBar1::HasInstance());
  // The bar lives on while someone holds it; a new call builds a new one.
  EXPECT_EQ(bar->Count(), 3);
  EXPECT_NE(MenuBar1::Instance(), bar);
}

struct ItemRow {
  std::string name, text, shortcut;
  bool quit;
  friend bool operator==(const ItemRow&, const ItemRow&) = default;
};

// Every item of a menu, in the order shown.
std::vector<ItemRow> Rows(const MenuItem& menu) {
  std::vector<ItemRow> rows;
  for (int i = 0; i < menu.Count(); ++i) {
    const auto item = menu.Item(i);
    EXPECT_TRUE(item->AutoEnable()) << item->Name();
    rows.push_back({item->Name(), item->Text(), item->KeyboardShortcut(),
                    dynamic_cast<platform::QuitMenuItem*>(item.get()) != nullptr});
  }
  return rows;
}

void PrintTo(const ItemRow& r, std::ostream* os) {
  *os << r.name << " \"" << r.text << "\" " << r.shortcut << (r.quit ? " (quit)" : "");
}

TEST_F(MenuTest, TreeHoldsThreeMenusWithTheirItemsInOrder) {
  const auto bar = MenuBar1::Instance();
  EXPECT_EQ(Rows(*bar), (std::vector<ItemRow>{{"FileMenu", "ファイル", "", false},
                                              {"EditMenu", "編集", "", false},
                                              {"placeMenu", "地域", "", false}}));
  EXPECT_EQ(Rows(*bar->Item(0)), (std::vector<ItemRow>{{"FileQuit", "終了", "Cmd+Q", true}}));
  EXPECT_EQ(Rows(*bar->Item(1)), (std::vector<ItemRow>{
                                     {"EditUndo", "元に戻す", "Cmd+Z", false},
                                     {"UntitledMenu1", "-", "", false},
                                     {"EditCut", "カット", "Cmd+X", false},
                                     {"EditCopy", "コピー", "Cmd+C", false},
                                     {"EditPaste", "貼り付け", "Cmd+V", false},
                                     {"EditClear", "削除", "", false},
                                     {"UntitledMenu0", "-", "", false},
                                     {"EditSelectAll", "すべてを選択", "Cmd+A", false},
                                 }));
  EXPECT_EQ(bar->Item(2)->Count(), 0);
}

TEST_F(MenuTest, WindowAccessorsFindEachItemInTheWindowsBar) {
  const auto w = tunerWindow::Instance();
  const auto bar = MenuBar1::Instance();
  ASSERT_EQ(w->MenuBar(), bar);
  const auto file = bar->Item(0);
  const auto edit = bar->Item(1);
  const std::pair<std::shared_ptr<MenuItem>, std::shared_ptr<MenuItem>> cases[] = {
      {w->FileMenu(), file},
      {w->FileQuit(), file->Item(0)},
      {w->EditMenu(), edit},
      {w->EditUndo(), edit->Item(0)},
      {w->UntitledMenu1(), edit->Item(1)},
      {w->EditCut(), edit->Item(2)},
      {w->EditCopy(), edit->Item(3)},
      {w->EditPaste(), edit->Item(4)},
      {w->EditClear(), edit->Item(5)},
      {w->UntitledMenu0(), edit->Item(6)},
      {w->EditSelectAll(), edit->Item(7)},
      {w->placeMenu(), bar->Item(2)},
  };
  for (const auto& [found, expected] : cases) {
    ASSERT_TRUE(expected);
    EXPECT_EQ(found, expected) << expected->Name();
  }
}

TEST_F(MenuTest, RegionMenuStaysTheSameItemWhileItsEntriesChange) {
  const auto w = tunerWindow::Instance();
  const auto region = w->placeMenu();
  ASSERT_TRUE(region);
  region->Append(std::make_shared<placeMenuClass>());
  region->Append(std::make_shared<placeMenuClass>());
  region->Remove(0);
  EXPECT_EQ(w->placeMenu(), region);
  EXPECT_EQ(w->placeMenu()->Count(), 1);
}

TEST_F(MenuTest, AccessorsSeeTheBarTheWindowHoldsNow) {
  const auto w = tunerWindow::Instance();
  const auto other = std::make_shared<platform::MenuBar>();
  auto item = std::make_shared<MenuItem>();
  item->SetName("placeMenu");
  other->Append(item);
  w->SetMenuBar(other);
  EXPECT_EQ(w->placeMenu(), item);
  EXPECT_FALSE(w->EditMenu());
  // An item of the right name but not the framework's quit item is not returned as one.
  auto quit = std::make_shared<MenuItem>();
  quit->SetName("FileQuit");
  other->Append(quit);
  EXPECT_FALSE(w->FileQuit());

  w->SetMenuBar(nullptr);
  EXPECT_THROW(w->placeMenu(), platform::NilObjectException);
  EXPECT_THROW(w->FileQuit(), platform::NilObjectException);
}

}  // namespace
