#pragma once
// The unit tests' one way to wait for the event loop.

#include <gtest/gtest.h>

#include "platform/headless/headless.h"

namespace testsupport {

// Far above what any case needs: a tuning pass over a long station list takes a few
// thousand dispatches.
inline constexpr int kSettleLimit = 100'000;

// Runs the event loop until nothing is pending: queued Open events, thread runs, timers
// that are due. Fails the test when the loop is still busy after `limit` dispatches, so a
// loop that keeps itself going shows up as a failure instead of passing unnoticed.
inline void Settle(int limit = kSettleLimit) {
  ASSERT_LT(platform::headless::RunUntilIdle(limit), limit)
      << "the event loop did not settle within " << limit << " dispatches";
}

}  // namespace testsupport
