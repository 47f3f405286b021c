// The hidden player window and its web view.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "player/ondella_window.h"
#include "support/program_fixture.h"

namespace {

using I64 = std::int64_t;
using platform::String;
using testsupport::ExpectProperties;

class OndellaWindowTest : public testsupport::ProgramTest {};

TEST_F(OndellaWindowTest, InstanceBuildsOneHiddenWindowWithItsWebView) {
  const auto w = OndellaWindow::Instance();
  ASSERT_TRUE(w);
  EXPECT_EQ(OndellaWindow::Instance(), w);
  EXPECT_FALSE(w->Visible());
  EXPECT_EQ(w->Width(), 66);
  EXPECT_EQ(w->Height(), 64);
  EXPECT_EQ(w->Title(), "Ondella");
  EXPECT_TRUE(w->Resizeable());
  EXPECT_FALSE(w->MaximizeButton());
  EXPECT_FALSE(w->Backdrop());
  EXPECT_FALSE(w->MenuBar());

  ASSERT_EQ(w->Controls().size(), 1u);
  const auto view = w->HTMLViewer1();
  ASSERT_TRUE(view);
  EXPECT_EQ(w->HTMLViewer1(), view);
  EXPECT_EQ(view->Name(), "HTMLViewer1");
  EXPECT_EQ(view->Left(), 0);
  EXPECT_EQ(view->Top(), 0);
  EXPECT_EQ(view->Width(), 36);
  EXPECT_EQ(view->Height(), 32);
  EXPECT_FALSE(view->Visible());
  EXPECT_TRUE(view->Enabled());
  EXPECT_EQ(view->URL(), "");

  testsupport::Settle();
  EXPECT_EQ(Log("window."), std::vector<std::string>{});
  EXPECT_EQ(Log("web."), std::vector<std::string>{});
}

TEST_F(OndellaWindowTest, DesignTimePropertiesReadBack) {
  const auto w = OndellaWindow::Instance();
  ExpectProperties(*w, {
                           {"Placement", I64{0}},        {"Width", I64{66}},
                           {"Height", I64{64}},          {"MinWidth", I64{64}},
                           {"MinHeight", I64{64}},       {"MaxWidth", I64{32000}},
                           {"MaxHeight", I64{32000}},    {"Frame", I64{7}},
                           {"Composite", true},          {"HasBackColor", false},
                           {"BackColor", platform::RGB(0xFFFFFF)},
                           {"Title", String("Ondella")}, {"Visible", false},
                           {"FullScreen", false},        {"MenuBarVisible", true},
                           {"CloseButton", true},        {"Resizeable", true},
                           {"LiveResize", true},         {"MaximizeButton", false},
                           {"MinimizeButton", true},     {"MacProcID", I64{0}},
                       });
  ExpectProperties(*w->HTMLViewer1(),
                   {
                       {"Name", String("HTMLViewer1")},
                       {"Index", I64{std::numeric_limits<platform::Int32>::min()}},
                       {"Left", I64{0}},           {"Top", I64{0}},
                       {"Width", I64{36}},         {"Height", I64{32}},
                       {"LockLeft", true},         {"LockTop", true},
                       {"LockRight", true},        {"LockBottom", true},
                       {"TabPanelIndex", I64{0}},  {"InitialParent", String()},
                       {"TabIndex", I64{0}},       {"Visible", false},
                       {"HelpTag", String()},      {"AutoDeactivate", false},
                       {"Enabled", true},
                   });
}

TEST_F(OndellaWindowTest, FiveEditItemsReachTheViewAndAreNotHandled) {
  const auto view = OndellaWindow::Instance()->HTMLViewer1();
  for (const char* item : {"EditClear", "EditCopy", "EditCut", "EditPaste", "EditSelectAll"}) {
    const auto* handler = view->FindMenuHandler(item);
    ASSERT_TRUE(handler && *handler) << item;
    EXPECT_FALSE((*handler)()) << item;
  }
  for (const char* item : {"EditUndo", "UntitledMenu0", "UntitledMenu1", "FileQuit", "placeMenu"}) {
    EXPECT_FALSE(view->FindMenuHandler(item)) << item;
  }
  EXPECT_EQ(view->URL(), "");
}

TEST_F(OndellaWindowTest, ClosedWindowIsReplacedByAFreshOne) {
  const auto first = OndellaWindow::Instance();
  first->HTMLViewer1()->LoadURL("http://127.0.0.1:1/page");
  platform::headless::CloseWindow(*first);
  testsupport::Settle();
  const auto second = OndellaWindow::Instance();
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);
  EXPECT_FALSE(second->Visible());
  EXPECT_EQ(second->HTMLViewer1()->URL(), "");
}

}  // namespace
