// Loading the station list of a region from "station.txt" against a plain read of the same
// file that splits its lines and keeps the region's stations.

#include <benchmark/benchmark.h>

#include <charconv>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/program_env.h"
#include "platform/headless/headless.h"

namespace bench {
namespace {

constexpr int kRegions = 50;
constexpr const char* kRequested = "地域25";

std::string RegionName(int r) {
  std::string name = "地域";
  if (r < 10) name += '0';
  return name + std::to_string(r);
}

// A station file of `lines` lines in 50 regions, each region one run of consecutive
// lines, the way a real file groups its regions. The frequencies alternate between AM
// (kHz) and FM (MHz) values.
std::string FolderWithStationFile(int lines) {
  const std::string folder = "stations-" + std::to_string(lines);
  auto& env = ProgramEnv::Get();
  const auto path = env.Root() / folder / "station.txt";
  if (!std::filesystem::exists(path)) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    const int perRegion = (lines + kRegions - 1) / kRegions;
    for (int i = 0; i < lines; ++i) {
      out << RegionName(i / perRegion) << ",ST" << i << ','
          << (i % 2 ? std::to_string(531 + i % 1100) + ".0" : std::to_string(76 + i % 29) + ".3")
          << '\n';
    }
  }
  return folder;
}

void BM_ReadStation(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  auto& env = ProgramEnv::Get();
  env.UseWorkFolder(FolderWithStationFile(lines));
  auto& w = env.Window();
  std::size_t stations = 0;
  for (auto _ : state) {
    const std::int64_t start = NowNs();
    w.readStation(kRequested);
    state.SetIterationTime(static_cast<double>(NowNs() - start) / 1e9);
    stations = w.stationName.size() - 1;
    platform::headless::ClearLog();
  }
  const auto menu = w.placeMenu();
  if (stations != static_cast<std::size_t>(lines / kRegions) || !menu || menu->Count() != kRegions) {
    state.SkipWithError("the region's stations or the region menu are not as written");
    return;
  }
  state.counters["lines"] = lines;
  state.counters["stations"] = static_cast<double>(stations);
}

// The plain read: the whole file line by line, each line cut at its first two commas, the
// region compared and the frequency parsed for the region's lines.
std::size_t PlainReadAndSplit(const char* fileName, std::string_view region,
                              std::vector<std::string>& names, std::vector<double>& hz) {
  names.resize(1);
  hz.resize(1);
  std::ifstream in(fileName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::string_view rest(line);
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    const auto c1 = rest.find(',');
    const std::string_view field1 = rest.substr(0, c1);
    if (field1 != region) continue;
    rest = c1 == std::string_view::npos ? std::string_view() : rest.substr(c1 + 1);
    const auto c2 = rest.find(',');
    names.emplace_back(rest.substr(0, c2));
    rest = c2 == std::string_view::npos ? std::string_view() : rest.substr(c2 + 1);
    double value = 0.0;
    std::from_chars(rest.data(), rest.data() + rest.size(), value);
    hz.push_back(value);
  }
  return names.size() - 1;
}

void BM_PlainReadSplit(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  auto& env = ProgramEnv::Get();
  env.UseWorkFolder(FolderWithStationFile(lines));
  std::vector<std::string> names;
  std::vector<double> hz;
  std::size_t stations = 0;
  for (auto _ : state) {
    const std::int64_t start = NowNs();
    stations = PlainReadAndSplit("station.txt", kRequested, names, hz);
    state.SetIterationTime(static_cast<double>(NowNs() - start) / 1e9);
    benchmark::DoNotOptimize(hz.data());
  }
  if (stations != static_cast<std::size_t>(lines / kRegions)) {
    state.SkipWithError("the plain read found another number of stations");
    return;
  }
  state.counters["lines"] = lines;
  state.counters["stations"] = static_cast<double>(stations);
}

BENCHMARK(BM_ReadStation)
    ->Name("ReadStation")
    ->Arg(1000)->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainReadSplit)
    ->Name("PlainReadSplit")
    ->Arg(1000)->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace bench
