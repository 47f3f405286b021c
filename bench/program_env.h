#pragma once
// The program brought up once per process on the headless backend, the way the real
// main routine does it, in the folders of the shared headless program harness: a temporary
// resources layout beside a stand-in executable, a fresh preferences folder (so the
// first-run defaults apply) and a working folder per scenario (where "station.txt" is
// looked up).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/headless_program.h"
#include "tuner/tuner_window.h"

namespace bench {

class ProgramEnv {
 public:
  // The one environment of the process, started on first use.
  static ProgramEnv& Get();
  // Ends the program the way the main routine does and removes the folders. Call once, at
  // the end of main.
  static void Shutdown();

  tunerWindow& Window() { return *window_; }
  const std::filesystem::path& Root() const { return program_.Root(); }

  // Makes `folder` (below the root) the working folder, creating it when missing, so
  // that the next readStation finds that folder's "station.txt" or none.
  void UseWorkFolder(const std::string& folder);

  // Runs the event loop until nothing is pending; returns the number of dispatches.
  static int RunUntilIdle();
  // Runs one tuning pass from Thread.Run to its end. Returns false when the worker did not
  // finish a pass (a fault that makes the figure meaningless).
  bool RunPass();

  // Puts the needle at x (both ends of the line, as the input handlers do).
  void PlaceNeedle(platform::Int32 x);
  // Power on and the AM band, as the first-run defaults leave them.
  void PowerOnAM();

  struct Key {
   private:
    friend class ProgramEnv;
    Key() = default;
  };
  explicit ProgramEnv(Key);
  ProgramEnv(const ProgramEnv&) = delete;
  ProgramEnv& operator=(const ProgramEnv&) = delete;

 private:
  testsupport::HeadlessProgram program_;
  tunerWindow* window_ = nullptr;  // owned by the framework's window list
};

// A monotonic clock reading in nanoseconds.
inline std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace bench
