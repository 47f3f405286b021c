// The preferences file "Palmeno Prefs": six "key=value" lines written when the main window
// closes and read back, by position, when it opens. The keys are never looked at.

#include <memory>

#include "app/media.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "tuner/tuner_window.h"

namespace {

constexpr const char* kPrefsName = "Palmeno Prefs";

// The needle's place on the very first run.
constexpr platform::Int32 kFirstRunNeedle = 110;

std::shared_ptr<platform::FolderItem> PrefsItem() {
  const auto folder = platform::SpecialFolder::Preferences();
  return platform::Need(folder, "preferences folder").Child(kPrefsName);
}

// The value of a line: the text between its first "=" and the next one (or its end).
platform::String ValueOf(const platform::String& line) {
  return platform::NthField(line, "=", 2);
}

platform::Int32 IntegerOf(const platform::String& value) {
  return platform::ToInt32(platform::Val(value));
}

}  // namespace

void tunerWindow::Event_Close() {
  using platform::Need;
  using platform::Str;

  // The stream writes beside the old file and replaces it only when Close succeeds, so a
  // failed write leaves the previous settings whole.
  const auto out = platform::TextOutputStream::Create(PrefsItem());
  auto& stream = Need(out, "Palmeno Prefs writer");
  const auto self = Instance();
  stream.WriteLine("windowTop=" + Str(Need(self, "tunerWindow").Top()));
  stream.WriteLine("windowLeft=" + Str(Need(self, "tunerWindow").Left()));
  const bool powerOn = Need(mainPower(), "mainPower").Backdrop() == power_m_green();
  stream.WriteLine(powerOn ? "mainPower=1" : "mainPower=2");
  const bool am = Need(bandSwitch(), "bandSwitch").Backdrop() == switch_up();
  stream.WriteLine(am ? "bandSwitch=1" : "bandSwitch=2");
  stream.WriteLine("tuneBar=" + Str(Need(tuneBar(), "tuneBar").X1()));
  stream.WriteLine("currentPlace=" + currentPlace);
  stream.Close();

  platform::Quit(0);
}

void tunerWindow::Event_Open() {
  using platform::Need;
  using platform::TextEquals;

  const auto item = PrefsItem();
  if (Need(item, kPrefsName).Exists()) {
    // A file that cannot be opened shows up as a nil reader at the first read, before any
    // setting is applied. Past its end the reader gives "", so a short file is no error.
    const auto reader = item->OpenAsTextFile();
    const auto nextValue = [&reader] {
      return ValueOf(Need(reader, "Palmeno Prefs reader").ReadLine());
    };

    const platform::Int32 top = IntegerOf(nextValue());
    Need(Instance(), "tunerWindow").SetTop(top);
    const platform::Int32 left = IntegerOf(nextValue());
    Need(Instance(), "tunerWindow").SetLeft(left);
    const String powerValue = nextValue();
    const String bandValue = nextValue();

    Need(bandSwitch(), "bandSwitch")
        .SetBackdrop(TextEquals(bandValue, "1") ? switch_up() : switch_down());
    noise = Need(bandSwitch(), "bandSwitch").Backdrop() == switch_up() ? amnoise() : fmnoise();
    if (TextEquals(powerValue, "1")) {
      Need(mainPower(), "mainPower").SetBackdrop(power_m_green());
      Need(noise, "noise").PlayLooping();
    } else {
      Need(mainPower(), "mainPower").SetBackdrop(power_m_gray());
    }

    // A saved needle is applied as it is, even outside the range the keys keep.
    const platform::Int32 needle = IntegerOf(nextValue());
    const auto bar = tuneBar();
    Need(bar, "tuneBar").SetX1(needle);
    bar->SetX2(bar->X1());

    currentPlace = nextValue();
    readStation(currentPlace);
    reader->Close();
    tuning = false;
    Need(tuneStationThread(), "tuneStationThread").Run();
  } else {
    // First run: no pass starts until the first input.
    Need(mainPower(), "mainPower").SetBackdrop(power_m_green());
    Need(bandSwitch(), "bandSwitch").SetBackdrop(switch_up());
    currentPlace = "東京";
    readStation("東京");
    noise = amnoise();
    Need(noise, "noise").PlayLooping();
    const auto bar = tuneBar();
    Need(bar, "tuneBar").SetX1(kFirstRunNeedle);
    bar->SetX2(bar->X1());
  }
}
