// The station list of a region and the region menu, both read from "station.txt".
//
// readStation runs on the user-interface thread while a tuning pass may be under way on the
// worker. It yields after each removed region entry and after each line of the file; at
// every one of those yields stationName and stationHz have the same size, because the two
// are only ever changed together with no yield in between.

#include <iterator>
#include <memory>
#include <string_view>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "tuner/tuner_window.h"

namespace {

struct BuiltInStation {
  const char* name;
  double hz;
};

// Used whatever region is asked for when there is no station file.
constexpr BuiltInStation kBuiltInStations[] = {
    {"TBS", 954.0}, {"QRR", 1134.0}, {"LFR", 1242.0}, {"INT", 76.1}, {"FMT", 80.0}, {"FMJ", 81.3},
};

}  // namespace

void tunerWindow::readStation(String place) {
  using platform::Need;
  using platform::TextEquals;

  const String requested = TextEquals(place, "") ? String(kDefaultRegion) : place;

  const auto file = platform::GetFolderItem("station.txt", 0);
  if (!Need(file, "station.txt item").Exists()) {
    // The built-in list replaces the whole list, index 0 included; the region menu and
    // currentPlace are left as they are. Nothing here yields.
    constexpr auto count = std::size(kBuiltInStations);
    stationName.resize(count);
    stationHz.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      stationName[i] = kBuiltInStations[i].name;
      stationHz[i] = kBuiltInStations[i].hz;
    }
    return;
  }

  // Index 0 keeps whatever it holds; the file's stations follow it.
  stationName.resize(1);
  stationHz.resize(1);

  // Removing from the end keeps every removal cheap, so a long menu empties in linear time.
  const platform::Int32 entries = Need(placeMenu(), "placeMenu").Count();
  for (platform::Int32 i = entries - 1; i >= 0; --i) {
    Need(placeMenu(), "placeMenu").Remove(i);
    platform::RuntimeBackgroundTask();
  }

  // A file that exists but cannot be read as text shows up as a nil reader at the first
  // end-of-file test, after the list and the menu have been emptied.
  const auto reader = file->OpenAsTextFile();
  String runRegion;
  // Every line of a run has the run's region, so whether a line is of the requested region
  // is known from its run: a long file is then tested once per line, not twice.
  bool runIsRequested = TextEquals(runRegion, requested);
  while (!Need(reader, "station.txt reader").AtEOF()) {
    // The line is looked at where the reader holds it; a long file then makes no new text
    // per line. It is not used after the yield, when the reader may have moved on.
    const std::string_view line = reader->ReadLineView();

    // Each run of lines of one region makes one entry, so a region split over two runs
    // gets two entries; a run of empty regions at the very start makes none.
    if (!platform::NthFieldEquals(line, ",", 1, runRegion)) {
      runRegion = platform::NthField(line, ",", 1);
      runIsRequested = TextEquals(runRegion, requested);
      const auto entry = std::make_shared<placeMenuClass>();
      entry->SetAutoEnable(true);
      entry->SetText(runRegion);
      Need(placeMenu(), "placeMenu").Append(entry);
      if (runIsRequested) {
        entry->SetChecked(true);
        currentPlace = entry->Text();
      }
    }

    if (runIsRequested) {
      stationName.push_back(platform::NthField(line, ",", 2));
      stationHz.push_back(platform::Val(platform::NthField(line, ",", 3)));
    }

    platform::RuntimeBackgroundTask();
  }
  reader->Close();
}

bool placeMenuClass::Event_Action() {
  // The reload below removes this entry from the region menu, which may hold the last
  // reference to it; keep it alive until the handler is done.
  const auto keepAlive = weak_from_this().lock();

  platform::Need(tunerWindow::Instance(), "tunerWindow").readStation(Text());
  const auto worker = platform::Need(tunerWindow::Instance(), "tunerWindow").tuneStationThread();
  platform::Need(worker, "tuneStationThread").Run();
  return true;
}
