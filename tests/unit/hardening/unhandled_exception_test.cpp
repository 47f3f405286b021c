// Exceptions that nothing in the program catches: one leaving an event handler, one leaving
// the worker's tuning pass. Each is reported on standard error and the event loop goes on.

#include <gtest/gtest.h>

#include <string>

#include "platform/headless/headless.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "support/program_fixture.h"
#include "tuner/tuner_window.h"

namespace {

namespace headless = platform::headless;

class UnhandledExceptionTest : public testsupport::ProgramTest {};

int Count(const std::string& text, const std::string& word) {
  int n = 0;
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

TEST_F(UnhandledExceptionTest, HandlerAndPassFailuresAreReportedAndInputGoesOn) {
  // Without the AM noise the first-run Open event fails where it starts the noise, before
  // the needle is placed.
  headless::FailToDecode("amnoise.wav");
  testing::internal::CaptureStderr();
  const auto w = tunerWindow::Instance();
  testsupport::Settle();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(err, "NilObjectException"), 1) << err;
  EXPECT_TRUE(w->IsLive());
  EXPECT_EQ(w->stationName.size(), 6u);  // the station list was loaded before the failure

  // The wheel brings the needle into the dial; the pass it starts finds nothing at 106, so
  // it does not touch the missing noise.
  testing::internal::CaptureStderr();
  headless::Wheel(*w, -1000);
  testsupport::Settle();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "");
  ASSERT_EQ(w->tuneBar()->X1(), 106);

  // A band click stops the noise in its handler: the handler fails there.
  testing::internal::CaptureStderr();
  headless::Click(*w->bandSwitch());
  testsupport::Settle();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(err, "NilObjectException"), 1) << err;

  // Back on AM by key, which leaves the noise alone, and on to 189, where nothing is heard.
  testing::internal::CaptureStderr();
  headless::PressKey(*w, "b");
  for (int i = 106; i < 189; ++i) headless::PressKey(*w, platform::ChrB(29));
  testsupport::Settle();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "");

  // 954 kHz lies at 190: the pass that tunes it in stops the missing noise and fails there,
  // with `tuning` already set.
  testing::internal::CaptureStderr();
  headless::PressKey(*w, platform::ChrB(29));
  testsupport::Settle();
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(err, "NilObjectException"), 1) << err;
  EXPECT_TRUE(w->tuning);

  // The loop still delivers input and runs passes afterwards.
  const auto passes = w->tuneStationThread()->RunsCompleted();
  headless::PressKey(*w, platform::ChrB(29));
  testsupport::Settle();
  EXPECT_EQ(w->tuneBar()->X1(), 191);
  EXPECT_EQ(w->tuneStationThread()->RunsCompleted(), passes + 1);
}

}  // namespace
