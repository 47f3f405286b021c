// The tests' wait for the event loop fails the case when the loop never settles.

#include <glib.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "support/settle.h"

namespace {

TEST(Settle, FailsTheTestWhileASourceKeepsTheLoopBusyAndPassesOnceItIsGone) {
  const guint busy = g_idle_add([](gpointer) { return gboolean(G_SOURCE_CONTINUE); }, nullptr);
  EXPECT_FATAL_FAILURE(testsupport::Settle(1000), "did not settle within 1000 dispatches");
  g_source_remove(busy);
  testsupport::Settle();
}

}  // namespace
