// The benchmark runner. It runs the benchmarks, then prints each figure next to its limit,
// the limit measured in the same run where it is a multiple of a plain baseline.
//
//   palmeno_bench [benchmark flags]   every benchmark, then the summary
//   palmeno_bench --check-ratios      a quick run of the ratio benchmarks only; exits 1 when
//                                     a ratio exceeds twice its goal, a margin wide enough
//                                     for a shared, noisy machine
//
// Times never fail the run; only ratios within one run do, and only in that wide margin.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/program_env.h"

namespace {

struct Result {
  double secondsPerIteration = 0;
  benchmark::UserCounters counters;
};

// Shows the usual console report and keeps every benchmark's result by name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  explicit CollectingReporter(bool color)
      : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      results_[run.benchmark_name()] = {
          run.real_accumulated_time / static_cast<double>(run.iterations), run.counters};
    }
  }
  std::optional<Result> Find(const std::string& name) const {
    auto it = results_.find(name);
    if (it == results_.end()) return std::nullopt;
    return it->second;
  }

 private:
  std::map<std::string, Result> results_;
};

// A ratio of two results of this run, with its goal. A checked ratio fails the run when it
// exceeds twice the goal.
struct Ratio {
  const char* figure;
  std::string numerator, denominator;
  double perUnit;  // stations or lines, to print the time per unit
  double goal;
  bool checked;
  const char* baseline = "plain";
};

std::string Name(const char* family, long arg) {
  return std::string(family) + "/" + std::to_string(arg) + (std::string(family).starts_with("P1_") ? "/real_time" : "/manual_time");
}

int PrintSummary(const CollectingReporter& results, bool quick) {
  int failures = 0;
  std::printf("\nSummary (figure | measured | limit in this run | goal)\n");

  std::vector<Ratio> ratios;
  for (long n : {6L, 1000L, 100000L, 1000000L}) {
    if (quick && n != 100000) continue;
    ratios.push_back({"P1 tuning pass", Name("P1_TuningPass", n), Name("P1_PlainLoop", n),
                      static_cast<double>(n), 3.0, n == 100000});
  }
  // The floor: the same comparisons over the arrays, the needle and band read through
  // pointers held for the loop. What the pass pays above it is its accessors and yields.
  for (long n : {6L, 1000L, 100000L, 1000000L}) {
    if (quick && n != 100000) continue;
    ratios.push_back({"P1 pass / floor", Name("P1_TuningPass", n), Name("P1_Floor", n),
                      static_cast<double>(n), 5.0, n == 100000, "floor"});
  }
  for (long n : {1000L, 100000L}) {
    ratios.push_back({"readStation", Name("ReadStation", n), Name("PlainReadSplit", n),
                      static_cast<double>(n), 3.0, true});
  }
  for (const auto& r : ratios) {
    auto a = results.Find(r.numerator), b = results.Find(r.denominator);
    if (!a || !b) {
      std::printf("  %-16s %-22s no result\n", r.figure, r.numerator.c_str());
      if (r.checked) ++failures;
      continue;
    }
    const double ratio = a->secondsPerIteration / b->secondsPerIteration;
    const bool broken = r.checked && ratio > 2 * r.goal;
    std::printf("  %-16s %-30s %10.1f ns/unit | %10.1f ns/unit (%.0fx %s) | ratio %.2fx, goal <= %.0fx%s%s\n",
                r.figure, r.numerator.c_str(), a->secondsPerIteration / r.perUnit * 1e9,
                b->secondsPerIteration / r.perUnit * 1e9 * r.goal, r.goal, r.baseline, ratio, r.goal,
                r.checked ? "" : " (information)", broken ? "  BROKEN by a wide margin" : "");
    failures += broken ? 1 : 0;
  }

  // readStation's cost per line should not grow with the file.
  auto small = results.Find(Name("ReadStation", 1000)), large = results.Find(Name("ReadStation", 100000));
  if (small && large) {
    const double growth = (large->secondsPerIteration / 100000) / (small->secondsPerIteration / 1000);
    const bool broken = growth > 4.0;
    std::printf("  %-16s per line at 100,000 / per line at 1,000: %.2fx, goal <= 2x (linear)%s\n",
                "readStation", growth, broken ? "  BROKEN by a wide margin" : "");
    failures += broken ? 1 : 0;
  }

  if (auto p2 = results.Find("P2_EventWaitDuringPass/1000000/iterations:5/real_time")) {
    std::printf("  %-16s longest wait of an event during a 1,000,000-station pass: %.3f ms "
                "(mean %.1f us over %.0f events) | limit 5 ms\n",
                "P2 event wait", double(p2->counters["max_wait_ms"]),
                double(p2->counters["mean_wait_us"]), double(p2->counters["events"]));
  }
  if (auto p3 = results.Find("P3_KeyToLoadURL/manual_time")) {
    std::printf("  %-16s right arrow to the station's LoadURL call (headless, no page load): "
                "mean %.1f us, max %.1f us | limit 1000 us\n",
                "P3 key to LoadURL", p3->secondsPerIteration * 1e6, double(p3->counters["max_us"]));
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::vector<std::string> storage;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--check-ratios") == 0) {
      quick = true;
    } else {
      storage.emplace_back(argv[i]);
    }
  }
  if (quick) {
    storage.emplace_back("--benchmark_min_time=0.1");
    storage.emplace_back("--benchmark_color=false");
    storage.emplace_back(
        "--benchmark_filter=^(P1_(TuningPass|PlainLoop|Floor)/100000/|(ReadStation|PlainReadSplit)/)");
  }
  std::vector<char*> args;
  for (auto& s : storage) args.push_back(s.data());
  args.push_back(nullptr);
  int count = static_cast<int>(storage.size());

  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
  CollectingReporter reporter(!quick && isatty(STDOUT_FILENO));
  int failures = 0;
  try {
    benchmark::RunSpecifiedBenchmarks(&reporter);
    failures = PrintSummary(reporter, quick);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "palmeno_bench: %s\n", e.what());
    failures = 1;
  }
  bench::ProgramEnv::Shutdown();
  benchmark::Shutdown();
  return failures == 0 ? 0 : 1;
}
