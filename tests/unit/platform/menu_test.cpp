#include "platform/menu.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/exceptions.h"
#include "platform/window.h"
#include "runtime_fixture.h"

namespace platform {
namespace {

std::shared_ptr<MenuItem> Item(const char* name, const char* text) {
  auto item = std::make_shared<MenuItem>();
  item->SetName(name);
  item->SetText(text);
  return item;
}

// The bar the program builds: File with its quit item, Edit with its items, and the region
// menu, empty.
std::shared_ptr<MenuBar> ProgramBar() {
  auto bar = std::make_shared<MenuBar>();
  bar->Append(Item("FileMenu", "ファイル"));
  auto quit = std::make_shared<QuitMenuItem>();
  quit->SetName("FileQuit");
  quit->SetText("終了");
  quit->SetKeyboardShortcut("Cmd+Q");
  bar->Child("FileMenu")->Append(quit);
  bar->Append(Item("EditMenu", "編集"));
  bar->Child("EditMenu")->Append(Item("EditUndo", "取り消し"));
  bar->Child("EditMenu")->Append(Item("UntitledMenu0", "-"));
  bar->Append(Item("placeMenu", "地域"));
  return bar;
}

class Recorder : public MenuObserver {
 public:
  void ItemChanged(MenuItem& item) override { got.push_back("change " + item.Text()); }
  void ChildAppended(MenuItem& parent, MenuItem& child) override {
    got.push_back("append " + parent.Name() + " " + child.Text());
  }
  void ChildRemoved(MenuItem& parent, Int32 index, MenuItem& child) override {
    got.push_back("remove " + parent.Name() + " " + std::to_string(index) + " " + child.Text());
  }
  std::vector<std::string> got;
};

TEST(Menu, ChildFindsDirectItemsAndLookupFindsAnyBelow) {
  auto bar = ProgramBar();
  ASSERT_NE(bar->Child("FileMenu"), nullptr);
  EXPECT_EQ(bar->Child("FileMenu"), bar->Child("FileMenu"));
  EXPECT_EQ(bar->Child("FileQuit"), nullptr) << "Child looks one level down only";
  auto quit = bar->Lookup("FileQuit");
  ASSERT_NE(quit, nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<QuitMenuItem>(quit), nullptr);
  EXPECT_EQ(quit->Parent(), bar->Child("FileMenu").get());
  EXPECT_EQ(bar->Lookup("placeMenu"), bar->Child("placeMenu"));
  EXPECT_EQ(bar->Lookup("UntitledMenu0")->Text(), "-");
  EXPECT_EQ(bar->Lookup("Nothing"), nullptr);
  EXPECT_EQ(bar->Lookup(""), nullptr) << "items without a name are not found by the empty name";
  EXPECT_EQ(quit->KeyboardShortcut(), "Cmd+Q");
}

TEST(Menu, ItemsKeepAppendOrderAndRemoveByIndex) {
  auto menu = Item("placeMenu", "地域");
  for (const char* r : {"東京", "大阪", "名古屋"}) menu->Append(Item("", r));
  ASSERT_EQ(menu->Count(), 3);
  EXPECT_EQ(menu->Item(1)->Text(), "大阪");
  EXPECT_EQ(menu->Item(3), nullptr);
  EXPECT_EQ(menu->Item(-1), nullptr);
  auto osaka = menu->Item(1);
  menu->Remove(1);
  EXPECT_EQ(osaka->Parent(), nullptr);
  EXPECT_EQ(menu->Count(), 2);
  EXPECT_EQ(menu->Item(1)->Text(), "名古屋");
  menu->Remove(2);
  menu->Remove(-1);
  EXPECT_EQ(menu->Count(), 2);
  for (Int32 i = menu->Count() - 1; i >= 0; --i) menu->Remove(i);
  EXPECT_EQ(menu->Count(), 0);
}

TEST(Menu, ChangesBelowTheBarReachItsObserver) {
  auto bar = ProgramBar();
  Recorder rec;
  bar->AddObserver(&rec);
  auto place = bar->Child("placeMenu");
  auto tokyo = Item("", "東京");
  place->Append(tokyo);     // an append below the bar
  tokyo->SetChecked(true);  // a change two levels down
  tokyo->SetChecked(true);  // no change, no notice
  tokyo->SetEnabled(false);
  bar->Lookup("FileQuit")->SetText("Quit");
  place->Remove(0);
  tokyo->SetText("gone");  // no longer below the bar
  EXPECT_EQ(rec.got,
            (std::vector<std::string>{"append placeMenu 東京", "change 東京", "change 東京",
                                      "change Quit", "remove placeMenu 0 東京"}));
  bar->RemoveObserver(&rec);
  place->Append(Item("", "x"));
  EXPECT_EQ(rec.got.size(), 5u);
}

TEST(Menu, EveryObserverOfTheBarIsToldUntilItLeaves) {
  auto bar = ProgramBar();
  Recorder a, b;
  bar->AddObserver(&a);
  bar->AddObserver(&b);
  bar->AddObserver(&a);  // once is enough
  bar->Child("placeMenu")->Append(Item("", "東京"));
  bar->RemoveObserver(&a);
  bar->RemoveObserver(&a);
  bar->Child("placeMenu")->Remove(0);
  EXPECT_EQ(a.got, std::vector<std::string>{"append placeMenu 東京"});
  EXPECT_EQ(b.got, (std::vector<std::string>{"append placeMenu 東京", "remove placeMenu 0 東京"}));
}

TEST(Menu, AppendingMovesAnItemAndNilOrCyclesAreRefused) {
  auto a = Item("a", "A"), b = Item("b", "B"), c = Item("c", "C");
  a->Append(c);
  b->Append(c);
  EXPECT_EQ(a->Count(), 0);
  EXPECT_EQ(b->Item(0), c);
  EXPECT_EQ(c->Parent(), b.get());
  EXPECT_THROW(a->Append(nullptr), NilObjectException);
  EXPECT_THROW(c->Append(b), RuntimeException);
  EXPECT_THROW(c->Append(c), RuntimeException);
}

namespace {

std::chrono::nanoseconds ThreadCpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// The sanitizers make every allocation and call several times dearer.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSlowdown = 5;
#else
constexpr int kSlowdown = 1;
#endif

}  // namespace

TEST(Menu, HundredThousandEntriesAppendAndRemoveFromTheEndQuickly) {
  // Processor time of this thread, not the wall clock, since a loaded machine must not trip
  // the limits; they are there to catch work that grows with the square of the count.
  const auto fillAndEmpty = [](int count) {
    auto bar = ProgramBar();
    Recorder rec;
    bar->AddObserver(&rec);
    auto place = bar->Child("placeMenu");
    const auto start = ThreadCpuTime();
    for (int i = 0; i < count; ++i) place->Append(std::make_shared<MenuItem>());
    for (Int32 i = place->Count() - 1; i >= 0; --i) place->Remove(i);
    const auto took = ThreadCpuTime() - start;
    EXPECT_EQ(place->Count(), 0);
    EXPECT_EQ(rec.got.size(), 2u * count);
    bar->RemoveObserver(&rec);
    return took;
  };
  const auto small = fillAndEmpty(10'000);
  const auto large = fillAndEmpty(100'000);
  EXPECT_LT(large, kSlowdown * std::chrono::seconds(2));
  // Ten times the entries, at most about ten times the work (a quadratic cost gives 100).
  EXPECT_LT(large, 30 * small);
}

using QuitTest = testing::RuntimeTest;

class ClosingWindow : public Window {
 public:
  void Event_Close() override {
    closes.push_back(Quitting() ? "close while quitting" : "close");
    Quit(0);  // what the program's main window does
  }
  static inline std::vector<std::string> closes;
};

TEST_F(QuitTest, QuitItemClosesEveryWindowThenQuits) {
  ClosingWindow::closes.clear();
  auto a = Window::New<ClosingWindow>();
  auto b = Window::New<ClosingWindow>();
  auto bar = ProgramBar();
  a->SetMenuBar(bar);
  headless::ChooseMenu(*bar->Lookup("FileQuit"));
  EXPECT_FALSE(a->IsLive());
  EXPECT_FALSE(b->IsLive());
  EXPECT_EQ(ClosingWindow::closes, (std::vector<std::string>{"close", "close while quitting"}));
  EXPECT_TRUE(Quitting());
  // Quitting again is harmless, and the first code stands.
  Quit(3);
  headless::ChooseMenu(*bar->Lookup("FileQuit"));
  RuntimeRun();  // returns at once: quit was already asked for
  EXPECT_EQ(Exit(), 0);
}

TEST_F(QuitTest, UnhandledChoiceGoesToAMenuHandlerOfTheFrontWindow) {
  auto w = Window::New<Window>();
  auto canvas = std::make_shared<Canvas>();
  w->AddControl("mainPower", canvas);
  std::vector<std::string> got;
  int enables = 0;
  canvas->OnEnableMenuItems = [&](Canvas&) { ++enables; };
  canvas->AddMenuHandler("EditUndo", [&] {
    got.push_back("undo");
    return true;
  });
  auto bar = ProgramBar();
  headless::ChooseMenu(*bar->Lookup("EditUndo"));
  headless::ChooseMenu(*bar->Lookup("EditMenu"));
  EXPECT_EQ(got, std::vector<std::string>{"undo"});
  EXPECT_EQ(enables, 2) << "menus are brought up to date before each choice";
}

TEST_F(QuitTest, WindowMenuBarChangesAreLogged) {
  auto w = Window::New<Window>();
  auto bar = ProgramBar();
  w->SetMenuBar(bar);
  headless::ClearLog();
  auto entry = Item("", "東京");
  bar->Child("placeMenu")->Append(entry);
  entry->SetChecked(true);
  bar->Child("placeMenu")->Remove(0);
  EXPECT_EQ(headless::LogWith("menu."),
            (std::vector<std::string>{"menu.append placeMenu 東京", "menu.change 東京",
                                      "menu.remove placeMenu 0"}));
  w->Close();
  bar->Child("placeMenu")->Append(Item("", "大阪"));
  EXPECT_EQ(headless::LogWith("menu.").size(), 3u) << "a closed window's peer stops listening";
}

TEST_F(QuitTest, TwoWindowsShowingOneBarEachKeepTheirView) {
  auto a = Window::New<Window>();
  auto b = Window::New<Window>();
  auto bar = ProgramBar();
  a->SetMenuBar(bar);
  b->SetMenuBar(bar);
  headless::ClearLog();
  bar->Child("placeMenu")->Append(Item("", "東京"));
  EXPECT_EQ(headless::LogWith("menu.").size(), 2u) << "both windows' peers are told";
  // The window that took the bar last closes first: the other still follows the bar.
  b->Close();
  bar->Child("placeMenu")->Append(Item("", "大阪"));
  EXPECT_EQ(headless::LogWith("menu.").size(), 3u);
}

}  // namespace
}  // namespace platform
