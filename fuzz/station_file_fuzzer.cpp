// Feeds any bytes to the station reader as "station.txt" and checks the result against the
// rules of the file: one region entry per run of lines, the stations of the requested
// region in file order, index 0 left alone, and the two lists in step at every yield.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/headless/headless.h"
#include "platform/menu.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

struct Expected {
  struct Entry {
    std::string text;
    bool checked;
  };
  std::vector<Entry> entries;
  std::vector<std::string> names;
  std::vector<double> hz;
  bool placeChanged = false;
  std::string place;
};

Expected Model(const std::vector<std::string>& lines, const std::string& requested) {
  Expected e;
  std::string run;
  for (const auto& line : lines) {
    const std::string region = platform::NthField(line, ",", 1);
    if (region != run) {
      run = region;
      e.entries.push_back({region, region == requested});
      if (region == requested) {
        e.placeChanged = true;
        e.place = region;
      }
    }
    if (region == requested) {
      e.names.push_back(platform::NthField(line, ",", 2));
      e.hz.push_back(platform::Val(platform::NthField(line, ",", 3)));
    }
  }
  return e;
}

bool SameDouble(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::Init();
  tunerWindow& w = fuzzsupport::MainWindow();
  const std::string contents(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = fuzzsupport::LinesOf(contents);

  // The requested region is one of the file's own (so that lines match) or the empty text,
  // which stands for the default region.
  const std::uint32_t pick = fuzzsupport::Mix(data, size) % (lines.size() + 1);
  const std::string place = pick < lines.size() ? platform::NthField(lines[pick], ",", 1) : "";
  const std::string requested = place.empty() ? "東京" : place;

  // Index 0 is either the blank entry or what the built-in list left there.
  const bool builtInFirst = (size & 1) != 0;
  w.stationName.assign({builtInFirst ? "TBS" : ""});
  w.stationHz.assign({builtInFirst ? 954.0 : 0.0});
  const std::string placeBefore = "\x01" "before";
  w.currentPlace = placeBefore;

  fuzzsupport::WriteBytes(fuzzsupport::WorkDir() / "station.txt", data, size);
  platform::SetYieldObserverForTesting([&w](bool) {
    FUZZ_CHECK(w.stationName.size() == w.stationHz.size());
    FUZZ_CHECK(!w.stationName.empty());
  });
  w.readStation(place);
  platform::SetYieldObserverForTesting(nullptr);

  const Expected e = Model(lines, requested);
  FUZZ_CHECK(w.stationName.size() == w.stationHz.size());
  FUZZ_CHECK(w.stationName.size() == 1 + e.names.size());
  FUZZ_CHECK(w.stationName[0] == (builtInFirst ? "TBS" : ""));
  FUZZ_CHECK(w.stationHz[0] == (builtInFirst ? 954.0 : 0.0));
  for (std::size_t i = 0; i < e.names.size(); ++i) {
    FUZZ_CHECK(w.stationName[i + 1] == e.names[i]);
    FUZZ_CHECK(SameDouble(w.stationHz[i + 1], e.hz[i]));
  }
  FUZZ_CHECK(w.currentPlace == (e.placeChanged ? e.place : placeBefore));

  const auto menu = w.placeMenu();
  FUZZ_CHECK(menu != nullptr);
  FUZZ_CHECK(menu->Count() == static_cast<platform::Int32>(e.entries.size()));
  for (std::size_t i = 0; i < e.entries.size(); ++i) {
    const auto entry = menu->Item(static_cast<platform::Int32>(i));
    FUZZ_CHECK(entry != nullptr);
    FUZZ_CHECK(entry->Text() == e.entries[i].text);
    FUZZ_CHECK(entry->Checked() == e.entries[i].checked);
    FUZZ_CHECK(entry->AutoEnable());
  }

  // Without the file the built-in list takes every index and the menu stays as it is.
  if ((size & 2) != 0) {
    fuzzsupport::RemovePath(fuzzsupport::WorkDir() / "station.txt");
    w.readStation(place);
    FUZZ_CHECK(w.stationName.size() == 6 && w.stationHz.size() == 6);
    FUZZ_CHECK(w.stationName[0] == "TBS" && w.stationHz[0] == 954.0);
    FUZZ_CHECK(menu->Count() == static_cast<platform::Int32>(e.entries.size()));
    FUZZ_CHECK(w.currentPlace == (e.placeChanged ? e.place : placeBefore));
  }

  // Let anything the reload queued on the event loop run, so nothing piles up.
  platform::headless::RunUntilIdle();
  fuzzsupport::QuietBackend();
  return 0;
}
