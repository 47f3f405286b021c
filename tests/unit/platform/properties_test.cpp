#include "platform/properties.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/controls.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "runtime_fixture.h"

namespace platform {
namespace {

TEST(Properties, MeaningfulNamesTakeEffectAndEveryValueReadsBack) {
  Line line;
  SetProperties(line, {{"Name", String("tuneBar")},
                       {"Index", std::int64_t{std::numeric_limits<Int32>::min()}},
                       {"Top", std::int64_t{19}},
                       {"Left", std::int64_t{105}},
                       {"X1", std::int64_t{105}},
                       {"X2", std::int64_t{1} << 40},  // beyond Int32: saturates
                       {"Y1", -(std::int64_t{1} << 40)},
                       {"Y2", std::int64_t{25}},
                       {"Visible", false},
                       {"BorderWidth", std::int64_t{3}},
                       {"LineColor", RGB(0xFF7F00)},
                       {"InitialParent", String("")}});
  EXPECT_EQ(line.Name(), "tuneBar");
  EXPECT_EQ(line.Top(), 19);
  EXPECT_EQ(line.Left(), 105);
  EXPECT_EQ(line.X1(), 105);
  EXPECT_EQ(line.X2(), std::numeric_limits<Int32>::max());
  EXPECT_EQ(line.Y1(), std::numeric_limits<Int32>::min());
  EXPECT_EQ(line.Y2(), 25);
  EXPECT_FALSE(line.Visible());
  EXPECT_EQ(line.BorderWidth(), 3);
  EXPECT_EQ(line.LineColor(), (Color{255, 127, 0}));
  ASSERT_NE(line.GetProperty("Index"), nullptr);
  EXPECT_EQ(std::get<std::int64_t>(*line.GetProperty("Index")), std::numeric_limits<Int32>::min());
  EXPECT_EQ(std::get<String>(*line.GetProperty("InitialParent")), "");
  EXPECT_EQ(line.GetProperty("Nothing"), nullptr);

  // The last value given wins.
  line.SetProperty("X1", std::int64_t{110});
  EXPECT_EQ(line.X1(), 110);
  EXPECT_EQ(std::get<std::int64_t>(*line.GetProperty("X1")), 110);

  Thread worker;
  SetProperties(worker, {{"Priority", std::int64_t{5}}, {"StackSize", std::int64_t{0}}});
  EXPECT_EQ(worker.Priority(), 5);
  EXPECT_EQ(worker.StackSize(), 0);

  Canvas canvas;
  SetProperties(canvas, {{"Left", std::int64_t{32}},
                         {"Width", std::int64_t{15}},
                         {"Height", std::int64_t{34}},
                         {"Enabled", false},
                         {"LockLeft", true}});
  EXPECT_EQ(canvas.Left(), 32);
  EXPECT_EQ(canvas.Width(), 15);
  EXPECT_EQ(canvas.Height(), 34);
  EXPECT_FALSE(canvas.Enabled());
  EXPECT_TRUE(std::get<bool>(*canvas.GetProperty("LockLeft")));
}

using WindowProperties = testing::RuntimeTest;

TEST_F(WindowProperties, WindowTakesItsDesignValuesAndVisibleShowsOnceBuilt) {
  struct Strip : Window {
    void Layout() override {
      SetProperties(*this, {{"Width", std::int64_t{340}},
                            {"Height", std::int64_t{46}},
                            {"MinHeight", std::int64_t{64}},
                            {"Title", String("Palmeno")},
                            {"Visible", true},
                            {"CloseButton", true},
                            {"Resizeable", false},
                            {"MaximizeButton", false},
                            {"MinimizeButton", true}});
    }
  };
  auto w = Window::New<Strip>();
  EXPECT_EQ(w->Width(), 340);
  EXPECT_EQ(w->Height(), 46);
  EXPECT_EQ(w->Title(), "Palmeno");
  EXPECT_FALSE(w->Resizeable());
  EXPECT_FALSE(w->MaximizeButton());
  EXPECT_TRUE(w->MinimizeButton());
  EXPECT_TRUE(w->CloseButton());
  EXPECT_EQ(headless::LogWith("window."), std::vector<std::string>{"window.show Palmeno"})
      << "shown once, when built, not while Layout sets Visible";
  w->SetProperty("Visible", false);
  EXPECT_FALSE(w->Visible());
  EXPECT_EQ(headless::LogWith("window.").back(), "window.hide Palmeno");
}

}  // namespace
}  // namespace platform
