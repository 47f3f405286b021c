// The tuning pass: its cost against a loop without yields and against the bare walk over
// the two arrays (P1), how long a user-interface event waits while a long pass runs (P2),
// and the way from a key press to the LoadURL call it causes (P3; the page's own load is
// measured on the desktop by tools/bench-desktop).

#include <benchmark/benchmark.h>
#include <glib.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/media.h"
#include "bench/program_env.h"
#include "platform/headless/headless.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "platform/types.h"

namespace bench {
namespace {

// The needle of the station-free lists below, on the AM band: 550 kHz.
constexpr platform::Int32 kFreeNeedle = 110;

// A list of n stations none of which matches at the free needle, chosen so that every
// entry takes both of the pass's tests (its lower end lies below 550 kHz, its upper end
// does not reach it).
void FillStationFreeList(tunerWindow& w, std::size_t n) {
  w.stationName.assign(n, platform::String());
  w.stationHz.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    w.stationName[i] = "S" + std::to_string(i % 100000);
    w.stationHz[i] = 100.0 + static_cast<double>(i % 400);
  }
}

void PrepareStationFreePass(std::size_t n) {
  auto& env = ProgramEnv::Get();
  auto& w = env.Window();
  env.PowerOnAM();
  env.PlaceNeedle(kFreeNeedle);
  w.tuning = false;
  FillStationFreeList(w, n);
  platform::headless::ClearLog();
}

// The pass's reads and comparisons, made the same way (through the same accessors, each
// read afresh in every iteration) but without a yield: the cost of the walk itself.
std::ptrdiff_t PlainWalk(tunerWindow& w) {
  if (w.mainPower()->Backdrop() == power_m_gray()) return -1;
  for (std::size_t i = 0; i < w.stationName.size(); ++i) {
    const auto& band = w.bandSwitch()->Backdrop();
    if (i >= w.stationHz.size()) continue;
    const double h = w.stationHz[i];
    bool match = false;
    if (band == switch_up()) {
      const double f = static_cast<double>(platform::WrapMul(5, w.tuneBar()->X1()));
      match = h - 5.0 < f && f < h + 5.0;
    } else if (band == switch_down()) {
      const double f =
          76.0 + static_cast<double>(platform::WrapSub(w.tuneBar()->X1(), 111)) * 0.13333333;
      match = h - 0.15 < f && f < h + 0.15;
    }
    if (match) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

// The floor: the same comparisons over the two arrays, with the needle and the band read in
// every iteration through pointers taken once before the loop, and no yield.
std::ptrdiff_t FloorWalk(tunerWindow& w) {
  if (w.mainPower()->Backdrop() == power_m_gray()) return -1;
  const platform::Line* needle = w.tuneBar();
  const platform::Canvas* bandSwitch = w.bandSwitch();
  const platform::Picture* up = switch_up().get();
  const platform::Picture* down = switch_down().get();
  const std::vector<platform::String>& names = w.stationName;
  const std::vector<double>& hz = w.stationHz;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const platform::Picture* band = bandSwitch->Backdrop().get();
    if (i >= hz.size()) continue;
    const double h = hz[i];
    bool match = false;
    if (band == up) {
      const double f = static_cast<double>(platform::WrapMul(5, needle->X1()));
      match = h - 5.0 < f && f < h + 5.0;
    } else if (band == down) {
      const double f =
          76.0 + static_cast<double>(platform::WrapSub(needle->X1(), 111)) * 0.13333333;
      match = h - 0.15 < f && f < h + 0.15;
    }
    if (match) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

// Counts the yields of one pass, to prove that the pass walks the whole list.
std::uint64_t YieldsOfOnePass() {
  std::uint64_t yields = 0;
  platform::SetYieldObserverForTesting([&yields](bool onFiber) { yields += onFiber ? 1 : 0; });
  const bool ok = ProgramEnv::Get().RunPass();
  platform::SetYieldObserverForTesting(nullptr);
  return ok ? yields : 0;
}

void BM_P1_TuningPass(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  PrepareStationFreePass(n);
  if (YieldsOfOnePass() != n) {
    state.SkipWithError("the pass did not walk the whole list with one yield per station");
    return;
  }
  auto& env = ProgramEnv::Get();
  for (auto _ : state) {
    if (!env.RunPass()) {
      state.SkipWithError("the worker did not finish the pass");
      return;
    }
  }
  if (env.Window().tuning || !platform::headless::LogWith("web.load").empty()) {
    state.SkipWithError("a station-free pass tuned in");
    return;
  }
  state.counters["stations"] = static_cast<double>(n);
}

// The plain loop and the floor: the same comparisons as the pass, walked by `walk`.
void BM_P1_Walk(benchmark::State& state, std::ptrdiff_t (*walk)(tunerWindow&)) {
  const auto n = static_cast<std::size_t>(state.range(0));
  PrepareStationFreePass(n);
  auto& w = ProgramEnv::Get().Window();
  for (auto _ : state) {
    auto found = walk(w);
    benchmark::DoNotOptimize(found);
    if (found != -1) {
      state.SkipWithError("the station-free list matched");
      return;
    }
  }
  state.counters["stations"] = static_cast<double>(n);
}

BENCHMARK(BM_P1_TuningPass)
    ->Name("P1_TuningPass")
    ->Arg(6)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_P1_Walk, plain, PlainWalk)
    ->Name("P1_PlainLoop")
    ->Arg(6)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_P1_Walk, floor, FloorWalk)
    ->Name("P1_Floor")
    ->Arg(6)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// P2. Another thread posts an event to the main context about every millisecond, as the
// display connection delivers input, and the event's dispatch measures how long it waited.
// Only events posted while the pass ran count.
struct EventProbe {
  static constexpr int kSlots = 1 << 16;
  std::vector<std::atomic<std::int64_t>> postedAt = std::vector<std::atomic<std::int64_t>>(kSlots);
  std::vector<std::int64_t> waitNs = std::vector<std::int64_t>(kSlots, -1);
  std::atomic<bool> stop{false};
  std::atomic<int> posted{0};
};

EventProbe* activeProbe = nullptr;

gboolean OnProbeEvent(gpointer data) {
  const int slot = GPOINTER_TO_INT(data);
  activeProbe->waitNs[slot] = NowNs() - activeProbe->postedAt[slot].load();
  return G_SOURCE_REMOVE;
}

void BM_P2_EventWaitDuringPass(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  PrepareStationFreePass(n);
  auto& env = ProgramEnv::Get();
  auto worker = env.Window().tuneStationThread();

  std::int64_t maxWait = 0, sumWait = 0, events = 0;
  for (auto _ : state) {
    EventProbe probe;
    activeProbe = &probe;
    std::thread poster([&probe] {
      for (int i = 0; i < EventProbe::kSlots && !probe.stop.load(); ++i) {
        probe.postedAt[i].store(NowNs());
        probe.posted.store(i + 1);
        g_idle_add_full(G_PRIORITY_DEFAULT, OnProbeEvent, GINT_TO_POINTER(i), nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    const auto before = worker->RunsCompleted();
    const std::int64_t start = NowNs();
    worker->Run();
    while (worker->IsBusy() && NowNs() - start < 120'000'000'000) {
      g_main_context_iteration(nullptr, FALSE);
    }
    const std::int64_t end = NowNs();
    probe.stop.store(true);
    poster.join();
    ProgramEnv::RunUntilIdle();
    activeProbe = nullptr;
    if (worker->RunsCompleted() != before + 1) {
      state.SkipWithError("the worker did not finish the pass");
      return;
    }
    for (int i = 0; i < probe.posted.load(); ++i) {
      if (probe.postedAt[i].load() > end) break;
      if (probe.waitNs[i] < 0) continue;
      maxWait = std::max(maxWait, probe.waitNs[i]);
      sumWait += probe.waitNs[i];
      ++events;
    }
  }
  state.counters["max_wait_ms"] = static_cast<double>(maxWait) / 1e6;
  state.counters["mean_wait_us"] = events ? static_cast<double>(sumWait) / events / 1e3 : 0.0;
  state.counters["events"] = static_cast<double>(events);
}

BENCHMARK(BM_P2_EventWaitDuringPass)
    ->Name("P2_EventWaitDuringPass")
    ->Arg(1000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// P3, headless. The needle one pixel left of TBS (954 kHz, first in the built-in list, matched at
// 190 and 191); the right arrow moves it on and the pass loads the station's page. The
// time runs from the key press to the moment the loop has made the LoadURL call, checked
// after every single dispatch; the headless backend only notes the call, so no page load
// is in this figure. Between measurements the left arrow leaves the station again.
bool LogHasPlayerLoad(std::size_t from) {
  const auto& log = platform::headless::Log();
  for (std::size_t i = from; i < log.size(); ++i) {
    if (log[i].starts_with("web.load ") && log[i].ends_with("/player/player.html#TBS")) return true;
  }
  return false;
}

void BM_P3_KeyToLoadURL(benchmark::State& state) {
  auto& env = ProgramEnv::Get();
  auto& w = env.Window();
  env.UseWorkFolder("builtin");
  w.readStation("東京");
  env.PowerOnAM();
  env.PlaceNeedle(189);
  w.tuning = false;
  ProgramEnv::RunUntilIdle();
  if (w.stationName.size() != 6 || w.stationName[0] != "TBS") {
    state.SkipWithError("the built-in list is not loaded");
    return;
  }
  auto window = w.shared_from_this();
  const platform::String right = platform::ChrB(29), left = platform::ChrB(28);

  std::int64_t maxNs = 0;
  for (auto _ : state) {
    platform::headless::ClearLog();
    const std::int64_t start = NowNs();
    platform::headless::PressKey(*window, right);
    std::size_t seen = 0;
    bool loaded = LogHasPlayerLoad(0);
    while (!loaded && NowNs() - start < 1'000'000'000) {
      seen = platform::headless::Log().size();
      g_main_context_iteration(nullptr, FALSE);
      loaded = LogHasPlayerLoad(seen);
    }
    const std::int64_t took = NowNs() - start;
    if (!loaded) {
      state.SkipWithError("the key press did not load the station's page");
      return;
    }
    state.SetIterationTime(static_cast<double>(took) / 1e9);
    maxNs = std::max(maxNs, took);
    // Back off the station: the pass then loads the logo and clears `tuning`.
    ProgramEnv::RunUntilIdle();
    platform::headless::PressKey(*window, left);
    ProgramEnv::RunUntilIdle();
    if (w.tuning || w.tuneBar()->X1() != 189) {
      state.SkipWithError("leaving the station did not reset the tuner");
      return;
    }
  }
  state.counters["max_us"] = static_cast<double>(maxNs) / 1e3;
}

BENCHMARK(BM_P3_KeyToLoadURL)
    ->Name("P3_KeyToLoadURL")
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace bench
