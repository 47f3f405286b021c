// The preferences file "Palmeno Prefs": where it lies and how its lines are made and read.

#include "tuner/preferences.h"

#include <iterator>
#include <stdexcept>

#include "platform/exceptions.h"

namespace {

constexpr const char* kPrefsName = "Palmeno Prefs";

// The keys of the six lines, in the file's order.
constexpr const char* kKeys[] = {"windowTop", "windowLeft", "mainPower",
                                 "bandSwitch", "tuneBar", "currentPlace"};

std::shared_ptr<platform::FolderItem> PrefsItem() {
  const auto folder = platform::SpecialFolder::Preferences();
  return platform::Need(folder, "preferences folder").Child(kPrefsName);
}

}  // namespace

std::optional<PrefsReader> PrefsReader::OpenIfExists() {
  const auto item = PrefsItem();
  if (!platform::Need(item, kPrefsName).Exists()) return std::nullopt;
  // A file that cannot be opened shows up as a nil stream at the first read.
  return PrefsReader(item->OpenAsTextFile());
}

platform::String PrefsReader::Next() {
  return platform::NthField(platform::Need(stream_, "Palmeno Prefs reader").ReadLine(), "=", 2);
}

void PrefsReader::Close() { platform::Need(stream_, "Palmeno Prefs reader").Close(); }

PrefsWriter::PrefsWriter() : stream_(platform::TextOutputStream::Create(PrefsItem())) {
  platform::Need(stream_, "Palmeno Prefs writer");
}

void PrefsWriter::Next(const platform::String& value) {
  if (written_ >= static_cast<int>(std::size(kKeys))) {
    throw std::logic_error("the preferences file has six lines");
  }
  platform::Need(stream_, "Palmeno Prefs writer")
      .WriteLine(platform::String(kKeys[written_]) + "=" + value);
  ++written_;
}

void PrefsWriter::Close() { platform::Need(stream_, "Palmeno Prefs writer").Close(); }
