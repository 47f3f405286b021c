#pragma once
// A runtime on the headless backend for one test: RuntimeInit before, RuntimeExit after.

#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/headless/headless.h"
#include "support/settle.h"

namespace platform::testing {

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override { RuntimeInit(); }
  void TearDown() override {
    if (!exited_) RuntimeExit();
  }
  // Ends the runtime inside the test, to look at what RuntimeExit does.
  int Exit() {
    exited_ = true;
    return RuntimeExit();
  }
  // Runs the loop dry; fails the test when it does not settle.
  static void Settle() { testsupport::Settle(); }

 private:
  bool exited_ = false;
};

}  // namespace platform::testing
