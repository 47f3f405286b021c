#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/exceptions.h"
#include "platform/menu.h"
#include "platform/window.h"
#include "runtime_fixture.h"

namespace platform {
namespace {

using WindowTest = testing::RuntimeTest;
using headless::Log;
using headless::LogWith;

std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

// Records its events, and whether the implicit look-up finds it at each of them.
class TracedWindow : public Window {
 public:
  void Layout() override {
    Note("Layout");
    SetProperties(*this, {{"Title", String("Traced")}, {"Width", std::int64_t{340}},
                          {"Height", std::int64_t{46}}, {"Placement", std::int64_t{0}},
                          {"Visible", visibleAtStart}});
  }
  void CreateControls() override {
    Note("CreateControls");
    auto line = std::make_shared<Line>();
    AddControl("tuneBar", line);
    SetProperties(*line, {{"X1", std::int64_t{105}}, {"LineColor", RGB(0xFF7F00)}});
  }
  void Event_Open() override { Note("Open"); }
  void Event_Close() override {
    Note("Close");
    if (throwOnClose) throw NilObjectException("prefs folder is missing (nil object)");
  }
  void Note(const char* what) {
    Events().push_back(std::string(what) + (GetImplicitWindow<TracedWindow>().get() == this ? "+" : "-"));
  }
  static inline bool visibleAtStart = true;
  bool throwOnClose = false;
};

class OtherWindow : public Window {
 public:
  void Event_Open() override { Events().push_back("OtherOpen"); }
};

class TracedApp : public Application {
 public:
  void Event_Open() override { Events().push_back("AppOpen"); }
};

TEST_F(WindowTest, BuiltThenOpenedFromTheLoopAndFoundUntilCloseHasEnded) {
  Events().clear();
  EXPECT_EQ(GetImplicitWindow<TracedWindow>(), nullptr);
  auto w = Window::New<TracedWindow>();
  EXPECT_EQ(Events(), (std::vector<std::string>{"Layout+", "CreateControls+"}))
      << "Open must not run before the loop does";
  EXPECT_EQ(GetImplicitWindow<TracedWindow>(), w);
  EXPECT_EQ(GetImplicitWindow<OtherWindow>(), nullptr);
  EXPECT_TRUE(w->IsLive());
  EXPECT_EQ(w->Title(), "Traced");
  EXPECT_EQ(w->Width(), 340);
  ASSERT_NE(w->GetProperty("Placement"), nullptr);
  EXPECT_EQ(std::get<std::int64_t>(*w->GetProperty("Placement")), 0);
  EXPECT_NE(w->Peer(), nullptr);
  EXPECT_EQ(LogWith("window."), std::vector<std::string>{"window.show Traced"});

  Settle();
  EXPECT_EQ(Events().back(), "Open+");

  // Dropping the caller's reference does not end the window: the runtime keeps it.
  std::weak_ptr<TracedWindow> weak = w;
  w.reset();
  ASSERT_FALSE(weak.expired());
  weak.lock()->Close();
  EXPECT_EQ(Events().back(), "Close+") << "the window is found during its Close event";
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(GetImplicitWindow<TracedWindow>(), nullptr);
}

TEST_F(WindowTest, OpenEventsRunInTheOrderTheyWereQueued) {
  Events().clear();
  RuntimeRegisterAppObject(std::make_shared<TracedApp>());
  auto a = Window::New<TracedWindow>();
  auto b = Window::New<OtherWindow>();
  Settle();
  EXPECT_EQ(Events(), (std::vector<std::string>{"Layout+", "CreateControls+", "AppOpen", "Open+", "OtherOpen"}));
}

TEST_F(WindowTest, HiddenAtStartIsNotShownAndClosedBeforeOpenNeverOpens) {
  Events().clear();
  TracedWindow::visibleAtStart = false;
  auto w = Window::New<TracedWindow>();
  TracedWindow::visibleAtStart = true;
  EXPECT_FALSE(w->Visible());
  EXPECT_TRUE(LogWith("window.").empty());
  w->Close();
  Settle();
  EXPECT_EQ(Events(), (std::vector<std::string>{"Layout+", "CreateControls+", "Close+"}));
}

TEST_F(WindowTest, CloseRunsOnceReportsItsExceptionAndIsNeverRefused) {
  Events().clear();
  auto w = Window::New<TracedWindow>();
  w->throwOnClose = true;
  ::testing::internal::CaptureStderr();
  headless::CloseWindow(*w);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("palmeno: unhandled NilObjectException: prefs folder is missing"), std::string::npos) << err;
  EXPECT_FALSE(w->IsLive());
  EXPECT_EQ(w->Peer(), nullptr);
  w->Close();
  headless::CloseWindow(*w);
  EXPECT_EQ(std::count(Events().begin(), Events().end(), "Close+"), 1);
}

// Closing the last visible window ends the application even when its Close event failed
// before asking to quit; the exit status then tells of the failure. A window that stays
// visible, or any number of hidden ones, keep it running.
TEST_F(WindowTest, ClosingTheLastVisibleWindowEndsTheApplication) {
  struct Case {
    bool throwOnClose;
    bool otherVisible;
    bool quits;
    int status;
  };
  for (const Case c : {Case{true, false, true, 1}, Case{false, false, true, 0},
                       Case{true, true, false, 0}}) {
    SCOPED_TRACE(::testing::Message() << "throw " << c.throwOnClose << " other visible "
                                      << c.otherVisible);
    RuntimeInit();
    auto hidden = Window::New<OtherWindow>();
    hidden->Hide();
    auto other = Window::New<OtherWindow>();
    if (!c.otherVisible) other->Hide();
    auto w = Window::New<TracedWindow>();
    w->throwOnClose = c.throwOnClose;
    ::testing::internal::CaptureStderr();
    headless::CloseWindow(*w);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Quitting(), c.quits);
    EXPECT_EQ(RuntimeExit(), c.status);
  }
}

// The quit item closes the windows first; one whose Close event failed makes the exit
// status 1, as the close button would.
TEST_F(WindowTest, QuittingFromTheMenuTellsOfAFailedClose) {
  for (const bool fail : {false, true}) {
    SCOPED_TRACE(fail);
    RuntimeInit();
    auto w = Window::New<TracedWindow>();
    w->throwOnClose = fail;
    QuitMenuItem quit;
    ::testing::internal::CaptureStderr();
    headless::ChooseMenu(quit);
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(w->IsLive());
    EXPECT_EQ(RuntimeExit(), fail ? 1 : 0);
  }
}

TEST_F(WindowTest, ControlsAreFoundByNameAndGetPeersAlsoWhenAddedLater) {
  auto w = Window::New<TracedWindow>();
  auto line = std::dynamic_pointer_cast<Line>(w->ControlByName("tuneBar"));
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(w->ControlByName("tuneBar"), line);
  EXPECT_EQ(w->ControlByName("nothing"), nullptr);
  EXPECT_EQ(line->OwnerWindow(), w.get());
  EXPECT_EQ(line->Name(), "tuneBar");
  EXPECT_EQ(line->X1(), 105);
  EXPECT_EQ(line->LineColor(), (Color{0xFF, 0x7F, 0x00}));
  EXPECT_NE(line->Peer(), nullptr);

  auto viewer = std::make_shared<HTMLViewer>();
  w->AddControl("HTMLViewer1", viewer);
  ASSERT_NE(viewer->Peer(), nullptr);
  viewer->LoadURL("http://127.0.0.1:8642/player/player.html#TBS");
  EXPECT_EQ(viewer->URL(), "http://127.0.0.1:8642/player/player.html#TBS");
  EXPECT_EQ(LogWith("web."), std::vector<std::string>{"web.load http://127.0.0.1:8642/player/player.html#TBS"});

  // Without a peer (its window gone) the URL is still kept.
  w->Close();
  viewer->LoadURL("http://x/");
  EXPECT_EQ(viewer->URL(), "http://x/");
  EXPECT_EQ(LogWith("web.").size(), 1u);
}

TEST_F(WindowTest, ARemovedControlIsNoLongerFoundAndSlotsFollowTheControls) {
  auto w = Window::New<TracedWindow>();
  Control* first = w->FindControl("tuneBar");
  ASSERT_NE(first, nullptr);
  ControlSlot<Line> slot("tuneBar");
  ControlSlot<Canvas> wrongClass("tuneBar");
  EXPECT_EQ(slot.Get(*w), first);
  EXPECT_EQ(slot.Get(*w), first);
  EXPECT_EQ(wrongClass.Get(*w), nullptr);

  // A second control of the same name stays behind the first until the first is removed.
  auto second = std::make_shared<Line>();
  w->AddControl("tuneBar", second);
  EXPECT_EQ(slot.Get(*w), first);
  EXPECT_EQ(w->ControlByName("tuneBar").get(), first);

  std::weak_ptr<Control> removed = first->shared_from_this();
  w->RemoveControl("tuneBar");
  EXPECT_TRUE(removed.expired());  // the window held the only reference
  EXPECT_EQ(w->Controls().size(), 1u);
  EXPECT_EQ(w->FindControl("tuneBar"), second.get());
  EXPECT_EQ(slot.Get(*w), second.get());
  EXPECT_EQ(second->OwnerWindow(), w.get());

  w->RemoveControl("tuneBar");
  w->RemoveControl("nothing");
  EXPECT_EQ(second->OwnerWindow(), nullptr);
  EXPECT_EQ(second->Peer(), nullptr);
  EXPECT_TRUE(w->Controls().empty());
  EXPECT_EQ(w->ControlByName("tuneBar"), nullptr);
  EXPECT_EQ(slot.Get(*w), nullptr);

  // A control added later under the name is found again.
  auto third = std::make_shared<Line>();
  w->AddControl("tuneBar", third);
  EXPECT_EQ(slot.Get(*w), third.get());
}

TEST_F(WindowTest, BackdropIsTheVeryPictureSet) {
  auto a = std::make_shared<Picture>(15, 34, nullptr);
  auto b = std::make_shared<Picture>(15, 34, nullptr);
  Canvas canvas;
  EXPECT_EQ(canvas.Backdrop(), nullptr);
  canvas.SetBackdrop(a);
  EXPECT_EQ(canvas.Backdrop(), a);
  EXPECT_NE(canvas.Backdrop(), b) << "an equal picture is not the same picture";
  canvas.SetBackdrop(nullptr);
  EXPECT_EQ(canvas.Backdrop(), nullptr);
}

TEST_F(WindowTest, PositionAndVisibilityGoToThePeer) {
  auto w = Window::New<TracedWindow>();
  headless::ClearLog();
  w->SetTop(120);
  w->SetLeft(300);
  w->Hide();
  w->Show();
  EXPECT_EQ(LogWith("window."), (std::vector<std::string>{"window.move Traced 120 0", "window.move Traced 120 300",
                                                          "window.hide Traced", "window.show Traced"}));
  EXPECT_EQ(w->Top(), 120);
  EXPECT_EQ(w->Left(), 300);
  events::WindowMoved(*w, 5, 6);
  EXPECT_EQ(w->Top(), 5);
  EXPECT_EQ(w->Left(), 6);
}

TEST_F(WindowTest, InputReachesTheHandlersAndTheirExceptionsAreReported) {
  struct Input : Window {
    std::vector<std::string> got;
    bool Event_KeyDown(const String& key) override {
      got.push_back("key " + key);
      if (key == "x") throw NilObjectException("tuneBar is missing (nil object)");
      return false;
    }
    bool Event_MouseWheel(Int32 x, Int32 y, Int32 dx, Int32 dy) override {
      got.push_back("wheel " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(dx) + " " +
                    std::to_string(dy));
      return false;
    }
  };
  auto w = Window::New<Input>();
  auto canvas = std::make_shared<Canvas>();
  w->AddControl("mainPower", canvas);
  canvas->OnMouseDown = [&](Canvas& c, Int32 x, Int32 y) {
    w->got.push_back(c.Name() + " " + std::to_string(x) + " " + std::to_string(y));
    return false;
  };
  ::testing::internal::CaptureStderr();
  headless::PressKey(*w, "x");
  headless::PressKey(*w, "b");
  headless::Wheel(*w, -3, 1, 10, 20);
  headless::Click(*canvas, 4, 5);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(w->got, (std::vector<std::string>{"key x", "key b", "wheel 10 20 1 -3", "mainPower 4 5"}));
  EXPECT_NE(err.find("NilObjectException: tuneBar is missing"), std::string::npos);
}

TEST_F(WindowTest, FrontWindowIsTheLastShownOrActivatedThatIsStillVisible) {
  auto a = Window::New<TracedWindow>();
  auto b = Window::New<OtherWindow>();
  EXPECT_EQ(events::FrontWindow(), b.get());
  events::WindowActivated(*a);
  EXPECT_EQ(events::FrontWindow(), a.get());
  a->Hide();
  EXPECT_EQ(events::FrontWindow(), b.get());
  b->Close();
  EXPECT_EQ(events::FrontWindow(), nullptr);
}

TEST_F(WindowTest, ExitDropsWindowsWithoutTheirCloseEvents) {
  Events().clear();
  std::weak_ptr<Window> weak = Window::New<TracedWindow>();
  Settle();
  Exit();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(std::count(Events().begin(), Events().end(), "Close+"), 0);
}

TEST_F(WindowTest, AFailedBuildLeavesNoWindowBehind) {
  struct Broken : Window {
    void Layout() override { throw NilObjectException("Ondella is missing (nil object)"); }
  };
  EXPECT_THROW(Window::New<Broken>(), NilObjectException);
  EXPECT_EQ(GetImplicitWindow<Broken>(), nullptr);
  Settle();
}

}  // namespace
}  // namespace platform
